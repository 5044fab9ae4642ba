#pragma once
// The login files in the program's folder: "login.set" holds the accounts,
// "startlogin.set" the logins remembered, newest last. Both hold records of one
// line each: the user name and the password, each in double quotes, a comma
// between, CR LF. Files written on Chinese Windows may hold GBK text, so a file
// that is not valid UTF-8 is read as GB18030 and added to in that encoding.

#include "settings_file.h"

#include <QByteArray>
#include <QLatin1String>
#include <QList>
#include <QString>

namespace config {

struct LoginRecord
{
    QString userName;
    QString password;

    friend bool operator==(const LoginRecord& a, const LoginRecord& b)
    {
        return a.userName == b.userName && a.password == b.password;
    }
    friend bool operator!=(const LoginRecord& a, const LoginRecord& b) { return !(a == b); }
};

// The account a missing "login.set" is created with. A missing "startlogin.set"
// is created with LoginRecord{}: two empty texts, nothing remembered.
LoginRecord defaultAccount();

// The account table: only the first this many accounts of "login.set" are used.
inline constexpr int kAccountPositions = 101;

// A login file larger than this is not read (and not added to), so that a
// remembered login is never added to a file read only in part.
inline constexpr qint64 kLoginFileBytes = 1024 * 1024;

enum class TextEncoding { Utf8, Gb18030 };

struct LoginRecords
{
    QList<LoginRecord> records; // in file order
    TextEncoding encoding = TextEncoding::Utf8;
    // Reading stopped early: at a field that cannot be read (settings_file's
    // FieldReader), or at a user name without its password. What follows is ignored.
    bool cutShort = false;
};

// Reads records of two fields each. Fields without quotes are texts too, numbers
// included. A blank last line is no record. A leading UTF-8 byte order mark is skipped.
LoginRecords parseLoginRecords(const QByteArray& text);

// One record and its CR LF. A text holding a double quote can only have come
// from a field without quotes; it is written back that way, so it reads the same.
QByteArray formatLoginRecord(const LoginRecord& record, TextEncoding encoding);

// The file's text with `record` added at its end, in the encoding the text
// already has; a last line without its line end gets one first.
QByteArray withLoginRecordAdded(const QByteArray& text, const LoginRecord& record);

// Every account of the table (the first kAccountPositions) whose user name and
// password equal the typed ones exactly, letter case included, in table order:
// an account listed twice matches twice.
QList<LoginRecord> matchingAccounts(const QList<LoginRecord>& accounts, const QString& userName,
                                    const QString& password);

struct LoginFileLoad
{
    enum Status {
        Read,
        Created,    // it was missing and now holds its first record
        NotCreated, // it was missing and cannot be written: its first record, in memory only
        Unreadable, // it is there but cannot be read, or is too large: no records at all
    };
    Status status = Read;
    QString path;
    LoginRecords content;
};

// Loads the login file `name` from `folder`; a missing file is created holding `firstRecord`.
LoginFileLoad loadLoginFile(const QString& folder, QLatin1String name, const LoginRecord& firstRecord);

// Adds `record` at the end of the login file `name` in `folder` (withLoginRecordAdded),
// rewriting the file whole; a missing file is created. False when the file cannot be
// read or written.
bool appendLoginRecord(const QString& folder, QLatin1String name, const LoginRecord& record);

} // namespace config

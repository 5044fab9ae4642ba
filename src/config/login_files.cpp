#include "login_files.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace config {

namespace {

constexpr const char* kGb18030 = "GB18030";

TextEncoding encodingOf(const QByteArray& text)
{
    // Stateless: a sequence cut off at the end counts as an error too.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(text); // decoding is what sets hasError()
    return utf8.hasError() ? TextEncoding::Gb18030 : TextEncoding::Utf8;
}

// Without a GB18030 codec (Qt built without ICU) the bytes are kept as they are:
// Latin-1 maps each byte to one character and back.
QString decode(const QByteArray& bytes, TextEncoding encoding)
{
    // Only the file's first bytes can be a byte order mark, skipped before the
    // fields are read: one starting a field is a character of it, kept so that
    // the field is written back as it was read.
    if (encoding == TextEncoding::Utf8)
        return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(bytes);
    QStringDecoder gb18030(kGb18030);
    return gb18030.isValid() ? QString(gb18030(bytes)) : QString::fromLatin1(bytes);
}

QByteArray encode(const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        return text.toUtf8();
    QStringEncoder gb18030(kGb18030);
    return gb18030.isValid() ? QByteArray(gb18030(text)) : text.toLatin1();
}

QByteArray field(const QString& text, TextEncoding encoding)
{
    const QByteArray bytes = encode(text, encoding);
    return text.contains(QLatin1Char('"')) ? bytes : '"' + bytes + '"';
}

FileText readLoginFile(const QString& path)
{
    FileText file = readSettingsFile(path, kLoginFileBytes + 1);
    if (file.bytes.size() > kLoginFileBytes)
        return FileText{SettingsLoad::Unreadable, QByteArray()};
    return file;
}

// The records of a login file's text, and where they end.
struct RecordsRead
{
    LoginRecords content;
    qsizetype byteOrderMark = 0; // its length when the text starts with one
    qsizetype recordsEnd = 0;    // where the last whole record ends, before its separator
    bool emptyFieldLeft = false; // one empty field followed it: read as no record
};

RecordsRead readRecords(const QByteArray& text)
{
    RecordsRead read;
    read.content.encoding = encodingOf(text);
    const QByteArray byteOrderMark("\xEF\xBB\xBF");
    if (text.startsWith(byteOrderMark))
        read.byteOrderMark = byteOrderMark.size();
    read.recordsEnd = read.byteOrderMark;
    FieldReader reader(text.mid(read.byteOrderMark));
    while (const std::optional<QByteArray> userName = reader.next()) {
        const std::optional<QByteArray> password = reader.next();
        if (!password) {
            read.content.cutShort = reader.stoppedAtBrokenField() || !userName->isEmpty();
            read.emptyFieldLeft = !read.content.cutShort;
            return read;
        }
        read.content.records.append(
            {decode(*userName, read.content.encoding), decode(*password, read.content.encoding)});
        read.recordsEnd = read.byteOrderMark + reader.fieldEnd();
    }
    read.content.cutShort = reader.stoppedAtBrokenField();
    return read;
}

} // namespace

LoginRecord defaultAccount()
{
    return LoginRecord{QStringLiteral("qorvi"), QStringLiteral("qorvi")};
}

LoginRecords parseLoginRecords(const QByteArray& text)
{
    return readRecords(text).content;
}

QByteArray formatLoginRecord(const LoginRecord& record, TextEncoding encoding)
{
    return field(record.userName, encoding) + ',' + field(record.password, encoding) + "\r\n";
}

QByteArray withLoginRecordAdded(const QByteArray& text, const LoginRecord& record)
{
    const RecordsRead read = readRecords(text);
    QByteArray added = text;
    if (read.emptyFieldLeft) {
        // An empty field after the last record (a blank last line) reads as no
        // record, but would be read as the user name of a record added after it.
        // It goes with the separator before it; a line end closes the last record.
        added.truncate(read.recordsEnd);
        if (!read.content.records.isEmpty())
            added += "\r\n";
    } else if (added.size() > read.byteOrderMark && !added.endsWith('\n') && !added.endsWith('\r')) {
        added += "\r\n";
    }
    return added + formatLoginRecord(record, read.content.encoding);
}

QList<LoginRecord> matchingAccounts(const QList<LoginRecord>& accounts, const QString& userName,
                                    const QString& password)
{
    QList<LoginRecord> matches;
    for (const LoginRecord& account : accounts.mid(0, kAccountPositions)) {
        if (account.userName == userName && account.password == password)
            matches.append(account);
    }
    return matches;
}

LoginFileLoad loadLoginFile(const QString& folder, QLatin1String name, const LoginRecord& firstRecord)
{
    LoginFileLoad load;
    load.path = settingsFilePath(folder, name);
    const FileText file = readLoginFile(load.path);
    switch (file.status) {
    case SettingsLoad::Ok:
        load.status = LoginFileLoad::Read;
        load.content = parseLoginRecords(file.bytes);
        break;
    case SettingsLoad::Missing:
        load.status = saveWholeFile(load.path, formatLoginRecord(firstRecord, TextEncoding::Utf8))
                          ? LoginFileLoad::Created
                          : LoginFileLoad::NotCreated;
        load.content.records = {firstRecord};
        break;
    case SettingsLoad::Unreadable:
        load.status = LoginFileLoad::Unreadable;
        break;
    }
    return load;
}

bool appendLoginRecord(const QString& folder, QLatin1String name, const LoginRecord& record)
{
    const QString path = settingsFilePath(folder, name);
    const FileText file = readLoginFile(path);
    return file.status != SettingsLoad::Unreadable &&
           saveWholeFile(path, withLoginRecordAdded(file.bytes, record));
}

} // namespace config

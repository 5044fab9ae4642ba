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
    if (encoding == TextEncoding::Utf8)
        return QString::fromUtf8(bytes);
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

} // namespace

LoginRecord defaultAccount()
{
    return LoginRecord{QStringLiteral("qorvi"), QStringLiteral("qorvi")};
}

LoginRecords parseLoginRecords(const QByteArray& text)
{
    LoginRecords result;
    result.encoding = encodingOf(text);
    const QByteArray byteOrderMark("\xEF\xBB\xBF");
    FieldReader reader(text.startsWith(byteOrderMark) ? text.mid(byteOrderMark.size()) : text);
    while (const std::optional<QByteArray> userName = reader.next()) {
        const std::optional<QByteArray> password = reader.next();
        if (!password) {
            result.cutShort = reader.stoppedAtBrokenField() || !userName->isEmpty();
            return result;
        }
        result.records.append({decode(*userName, result.encoding), decode(*password, result.encoding)});
    }
    result.cutShort = reader.stoppedAtBrokenField();
    return result;
}

QByteArray formatLoginRecord(const LoginRecord& record, TextEncoding encoding)
{
    return field(record.userName, encoding) + ',' + field(record.password, encoding) + "\r\n";
}

QByteArray withLoginRecordAdded(const QByteArray& text, const LoginRecord& record)
{
    QByteArray added = text;
    if (!added.isEmpty() && !added.endsWith('\n') && !added.endsWith('\r'))
        added += "\r\n";
    return added + formatLoginRecord(record, encodingOf(text));
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

#include "serial_file.h"

#include "serial_numbers.h"

#include "config/settings_file.h"

namespace serials {

namespace {
const QByteArray LineEnd("\r\n");
}

QByteArray formatSerialFile(const QStringList& entries)
{
    QByteArray text = QByteArray::number(entries.size()) + LineEnd;
    for (const QString& entry : entries)
        text += '"' + entry.toLatin1() + '"' + LineEnd;
    return text;
}

QString withTxtSuffix(const QString& fileName)
{
    const QLatin1String suffix(".txt");
    return fileName.endsWith(suffix, Qt::CaseSensitive) ? fileName : fileName + suffix;
}

ImportedFile parseSerialFile(const QByteArray& text)
{
    ImportedFile file;
    config::FieldReader reader(text);
    const std::optional<QByteArray> countField = reader.next();
    const std::optional<int> count = countField ? config::int16FromField(*countField) : std::nullopt;
    if (!count) {
        file.error = ImportedFile::BadCount;
        return file;
    }
    file.announcedCount = *count;
    for (int i = 1; i <= file.announcedCount; ++i) {
        if (i > MaxImportEntries) {
            file.error = ImportedFile::TooMany;
            break;
        }
        const std::optional<QByteArray> field = reader.next();
        if (!field) {
            file.error = ImportedFile::EndOfFile;
            break;
        }
        const QString entry = QString::fromLatin1(*field);
        const std::optional<bool> valid = passesTextRule(entry);
        if (!valid) {
            file.error = ImportedFile::TooFewParts;
            break;
        }
        file.fields.append(entry);
        file.valid.append(*valid);
    }
    return file;
}

} // namespace serials

#include "settings_file.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <limits>

namespace config {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}
bool isSeparator(char c)
{
    return c == ',' || isLineEnd(c);
}

} // namespace

QString settingsFilePath(const QString& folder, QLatin1String fileName)
{
    return QDir(folder).filePath(fileName);
}

FileText readSettingsFile(const QString& path, qint64 maxBytes)
{
    FileText result;
    QFile file(path);
    if (!file.exists())
        return result;
    result.status = SettingsLoad::Unreadable;
    if (!file.open(QIODevice::ReadOnly))
        return result;
    QByteArray bytes = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError)
        return result;
    result.status = SettingsLoad::Ok;
    result.bytes = std::move(bytes);
    return result;
}

FieldReader::FieldReader(const QByteArray& text) : m_text(text), m_fieldAhead(!text.isEmpty()) {}

std::optional<QByteArray> FieldReader::next()
{
    if (!m_fieldAhead)
        return std::nullopt;
    m_fieldAhead = false;
    const qsizetype size = m_text.size();
    while (m_pos < size && isBlank(m_text[m_pos]))
        ++m_pos;

    QByteArray field;
    if (m_pos < size && m_text[m_pos] == '"') {
        const qsizetype start = m_pos + 1;
        qsizetype close = start;
        while (close < size && m_text[close] != '"' && !isLineEnd(m_text[close]))
            ++close;
        if (close >= size || m_text[close] != '"') {
            m_broken = true;
            return std::nullopt;
        }
        field = m_text.mid(start, close - start);
        m_pos = close + 1;
        while (m_pos < size && isBlank(m_text[m_pos]))
            ++m_pos;
        if (m_pos < size && !isSeparator(m_text[m_pos])) {
            m_broken = true;
            return std::nullopt;
        }
    } else {
        const qsizetype start = m_pos;
        while (m_pos < size && !isSeparator(m_text[m_pos]))
            ++m_pos;
        qsizetype end = m_pos;
        while (end > start && isBlank(m_text[end - 1]))
            --end;
        field = m_text.mid(start, end - start);
    }

    m_fieldEnd = m_pos;
    if (m_pos < size) {
        // CR LF is one line end, not an empty field between the two.
        if (m_text[m_pos] == '\r' && m_pos + 1 < size && m_text[m_pos + 1] == '\n')
            ++m_pos;
        const bool comma = m_text[m_pos] == ',';
        ++m_pos;
        m_fieldAhead = comma || m_pos < size;
    }
    return field;
}

std::optional<int> digitsFromField(const QByteArray& field, int lo, int hi)
{
    if (field.isEmpty() || field.size() > 9)
        return std::nullopt;
    int value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi)
        return std::nullopt;
    return value;
}

std::optional<int> int16FromField(const QByteArray& field)
{
    constexpr int kMin = std::numeric_limits<qint16>::min();
    constexpr int kMax = std::numeric_limits<qint16>::max();
    const bool negative = field.startsWith('-');
    qsizetype i = (negative || field.startsWith('+')) ? 1 : 0;
    if (i == field.size())
        return std::nullopt;
    int value = 0;
    for (; i < field.size(); ++i) {
        const char c = field[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > kMax + 1) // stop before a long run of digits can overflow
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value < kMin || value > kMax)
        return std::nullopt;
    return value;
}

std::optional<QList<int>> readInt16Fields(const QByteArray& text, int count)
{
    FieldReader reader(text);
    QList<int> numbers;
    while (numbers.size() < count) {
        const std::optional<QByteArray> field = reader.next();
        if (!field)
            return std::nullopt;
        const std::optional<int> number = int16FromField(*field);
        if (!number)
            return std::nullopt;
        numbers.append(*number);
    }
    return numbers;
}

bool saveWholeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // QSaveFile::commit() (Qt 6.4) misses a write that fails while its buffer is
    // flushed (a full disk) and would put an empty file in place of the good one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QByteArray> textAsField(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const bool needsQuotes = bytes.contains(',') || bytes.contains('\r') || bytes.contains('\n') ||
                             bytes.startsWith('"') || bytes.startsWith(' ') || bytes.startsWith('\t') ||
                             bytes.endsWith(' ') || bytes.endsWith('\t');
    if (!needsQuotes)
        return bytes;
    if (bytes.contains('"') || bytes.contains('\r') || bytes.contains('\n'))
        return std::nullopt;
    return '"' + bytes + '"';
}

} // namespace config

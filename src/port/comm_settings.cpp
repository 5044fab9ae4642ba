#include "comm_settings.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <limits>

namespace port {

int CommPortNumber = kDefaultCommPort;
int BaudRate = kDefaultBaudRate;

QByteArray formatCommSet(int port, int baud)
{
    return QByteArray::number(port) + ',' + QByteArray::number(baud) + "\r\n";
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Reads one whole number at `pos` (after blanks): it ends at a blank, a comma,
// a line end or the end of the text. Leaves `pos` just behind it.
std::optional<int> readNumber(const QByteArray& text, qsizetype& pos)
{
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const qsizetype start = pos;
    while (pos < text.size() && !isBlank(text[pos]) && text[pos] != ',' && !isLineEnd(text[pos]))
        ++pos;
    const QByteArray token = text.mid(start, pos - start);
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    if (!wholeNumber.match(QString::fromLatin1(token)).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong value = token.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return int(value);
}

} // namespace

std::optional<CommSetValues> parseCommSet(const QByteArray& text)
{
    qsizetype pos = 0;
    const std::optional<int> port = readNumber(text, pos);
    if (!port)
        return std::nullopt;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos >= text.size())
        return std::nullopt; // ends before the second value
    if (text[pos] == ',') {
        ++pos;
    } else if (isLineEnd(text[pos])) {
        if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
            ++pos;
        ++pos;
    } else {
        return std::nullopt;
    }
    const std::optional<int> baud = readNumber(text, pos);
    if (!baud)
        return std::nullopt;
    return CommSetValues{*port, *baud};
}

QString commSetPath(const QString& folder)
{
    return folder + QStringLiteral("/comm.set");
}

CommSetLoad loadCommSet(const QString& folder)
{
    CommSetLoad result;
    result.path = commSetPath(folder);
    QFile file(result.path);
    if (!file.exists()) {
        result.status = CommSetLoad::Missing;
        return result;
    }
    // The two numbers sit at the start; a few KiB are plenty and bound what a stray file costs.
    constexpr qint64 kEnough = 4096;
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = CommSetLoad::Unreadable;
        return result;
    }
    const QByteArray text = file.read(kEnough);
    const std::optional<CommSetValues> values = parseCommSet(text);
    if (!values) {
        result.status = CommSetLoad::Unreadable;
        return result;
    }
    result.status = CommSetLoad::Ok;
    result.port = values->port;
    result.baud = values->baud;
    return result;
}

bool saveCommSet(const QString& folder, int port, int baud)
{
    QSaveFile file(commSetPath(folder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = formatCommSet(port, baud);
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString lineSettingsText(int baud)
{
    return QString::number(baud) + QStringLiteral(",N,8,1");
}

std::optional<int> baudFromSettings(const QString& settings)
{
    static const QRegularExpression format(
        QStringLiteral("^\\s*([0-9]+)\\s*,\\s*[Nn]\\s*,\\s*8\\s*,\\s*1\\s*$"));
    const QRegularExpressionMatch match = format.match(settings);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const int baud = match.captured(1).toInt(&ok);
    if (!ok || baud <= 0)
        return std::nullopt;
    return baud;
}

} // namespace port

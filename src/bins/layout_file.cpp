#include "layout_file.h"

#include "protocol/module_limits.h"

#include <QList>
#include <QSet>
#include <cmath>

namespace bins {

namespace {

const QByteArray LineEnd("\r\n");
constexpr int MaxStation = 247;
constexpr double MaxMetres = 1000;

QList<QByteArray> splitLines(QByteArray text)
{
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray quoted(const QString& text)
{
    return '"' + text.toUtf8() + '"';
}

QByteArray metres(double value)
{
    return QByteArray::number(value, 'g', 10);
}

struct LineReader
{
    int line = 0;
    QList<QByteArray> fields;
    LayoutProblem problem;

    bool fail(int field, const char* name, const QString& reason)
    {
        problem = {line, field, QString::fromUtf8(name), reason};
        return false;
    }

    bool wholeNumber(int field, const char* name, int low, int high, int& value)
    {
        const std::optional<int> number = config::int16FromField(fields.value(field - 1));
        if (!number || *number < low || *number > high)
            return fail(field, name, QStringLiteral("应为 %1..%2 的整数").arg(low).arg(high));
        value = *number;
        return true;
    }

    bool decimal(int field, const char* name, double low, double high, double& value)
    {
        bool ok = false;
        const double number = fields.value(field - 1).toDouble(&ok);
        if (!ok || !std::isfinite(number) || number < low || number > high)
            return fail(field, name, QStringLiteral("应为 %1..%2 的数").arg(low).arg(high));
        value = number;
        return true;
    }
};

} // namespace

LayoutParse parseLayoutFile(const QByteArray& text)
{
    LayoutParse result;
    BinLayout layout;
    QSet<QString> binNames;
    QSet<QPair<int, int>> channelsUsed;
    QSet<int> cableNumbers;
    const QList<QByteArray> lines = splitLines(text);
    LineReader in;
    auto failed = [&result, &in]() {
        result.problem = in.problem;
        return result;
    };
    for (int n = 0; n < lines.size(); ++n) {
        in.line = n + 1;
        const QByteArray trimmed = lines[n].trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        config::FieldReader reader(lines[n]);
        in.fields.clear();
        while (const std::optional<QByteArray> field = reader.next())
            in.fields.append(*field);
        if (reader.stoppedAtBrokenField()) {
            in.fail(int(in.fields.size()) + 1, "", QStringLiteral("引号不成对"));
            return failed();
        }
        const QByteArray kind = in.fields.value(0);
        if (kind == "bin") {
            if (in.fields.size() != 4) {
                in.fail(0, "", QStringLiteral("仓行应有 4 项：bin,名称,宽,深"));
                return failed();
            }
            Bin bin;
            bin.name = QString::fromUtf8(in.fields[1]);
            if (bin.name.isEmpty()) {
                in.fail(2, "名称", QStringLiteral("不能为空"));
                return failed();
            }
            if (binNames.contains(bin.name)) {
                in.fail(2, "名称", QStringLiteral("仓“%1”已有").arg(bin.name));
                return failed();
            }
            if (!in.decimal(3, "宽", 0.1, MaxMetres, bin.width) || !in.decimal(4, "深", 0.1, MaxMetres, bin.depth))
                return failed();
            binNames.insert(bin.name);
            cableNumbers.clear();
            layout.bins.append(bin);
        } else if (kind == "cable") {
            if (in.fields.size() != 8) {
                in.fail(0, "", QStringLiteral("电缆行应有 8 项：cable,编号,站号,通道,x,y,顶层位置,底层位置"));
                return failed();
            }
            if (layout.bins.isEmpty()) {
                in.fail(1, "", QStringLiteral("电缆行之前没有仓行"));
                return failed();
            }
            Bin& bin = layout.bins.last();
            Cable cable;
            if (!in.wholeNumber(2, "编号", 1, 9999, cable.number) ||
                !in.wholeNumber(3, "站号", 1, MaxStation, cable.station) ||
                !in.wholeNumber(4, "通道", 1, protocol::MaxChannelsPerModule, cable.channel) ||
                !in.decimal(5, "x", 0, bin.width, cable.x) || !in.decimal(6, "y", 0, bin.depth, cable.y) ||
                !in.wholeNumber(7, "顶层位置", 1, protocol::MaxPositionsPerChannel, cable.topPosition) ||
                !in.wholeNumber(8, "底层位置", 1, protocol::MaxPositionsPerChannel, cable.bottomPosition))
                return failed();
            if (cableNumbers.contains(cable.number)) {
                in.fail(2, "编号", QStringLiteral("本仓已有 %1 号电缆").arg(cable.number));
                return failed();
            }
            if (channelsUsed.contains({cable.station, cable.channel})) {
                in.fail(4, "通道", QStringLiteral("%1 号站 %2 通道已属另一根电缆").arg(cable.station).arg(cable.channel));
                return failed();
            }
            cableNumbers.insert(cable.number);
            channelsUsed.insert({cable.station, cable.channel});
            bin.cables.append(cable);
        } else {
            in.fail(1, "", QStringLiteral("应为 bin 或 cable"));
            return failed();
        }
    }
    for (const Bin& bin : layout.bins) {
        if (bin.cables.isEmpty()) {
            result.problem = {0, 0, QString(), QStringLiteral("仓“%1”没有电缆").arg(bin.name)};
            return result;
        }
    }
    if (layout.bins.isEmpty()) {
        result.problem = {0, 0, QString(), QStringLiteral("没有仓")};
        return result;
    }
    result.layout = layout;
    return result;
}

QByteArray formatLayoutFile(const BinLayout& layout)
{
    QByteArray text = "# bin,名称,宽(m),深(m)" + LineEnd + "# cable,编号,站号,通道,x(m),y(m),顶层位置,底层位置" + LineEnd;
    for (const Bin& bin : layout.bins) {
        text += "bin," + quoted(bin.name) + ',' + metres(bin.width) + ',' + metres(bin.depth) + LineEnd;
        for (const Cable& c : bin.cables)
            text += "cable," + QByteArray::number(c.number) + ',' + QByteArray::number(c.station) + ',' +
                    QByteArray::number(c.channel) + ',' + metres(c.x) + ',' + metres(c.y) + ',' +
                    QByteArray::number(c.topPosition) + ',' + QByteArray::number(c.bottomPosition) + LineEnd;
    }
    return text;
}

QString problemText(const LayoutProblem& problem)
{
    if (problem.line == 0)
        return problem.reason;
    if (problem.field == 0)
        return QStringLiteral("第%1行：%2").arg(problem.line).arg(problem.reason);
    const QString name = problem.fieldName.isEmpty() ? QString() : QStringLiteral("（%1）").arg(problem.fieldName);
    return QStringLiteral("第%1行第%2项%3：%4").arg(problem.line).arg(problem.field).arg(name, problem.reason);
}

LayoutLoad loadLayoutFile(const QString& path)
{
    LayoutLoad result;
    result.path = path;
    const config::FileText file = config::readSettingsFile(path, kLayoutFileBytes + 1);
    result.status = file.status;
    if (file.status != LayoutLoad::Ok)
        return result;
    if (file.bytes.size() > kLayoutFileBytes) {
        result.status = LayoutLoad::Unreadable;
        result.problem.reason = QStringLiteral("文件过大");
        return result;
    }
    LayoutParse parsed = parseLayoutFile(file.bytes);
    if (!parsed.layout) {
        result.status = LayoutLoad::Unreadable;
        result.problem = parsed.problem;
        return result;
    }
    result.layout = std::move(parsed.layout);
    return result;
}

LayoutLoad loadLayout(const QString& folder)
{
    return loadLayoutFile(config::settingsFilePath(folder, kLayoutSetName));
}

QString unreadableLayoutMessage(const LayoutLoad& load)
{
    const QString what = load.problem.reason.isEmpty() ? QStringLiteral("无法读取") : problemText(load.problem);
    return QStringLiteral("布局文件“%1”%2，使用默认布局。").arg(load.path, what);
}

bool saveLayoutText(const QString& folder, const QByteArray& text)
{
    return config::saveWholeFile(config::settingsFilePath(folder, kLayoutSetName), text);
}

} // namespace bins

#include "serial_texts.h"

#include "serial_file.h"

namespace serials {

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString twoDigits(int number)
{
    return QString::number(number).rightJustified(2, QLatin1Char('0'));
}

QString listHeading(int station, int channel, int count)
{
    return QStringLiteral("%1#设备,通道%2下：\n%3").arg(twoDigits(station), twoDigits(channel)).arg(count);
}

QString listLine(const QString& serialText, bool valid)
{
    return quoted(serialText) + (valid ? QString() : QStringLiteral("  [无效]"));
}

QString importHeading(int count)
{
    return QStringLiteral("本次共导入%1个序列号").arg(count);
}

QString importLine(const QString& field, bool valid)
{
    return quoted(field) + (valid ? QString() : QStringLiteral(" [无效]"));
}

QString writeResultLine(int channel, int position, bool success)
{
    return QStringLiteral("导入到 %1通道 %2#位置 %3")
        .arg(twoDigits(channel), twoDigits(position),
             success ? QStringLiteral("[成功]") : QStringLiteral("[失败]"));
}

QString skippedLine(int channel, int position)
{
    return QStringLiteral("导入到 %1通道 %2#位置 [未写入：序列号无效]").arg(twoDigits(channel), twoDigits(position));
}

QString writeInvalidQuestion(int position, const QString& entry)
{
    return QStringLiteral("第%1个序列号“%2”无效，仍要写入模块吗？").arg(position).arg(entry);
}

QString serialFileName(int channel)
{
    return QStringLiteral("通道%1_序列号.txt").arg(twoDigits(channel));
}

QString savedToLine(int count, const QString& path)
{
    return QStringLiteral("已保存%1个序列号到 %2").arg(count).arg(path);
}

QString deviceHeading(int station)
{
    return twoDigits(station) + QStringLiteral("#设备下：");
}

QString searchLine(int channel, int found)
{
    return QStringLiteral("通道%1 发现传感器个数为：%2").arg(channel).arg(twoDigits(found));
}

QString readInLine(int channel, int position, bool recognised)
{
    return QStringLiteral("通道 %1 编号%2 ->序列号：%3")
        .arg(twoDigits(channel), twoDigits(position),
             recognised ? QStringLiteral("识别  [成功]") : QStringLiteral("识别  [失败]"));
}

QString nothingImportedMessage()
{
    return QStringLiteral("请按正确的格式，先导入正确的传感器序列号");
}

QString fileFormatMessage()
{
    return QStringLiteral("输入的文件数据格式有误！请检查");
}

QString alreadyLastMessage()
{
    return QStringLiteral("已是最后一个了");
}

QString finishedMessage()
{
    return QStringLiteral("操作结束");
}

QString badEntryMessage(int position, const QString& entry)
{
    return QStringLiteral("第%1个序列号格式有误：“%2”，应为8个以空格分隔的十六进制字节")
        .arg(QString::number(position), entry);
}

QString verificationWindowMessage()
{
    return QStringLiteral("序列号校对窗口：请输入8个十六进制字节（00～FF）");
}

QString noListReadMessage()
{
    return QStringLiteral("尚未读取序列号，请先读序列号再保存");
}

QString saveMoreThanReadMessage(int read)
{
    return QStringLiteral("上次只读取了%1个序列号，保存的个数不能多于读取的个数").arg(read);
}

QString savedBeyondImportMessage(int saved)
{
    return QStringLiteral("已保存%1个序列号；从文件导入时最多读入%2个").arg(saved).arg(MaxImportEntries);
}

QString replaceFileQuestion(const QString& path)
{
    return QStringLiteral("文件“%1”已存在，要替换它吗？").arg(path);
}

QString fileNotWrittenMessage(const QString& path)
{
    return QStringLiteral("无法写入文件“%1”，序列号未保存。").arg(path);
}

QString fileNotReadMessage(const QString& path)
{
    return QStringLiteral("无法读取文件“%1”。").arg(path);
}

} // namespace serials

#include "port_messages.h"

#include "line_address.h"

namespace port {

namespace {
// "（/dev/ttyS6）" after the text, or nothing when the device is not known.
QString deviceSuffix(const QString& portName, const QString& devicePath)
{
    if (devicePath.isEmpty() || devicePath == portName)
        return {};
    return QStringLiteral("（") + devicePath + QStringLiteral("）");
}
} // namespace

QString openFailureText(OpenFailure failure, const QString& portName, const QString& devicePath)
{
    const QString device = deviceSuffix(portName, devicePath);
    const QString noConnection = QStringLiteral("无法连接到 %1（%2）");
    switch (failure) {
    case OpenFailure::None:
        return {};
    case OpenFailure::Refused:
        return noConnection.arg(portName, QStringLiteral("连接被拒绝"));
    case OpenFailure::Unreachable:
        return noConnection.arg(portName, QStringLiteral("网络或主机不可达"));
    case OpenFailure::HostNotFound:
        return noConnection.arg(portName, QStringLiteral("找不到主机"));
    case OpenFailure::TimedOut:
        return noConnection.arg(portName, QStringLiteral("连接超时"));
    case OpenFailure::Busy:
        return QStringLiteral("所选的串行端口已被其他设备所使用!");
    case OpenFailure::Missing:
        return QStringLiteral("串口%1不存在%2").arg(portName, device);
    case OpenFailure::Denied:
        return QStringLiteral("没有打开串口%1的权限%2").arg(portName, device);
    case OpenFailure::Settings:
        return QStringLiteral("串口%1不支持所选的通讯参数%2").arg(portName, device);
    case OpenFailure::Other:
        break;
    }
    if (looksLikeLineAddress(portName))
        return QStringLiteral("无法连接到 %1").arg(portName);
    return QStringLiteral("串口%1无法打开%2").arg(portName, device);
}

QString connectionLostText()
{
    return QStringLiteral("串口连接已断开");
}

QString portNotOpenText()
{
    return QStringLiteral("串口未打开，请先打开串口");
}

QString portStateText(bool open, const QString& portName, int baud)
{
    if (!open)
        return QStringLiteral("未打开");
    // A network line has no rate of its own.
    if (looksLikeLineAddress(portName))
        return QStringLiteral("已打开 %1").arg(portName);
    return QStringLiteral("已打开 %1, %2").arg(portName).arg(baud);
}

QString writeFailedText(const QString& reason)
{
    const QString text = QStringLiteral("串口写入失败，命令未发出");
    return reason.isEmpty() ? text : text + QStringLiteral("（%1）").arg(reason);
}

} // namespace port

#include "reader_texts.h"

#include "history/history_writer.h"
#include "port/port_messages.h"

#include <QDir>

namespace reader {

namespace {

QString withEnglish(const QString& chinese, const QString& english)
{
    return QStringLiteral("%1 (%2)").arg(chinese, english);
}

// "COM4 at /dev/pts/3", or the path alone when it was given as the port.
QString portLabel(const QString& portName, const QString& device)
{
    if (device.isEmpty() || device == portName)
        return portName;
    return QStringLiteral("%1 at %2").arg(portName, device);
}

} // namespace

QString portOpenFailureText(port::OpenFailure failure, const QString& portName, const QString& device)
{
    const QString label = portLabel(portName, device);
    QString english;
    switch (failure) {
    case port::OpenFailure::None:
        return {};
    case port::OpenFailure::Busy:
        english = QStringLiteral("port %1 is in use by another program").arg(label);
        break;
    case port::OpenFailure::Missing:
        english = QStringLiteral("port %1 does not exist").arg(label);
        break;
    case port::OpenFailure::Denied:
        english = QStringLiteral("no permission to open port %1").arg(label);
        break;
    case port::OpenFailure::Settings:
        english = QStringLiteral("port %1 does not take the line settings").arg(label);
        break;
    case port::OpenFailure::Refused:
        english = QStringLiteral("connection to %1 refused").arg(label);
        break;
    case port::OpenFailure::Unreachable:
        english = QStringLiteral("%1 is unreachable").arg(label);
        break;
    case port::OpenFailure::HostNotFound:
        english = QStringLiteral("host of %1 not found").arg(label);
        break;
    case port::OpenFailure::TimedOut:
        english = QStringLiteral("no connection to %1 within the time-out").arg(label);
        break;
    case port::OpenFailure::Other:
        english = QStringLiteral("port %1 cannot be opened").arg(label);
        break;
    }
    return withEnglish(port::openFailureText(failure, portName, device), english);
}

QString portLostText(const QString& portName)
{
    return withEnglish(port::connectionLostText(),
                       QStringLiteral("connection to port %1 lost").arg(portName));
}

QString portBackText(const QString& portName)
{
    return QStringLiteral("串口 %1 已重新打开 (port open again)").arg(portName);
}

QString alarmsFileText(const alarms::AlarmsLoad& load)
{
    if (load.status == alarms::AlarmsLoad::Missing)
        return QStringLiteral("报警设置文件 %1 不存在 (the alarms file %1 does not exist)")
            .arg(QDir::toNativeSeparators(load.path));
    return withEnglish(alarms::unreadableAlarmsMessage(load),
                       QStringLiteral("the alarms file cannot be used"));
}

QString historyFolderMissingText(const QString& folder)
{
    return QStringLiteral("历史数据库的文件夹 %1 不存在 (the history database's folder %1 does not exist)")
        .arg(QDir::toNativeSeparators(folder));
}

QString historySettingsText(const QString& text)
{
    return withEnglish(text, QStringLiteral("history.set cannot be used: the default settings apply"));
}

QString historyFailedText(const QString& text)
{
    return withEnglish(text, QStringLiteral("the history database cannot be opened or written: its readings "
                                            "wait and are tried again"));
}

QString historyLostText(const QString& text)
{
    return withEnglish(text, QStringLiteral("readings that never reached the history database"));
}

QString historyRecoveredText(qint64 droppedRows)
{
    const QString english =
        droppedRows == 0
            ? QStringLiteral("the history is written again")
            : QStringLiteral("the history is written again; %1 readings were dropped meanwhile: more "
                             "waited than could be kept")
                  .arg(droppedRows);
    return withEnglish(history::recoveredText(droppedRows), english);
}

QString scanBaudText(int baud, int stations)
{
    return QStringLiteral("以 %1 波特扫描 %2 个站号 (scanning %2 stations at %1 baud)")
        .arg(baud)
        .arg(stations);
}

QString scanEndText(int found, bool complete)
{
    return complete ? QStringLiteral("扫描完成，找到 %1 个模块 (scan done: %1 modules found)").arg(found)
                    : QStringLiteral("扫描中止，已找到 %1 个模块 (scan stopped: %1 modules found so far)")
                          .arg(found);
}

QString noSystemPortsText()
{
    return QStringLiteral("本机没有串口 (this computer lists no serial ports)");
}

QString deliveryChangeText(const notify::DestinationStatus& before, const notify::DestinationStatus& now)
{
    using State = notify::DestinationStatus::State;
    QStringList lines;
    if (now.state == State::Failed && before.state != State::Failed)
        lines << QStringLiteral("报警通知 %1 被拒绝，不再重试 (alarm delivery refused, not trying again): %2")
                     .arg(now.name, now.lastError);
    else if (now.state == State::Retrying && before.state != State::Retrying)
        lines << QStringLiteral("报警通知 %1 发送失败，稍后重试 (alarm delivery failed, trying again): %2")
                     .arg(now.name, now.lastError);
    else if (now.state == State::Idle && before.state == State::Retrying)
        lines << QStringLiteral("报警通知 %1 已恢复发送 (alarm delivery works again)").arg(now.name);
    if (now.dropped > before.dropped)
        lines << QStringLiteral("报警通知 %1 已丢弃 %2 条事件 (alarm events dropped so far)").arg(now.name).arg(now.dropped);
    return lines.join(u'\n');
}

QString deliveryLeftText(qint64 events)
{
    return QStringLiteral("%1 条报警事件未送出 (alarm events not delivered)").arg(events);
}

} // namespace reader

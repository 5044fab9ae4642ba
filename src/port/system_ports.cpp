#include "system_ports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace port {

namespace {
const QString ByIdFolder = QStringLiteral("/dev/serial/by-id");
}

QString stableNameFor(const QString& location, const QString& byIdFolder)
{
    const QString device = QFileInfo(location).canonicalFilePath();
    if (device.isEmpty())
        return {};
    const QDir folder(byIdFolder);
    for (const QFileInfo& link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.isSymLink() && QFileInfo(link.symLinkTarget()).canonicalFilePath() == device)
            return link.absoluteFilePath();
    }
    return {};
}

QList<SystemPort> systemPorts()
{
    QList<SystemPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SystemPort p;
        p.location = info.systemLocation();
        p.description = info.description();
        p.maker = info.manufacturer();
        p.serialNumber = info.serialNumber();
        p.stableName = stableNameFor(p.location, ByIdFolder);
        ports.append(p);
    }
    std::sort(ports.begin(), ports.end(),
              [](const SystemPort& a, const SystemPort& b) { return a.location < b.location; });
    return ports;
}

QString systemPortLine(const SystemPort& port)
{
    QStringList parts{port.location};
    for (const QString& part : {port.description, port.maker, port.serialNumber})
        if (!part.isEmpty())
            parts.append(part);
    QString line = parts.join(QStringLiteral("  "));
    if (!port.stableName.isEmpty())
        line += QStringLiteral("  (") + port.stableName + QLatin1Char(')');
    return line;
}

} // namespace port

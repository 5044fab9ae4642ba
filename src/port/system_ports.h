#pragma once
// The serial ports this computer has, as the operating system describes them,
// and the stable names Linux gives USB adapters (/dev/serial/by-id/...), which
// survive replugging where /dev/ttyUSBn may not.

#include <QList>
#include <QString>

namespace port {

struct SystemPort
{
    QString location;     // the device: /dev/ttyUSB0, COM3
    QString description;  // as the driver names it: "FT232R USB UART"
    QString maker;
    QString serialNumber;
    QString stableName;   // a /dev/serial/by-id link to it; empty when none
};

// Every serial port the system lists, by location.
QList<SystemPort> systemPorts();

// The by-id links of `byIdFolder` (normally /dev/serial/by-id) by the device each
// points to, for filling SystemPort::stableName.
QString stableNameFor(const QString& location, const QString& byIdFolder);

// One line for a list: the location, then what is known of it.
QString systemPortLine(const SystemPort& port);

} // namespace port

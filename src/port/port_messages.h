#pragma once
// The operator's texts for what can go wrong with the serial port, in one place.

#include "serial_backend.h"

#include <QString>

namespace port {

// Why "COMn" or a network address (`portName`) could not be opened; `devicePath` is the device it
// stands for and is named too where it helps (omitted when empty). Busy gives
// the window's fixed warning. Empty for OpenFailure::None.
QString openFailureText(OpenFailure failure, const QString& portName, const QString& devicePath = QString());

// The device went away while the port was open.
QString connectionLostText();

// A reading or command asked for while the port is not open: "串口未打开，请先打开串口".
QString portNotOpenText();

// The port's state beside its buttons: "已打开 COM4, 9600", "已打开 tcp://HOST:PORT" or "未打开".
QString portStateText(bool open, const QString& portName, int baud);

// The port refused a request's bytes: nothing went out. `reason` is the
// device's own words, added in brackets when there are any.
QString writeFailedText(const QString& reason);

} // namespace port

#pragma once
// The module's own configuration on the line: reading and changing its station
// address, changing its baud rate. Each is a request on the request core; a
// reply is used only when the core judged it usable. Without widgets.

#include "requests/request_core.h"

#include <QObject>

namespace config {

class ModuleConfigController : public QObject
{
    Q_OBJECT
public:
    using Submitted = requests::RequestCore::Submitted;

    explicit ModuleConfigController(requests::RequestCore& core, QObject* parent = nullptr);

    Submitted readAddress();
    Submitted changeAddress(quint8 present, quint8 changed);
    Submitted changeBaud(quint8 presentCode, quint8 newCode);

    // Nothing more is sent or reported: the window is closing.
    void cancel() { m_core.cancel(this); }

Q_SIGNALS:
    // A usable reply reported the module's station address.
    void addressReported(int address);
    // The modules answered a change of their baud code with a usable reply: they now talk at `newCode`'s rate.
    void baudChanged(int newCode);

private:
    Submitted submit(const requests::Request& request);

    requests::RequestCore& m_core;
};

} // namespace config

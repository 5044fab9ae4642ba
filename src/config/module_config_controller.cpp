#include "module_config_controller.h"

#include "module_address.h"

namespace config {

ModuleConfigController::ModuleConfigController(requests::RequestCore& core, QObject* parent)
    : QObject(parent), m_core(core)
{
}

ModuleConfigController::Submitted ModuleConfigController::submit(const requests::Request& request)
{
    return m_core.submit(request, this, [this](const requests::Exchange& exchange) {
        if (exchange.ending != requests::Exchange::Ending::Answered ||
            exchange.reply.status != protocol::ReplyStatus::Usable)
            return;
        if (const std::optional<int> address = addressInReply(exchange.reply.bytes, exchange.request.context.kind))
            Q_EMIT addressReported(*address);
        else if (const std::optional<int> code = baudCodeChangedBy(exchange.request))
            Q_EMIT baudChanged(*code);
    });
}

ModuleConfigController::Submitted ModuleConfigController::readAddress()
{
    return submit(readAddressRequest());
}

ModuleConfigController::Submitted ModuleConfigController::changeAddress(quint8 present, quint8 changed)
{
    return submit(changeAddressRequest(present, changed));
}

ModuleConfigController::Submitted ModuleConfigController::changeBaud(quint8 presentCode, quint8 newCode)
{
    return submit(changeBaudRequest(presentCode, newCode));
}

} // namespace config

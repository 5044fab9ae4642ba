#pragma once
// The serial-number commands to the module: reading a channel's list, the
// module's search, reading in one sensor and writing one serial number. Each
// is a request on the request core; its reply is used only when the core judged
// it usable, and what it carries is told through the signals. Without widgets.

#include "serial_numbers.h"

#include "requests/request_core.h"

#include <QObject>
#include <QVector>
#include <optional>

namespace serials {

class SerialNumbersController : public QObject
{
    Q_OBJECT
public:
    using Submitted = requests::RequestCore::Submitted;

    explicit SerialNumbersController(requests::RequestCore& core, QObject* parent = nullptr);

    Submitted readList(quint8 station, quint8 channel, quint8 count);
    Submitted search(quint8 station, quint8 firstChannel, quint8 channelCount);
    Submitted readIn(quint8 station, quint8 channel, quint8 position);
    Submitted write(quint8 station, quint8 channel, quint8 position, const SerialNumber& serial);

    // A write waits for the line or for its reply: the automatic run sends its
    // next entry only after that one's result, so every result line belongs to
    // the write it answers.
    bool writeWaits() const { return m_writesWaiting > 0; }

    // Nothing more is sent or reported: the window is closing.
    void cancel();

Q_SIGNALS:
    // The serial numbers of a list read, as many of `asked.count` as came.
    void listRead(const requests::Context& asked, const QVector<serials::SerialNumber>& serials);
    // Sensors found per channel from `asked.channel` on.
    void searchAnswered(const requests::Context& asked, const QVector<int>& sensorsFound);
    // The serial number the module read in (none in a reply too short), and
    // whether it is one the module recognised.
    void readInAnswered(const requests::Context& asked, const std::optional<serials::SerialNumber>& serial,
                        bool recognised);
    // A write's result: confirmed when the module now holds the serial number
    // sent; not confirmed when it holds another, did not answer in time, or
    // answered with a reply that must not be used.
    void writeAnswered(int channel, int position, bool confirmed);

private:
    Submitted submit(const requests::Request& request);
    void onExchange(const requests::Exchange& exchange);

    requests::RequestCore& m_core;
    int m_writesWaiting = 0;
};

} // namespace serials

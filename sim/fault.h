#pragma once
// Faults the simulated line can inject into the module's replies, each for
// every request or for the next k, optionally only for requests naming one
// channel.

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

namespace sim {

struct Fault
{
    enum Kind {
        None,       // clears the faults
        NoReply,    // the reply is lost
        Delay,      // the reply starts `argument` ms late
        Truncate,   // only the first `argument` bytes are sent
        CorruptCrc, // the CRC's low byte is damaged
        ExtraBytes, // `argument` random bytes follow the reply
        Garbage,    // random bytes instead of the reply (`argument` of them, 0: as many as the reply)
        Vanish,     // the device disappears after `argument` bytes of the reply: master closed, link removed
        Collision,  // another device talks from byte `argument` of the reply on (0: from its middle)
        WrongStation, // the reply names station `argument` (0: the module's own plus one), CRC made anew
        // How the line carries a reply: these act together with each other and
        // with the first of the kinds above that matches.
        Echo,       // the request's own bytes come back before the reply (a 2-wire adapter)
        LeadZero,   // `argument` zero bytes before the reply
        Jitter,     // each reply starts a random 0..`argument` ms late
        Turnaround, // the reply starts `argument` ms after the request (not 3.5 characters)
        Burst,      // the reply is handed over in bursts every `argument` ms (a USB adapter's latency timer)
    };
    Kind kind = None;
    int argument = 0;
    int remaining = -1; // requests still to affect; -1: every request
    int channel = 0;    // 0: any request

    static QString kindName(Kind kind);
    // "noreply", "no-reply", "NoReply" ... all name the same kind.
    static std::optional<Kind> kindFromName(const QString& name);
    static QStringList kindNames();
    // Echo, LeadZero, Jitter, Turnaround, Burst.
    static bool shapesLine(Kind kind) { return kind >= Echo; }

    bool matches(const QByteArray& request) const;
    QString toString() const; // in the command-line form accepted by parse()

    // Command-line form: KIND[:ARG][,next=K][,channel=C], e.g. "delay:300,next=2".
    static std::optional<Fault> parse(const QString& text, QString* error);
    // Scenario form, already split: KIND [ARG] [next=K] [channel=C].
    static std::optional<Fault> fromTokens(const QStringList& tokens, QString* error);
};

} // namespace sim

Q_DECLARE_METATYPE(sim::Fault)

#pragma once
// Serves a ModuleModel on a pseudo-terminal. The slave side is linked as
// <programFolder>/ports/COM<n>, where the program finds its port; requests read
// from the master are cut into frames, answered by the model, and the reply
// bytes go out paced at the module's line speed (10 bits a byte), with the
// configured faults applied. The line is the shared half-duplex RS-485 pair:
// bytes the program sends while a reply is on it collide with that reply.

#include "fault.h"
#include "frame_splitter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

#include <deque>

class QSocketNotifier;

namespace sim {

class ModuleModel;

class PtyTransport : public QObject
{
    Q_OBJECT
public:
    // The model must outlive the transport.
    explicit PtyTransport(ModuleModel* model, QObject* parent = nullptr);
    // Another module on the same line; it answers the requests the first one
    // does not (its own station's). While every module runs at one rate, each
    // hears every request; once their rates differ, a module hears only what the
    // program sends at its own rate (as far as the pseudo-terminal's speed can
    // be read) and replies at that rate. The model must outlive the transport.
    void addModel(ModuleModel* model) { m_moreModels.append(model); }
    ~PtyTransport() override; // closes and removes the link it made

    static QString linkPathFor(const QString& programFolder, int portNumber);

    // Opens a pseudo-terminal and links `linkPath` to its slave. An existing
    // entry there is replaced only if it is a symlink into /dev/pts/ or a
    // dangling one, or if `force` is set; otherwise this fails with a reason.
    bool open(const QString& linkPath, bool force, QString* error);
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }

    // Faults are tried in order; the first that matches an answered request
    // applies, and one with a count is dropped when used up.
    void setFaults(const QList<Fault>& faults) { m_faults = faults; }
    void setFault(const Fault& fault);
    void addFault(const Fault& fault) { m_faults.append(fault); }
    void clearFaults() { m_faults.clear(); }
    QList<Fault> faults() const { return m_faults; }

    // A reply is going out or waiting to.
    bool isSending() const { return !m_outgoing.empty(); }

    // Bytes from the program that meet a reply on the line garble the rest of
    // that reply and are not understood themselves, as when two drivers share
    // one pair. On unless switched off.
    void setCollisionsEnabled(bool enabled) { m_collisionsEnabled = enabled; }
    bool collisionsEnabled() const { return m_collisionsEnabled; }
    // Collisions since the transport was made, those of Collision faults included.
    int collisions() const { return m_collisions; }

    // Makes the random bytes of faults and collisions the same from run to run.
    void setRandomSeed(quint32 seed) { m_random.seed(seed); }

signals:
    void requestReceived(const QByteArray& request);
    // Bytes from the program that met a reply on the line, lost with the rest of that reply.
    void requestCollided(const QByteArray& bytes);
    void garbageDiscarded(const QByteArray& bytes);
    void faultApplied(const sim::Fault& fault, const QByteArray& request);
    // A reply (as sent, faults included) whose last byte went out.
    void replySent(const QByteArray& bytes);
    // The master was closed and the link removed by a Vanish fault.
    void vanished();

private:
    struct Outgoing
    {
        QByteArray bytes;
        int baudRate = 9600;
        qint64 startMicros = 0;
        int written = 0;
        bool vanishAfter = false; // the device disappears once these bytes are out
        qint64 burstMicros = 0;   // > 0: what the line carried is handed over only every burstMicros
    };

    qint64 nowMicros() const { return m_clock.nsecsElapsed() / 1000; }
    bool makeLink(const QString& linkPath, bool force, QString* error);
    void removeLink();
    void onReadable();
    // Whether `count` bytes arriving now meet a reply on the line; if so, every
    // reply they overlap is garbled from that moment on.
    bool collide(int count, qint64 nowMicros);
    void garble(QByteArray& bytes, int from);
    QByteArray randomBytes(int count);
    void handleRequest(const QByteArray& request);
    // The rate the program's side is set to when the modules' rates differ;
    // 0 when they agree or it cannot be read, and then every module hears.
    int filteringRate() const;
    // The rate the line runs at for pacing and frame gaps: the program's side
    // when the modules' rates differ, else the first module's.
    int lineRate() const;
    void pump();
    void vanish();

    ModuleModel* m_model;
    QList<ModuleModel*> m_moreModels;
    int m_master = -1;
    int m_slave = -1; // held open so the master never sees a hang-up between the program's opens
    QString m_slavePath;
    QString m_linkPath;
    QSocketNotifier* m_notifier = nullptr;
    FrameSplitter m_splitter;
    QList<Fault> m_faults;
    std::deque<Outgoing> m_outgoing;
    qint64 m_lineFreeMicros = 0;
    QElapsedTimer m_clock;
    QTimer m_pumpTimer;
    QTimer m_vanishTimer;
    bool m_collisionsEnabled = true;
    int m_collisions = 0;
    QRandomGenerator m_random{QRandomGenerator::global()->generate()};
};

} // namespace sim

#pragma once
// The window's loop timers: Enabled and Interval are
// independent properties; it ticks every Interval ms while Enabled, and an
// Interval of 0 never ticks. Setting either restarts the count.

#include <QObject>
#include <QTimer>

class IntervalTimer : public QObject
{
    Q_OBJECT
public:
    explicit IntervalTimer(QObject* parent = nullptr);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int Interval() const { return m_interval; }
    void setInterval(int milliseconds);
    // Whether ticks are actually coming (enabled with a non-zero interval).
    bool isTicking() const { return m_timer.isActive(); }

Q_SIGNALS:
    void Timer();

private:
    void apply();

    QTimer m_timer;
    bool m_enabled = false;
    int m_interval = 0;
};

#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into quitRequested() on the GUI thread, so
// that a logout, `kill` or Ctrl+C still saves the open notes. The handler
// only writes the signal number into a socket pair (all it may safely do);
// the notifier reads it in the event loop. One object per process; a second
// signal while the first is being handled ends the process the default way.
// Does nothing outside Unix.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void quitRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

#pragma once
// SIGTERM, SIGINT and SIGHUP, turned into a Qt signal on the event loop.

#include <QObject>

class QSocketNotifier;

namespace velmora {

/// Holds the three signals back in this thread and every thread started
/// after it; call it first thing in main, before any thread starts, so none
/// of them ends the program at once.
void BlockEndSignals();

/// Each of the three signals, held back by BlockEndSignals, raises `asked`
/// on the thread's event loop, so the program can end as closing its window
/// does.
class EndSignals : public QObject {
    Q_OBJECT
  public:
    explicit EndSignals(QObject* parent = nullptr);
    ~EndSignals() override;

  signals:
    void asked(int signal);

  private:
    void read();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velmora

#pragma once

#include <chrono>

#include <QObject>
#include <QPointer>

class QSessionManager;
class QSocketNotifier;

namespace orvex {

class CMainSheet;

// The end of the desktop session reaches the main window two ways: the session manager's
// commit-data request, which may be refused when the offline publication fails, and a
// terminating signal (SIGTERM, SIGINT, SIGHUP), which runs the same path and then ends the
// program whatever the answer. A signal that arrives while a cycle runs waits for it (up to
// kCycleWaitMs) so that the offline page still goes out.
class SessionEnd : public QObject {
    Q_OBJECT
public:
    explicit SessionEnd(CMainSheet* sheet, QObject* parent = nullptr);
    ~SessionEnd() override;

    // Routes SIGTERM, SIGINT and SIGHUP into the event loop through a self-pipe; false when that
    // cannot be set up.
    bool CatchTerminate();

    // The session manager asks whether the session may end.
    void OnCommitData(QSessionManager& manager);
    // A terminating signal arrived.
    void OnTerminate();

    static constexpr int kCycleWaitMs = 60000;
    static constexpr int kCyclePollMs = 100;

private:
    void EndAfterCycle();

    QPointer<CMainSheet> sheet_;
    QSocketNotifier* notifier_ = nullptr;
    bool terminating_ = false;
    std::chrono::steady_clock::time_point cycleDeadline_;
};

}  // namespace orvex

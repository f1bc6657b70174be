#include "ui/SessionEnd.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>

#include "ui/MainSheet.h"

namespace orvex {

namespace {

int g_terminatePipe[2] = {-1, -1};

void OnTerminateSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // Nothing can be done about a full pipe: one pending byte is enough.
    [[maybe_unused]] ssize_t n = ::write(g_terminatePipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

SessionEnd::SessionEnd(CMainSheet* sheet, QObject* parent) : QObject(parent), sheet_(sheet) {
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &SessionEnd::OnCommitData,
            Qt::DirectConnection);
}

SessionEnd::~SessionEnd() = default;

bool SessionEnd::CatchTerminate() {
    if (g_terminatePipe[0] < 0 && ::pipe2(g_terminatePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    notifier_ = new QSocketNotifier(g_terminatePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(g_terminatePipe[0], buffer, sizeof buffer) > 0) {
        }
        OnTerminate();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // Ctrl+C in the terminal and a closed terminal end the program like a session end does,
    // so the offline page goes out either way.
    bool caught = true;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        caught = ::sigaction(signal, &action, nullptr) == 0 && caught;
    }
    return caught;
}

void SessionEnd::OnCommitData(QSessionManager& manager) {
    manager.allowsInteraction();
    if (sheet_ && !sheet_->QueryEndSession()) {
        manager.cancel();
    }
}

void SessionEnd::OnTerminate() {
    // A second signal while the first is handled changes nothing.
    if (terminating_) {
        return;
    }
    terminating_ = true;
    cycleDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCycleWaitMs);
    EndAfterCycle();
}

void SessionEnd::EndAfterCycle() {
    if (sheet_ && sheet_->EndSessionAwaitsCycle() &&
        std::chrono::steady_clock::now() < cycleDeadline_) {
        QTimer::singleShot(kCyclePollMs, this, &SessionEnd::EndAfterCycle);
        return;
    }
    if (sheet_) {
        sheet_->QueryEndSession();
    }
    // A signal cannot be refused.
    if (sheet_ && !sheet_->IsDestroyed()) {
        sheet_->DestroyWindow();
    }
    QCoreApplication::exit(0);
}

}  // namespace orvex

// Start-up: one running copy per user, the start-up directory and settings file, and the
// main window.

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "platform/Clock.h"
#include "platform/DesktopLauncher.h"
#include "platform/SingleInstance.h"
#include "ui/GuiThreadHost.h"
#include "ui/InstanceServer.h"
#include "ui/MainSheet.h"
#include "ui/MessageBoxes.h"
#include "ui/SessionEnd.h"
#include "ui/dialogs/QtFilePicker.h"
#include "version/VersionInfo.h"

namespace {

// The current directory, whatever its length; empty when it cannot be read.
std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

// Sockets need no start-up here; a peer closing a connection must not kill the process.
bool InitSockets() {
    return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

// The help text, generated with the manual page from one source.
constexpr const char* kHelpText =
#include "orvex_help.inc"
    ;

// Worker threads are never waited for and may still hold these at exit, so they live for the
// whole process and are never destroyed.
orvex::AppState* g_state = nullptr;
orvex::GuiThreadHost* g_workerHost = nullptr;

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("orvex %s\n", orvex::ProgramVersion().c_str());
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::fputs(kHelpText, stdout);
        return 0;
    }
    const bool refresh = argc == 2 && std::string(argv[1]) == "--refresh";
    orvex::SingleInstance instance;
    switch (instance.Acquire()) {
        case orvex::SingleInstance::Result::First:
            break;
        case orvex::SingleInstance::Result::AlreadyRunning:
            // The service has no window to show.
            if (orvex::SingleInstance::Holder().rfind(orvex::kServiceProgram, 0) == 0) {
                std::fprintf(stderr,
                             "orvex: the service orvexd already runs for this user (%s); "
                             "stop it first.\n",
                             orvex::SingleInstance::Holder().c_str());
                return 1;
            }
            if (refresh) {
                // The running copy refreshes; this start has done what it was asked.
                return orvex::SingleInstance::AskFirstCopy("refresh") ? 0 : 1;
            }
            orvex::SingleInstance::AskFirstCopyToShow();
            return 1;
        case orvex::SingleInstance::Result::Failed:
            return 1;
    }

    const std::string workDir = CurrentDirectory();
    const std::string iniPath = workDir.empty() ? "Orvex.ini" : workDir + "/Orvex.ini";

    QApplication app(argc, argv);
    QApplication::setApplicationName("Orvex");
    QApplication::setQuitOnLastWindowClosed(false);

    if (!InitSockets()) {
        QMessageBox::critical(nullptr, "Orvex", "Orvex could not initialise its network sockets.");
        return 1;
    }

    g_state = new orvex::AppState(workDir, iniPath);
    g_workerHost = new orvex::GuiThreadHost();
    orvex::QtFilePicker picker;
    orvex::MessageBoxes boxes;
    orvex::SheetServices services{orvex::DefaultClock(), orvex::DefaultDesktopLauncher(), picker,
                                  boxes, QString::fromStdString(orvex::ProgramVersion())};
    QPointer<orvex::CMainSheet> sheet = new orvex::CMainSheet(*g_state, *g_workerHost, services);
    QObject::connect(sheet.data(), &QObject::destroyed, &app, &QApplication::quit);

    orvex::SessionEnd sessionEnd(sheet.data());
    sessionEnd.CatchTerminate();
    orvex::InstanceServer server(
        [&sheet] {
            if (sheet) {
                sheet->ShowFromOtherCopy();
            }
        },
        [&sheet] {
            if (sheet) {
                sheet->RefreshCommand();
            }
        });
    server.Listen();

    const int code = app.exec();
    if (g_state->Flags.CycleRunning) {
        // A worker is still publishing and holds references into this process; static
        // destruction must not run under it.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }
    delete sheet.data();
    return code;
}

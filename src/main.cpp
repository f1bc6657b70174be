// Start-up: one running copy per user, the start-up directory and settings file, and the
// main window.

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/SingleInstance.h"
#include "ui/InstanceServer.h"
#include "ui/MainSheet.h"

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

}  // namespace

int main(int argc, char* argv[]) {
    orvex::SingleInstance instance;
    switch (instance.Acquire()) {
        case orvex::SingleInstance::Result::First:
            break;
        case orvex::SingleInstance::Result::AlreadyRunning:
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

    auto* sheet = new orvex::CMainSheet(workDir, iniPath);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(sheet, &QObject::destroyed, &app, &QApplication::quit);
    orvex::InstanceServer server([sheet] { sheet->ShowFromOtherCopy(); });
    server.Listen();
    sheet->show();
    return app.exec();
}

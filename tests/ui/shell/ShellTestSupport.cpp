#include "ShellTestSupport.h"

#include <QPointer>
#include <QThread>

#include "platform/Clock.h"
#include "settings/SettingsFile.h"

namespace orvex::test {

bool PumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(1);
    }
    return true;
}

void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

ShellFixture::ShellFixture(const std::function<void(Profile&)>& edit) {
    Profile ini(dir.File("Orvex.ini"));
    WriteDefaultSettings(ini, PasswordKey());
    ini.WriteInt("Preferences", "IsUpdateOnStart", 0);
    ini.WriteInt("Preferences", "RefreshIntv", 0);
    ini.WriteInt("Preferences", "IsLogging", 1);
    ini.WriteString("Preferences", "LogFilename", "Orvex.log");
    ini.WriteInt("LocalSettings", "EnableFTP", 0);
    ini.WriteString("LocalSettings", "WANIPURL", "http://127.0.0.1:1/");
    if (edit) {
        edit(ini);
    }
    state = std::make_unique<AppState>(dir.Path(), dir.File("Orvex.ini"));
    workerHost = std::make_unique<GuiThreadHost>();
}

ShellFixture::~ShellFixture() {
    TearDown();
}

CMainSheet& ShellFixture::MakeSheet() {
    boxes.SetUnattended(true);
    sheet_ = new CMainSheet(*state, *workerHost,
                            SheetServices{DefaultClock(), launcher, picker, boxes, "1.69d"});
    return *sheet_;
}

void ShellFixture::WaitShown() {
    PumpUntil([this] { return sheet_->isVisible() || sheet_->isMinimized(); });
}

void ShellFixture::TearDown() {
    if (sheet_) {
        if (!sheet_->IsDestroyed()) {
            sheet_->DestroyWindow();
        }
        PumpUntil([&] { return sheet_.isNull(); });
    }
    // A cycle the test started reports into these objects until it ends.
    PumpUntil([this] { return !state || !state->Flags.CycleRunning; }, 30000);
}

std::vector<std::string> AskedTexts(const MessageBoxes& boxes) {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : boxes.Asked()) {
        texts.push_back(box.text);
    }
    return texts;
}

}  // namespace orvex::test

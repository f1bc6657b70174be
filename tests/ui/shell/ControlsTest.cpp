#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "ShellTestSupport.h"
#include "ui/AboutBox.h"
#include "platform/BrowserFallback.h"
#include "ui/LinkLabel.h"
#include "ui/MessageBoxes.h"
#include "ui/QtWindowTimer.h"
#include "ui/TransparentBitmap.h"

namespace orvex::test {
namespace {

TEST(BrowserFallbackTest, CommandLineIsCutAtThePlaceholder) {
    const std::string target = "https://orvex.example.org/";
    // Quoted: cut before the opening quote; the line's own blank stays, one more is added.
    EXPECT_EQ(BrowserCommandLine("/usr/bin/browser --new \"%u\"", target),
              "/usr/bin/browser --new  https://orvex.example.org/");
    EXPECT_EQ(BrowserCommandLine("browser %U --private", target),
              "browser  https://orvex.example.org/");
    EXPECT_EQ(BrowserCommandLine("viewer \"%F\" %u", target), "viewer  https://orvex.example.org/");
    EXPECT_EQ(BrowserCommandLine("browser %f", target), "browser  https://orvex.example.org/");
    EXPECT_EQ(BrowserCommandLine("browser", target), "browser https://orvex.example.org/");
}

TEST(BrowserFallbackTest, TargetIsOneArgumentOfItsOwn) {
    EXPECT_EQ(BrowserArguments("\"/opt/My Browser/run\" %i -x \"%u\"", "a b;$(rm)"),
              (std::vector<std::string>{"/opt/My Browser/run", "-x", "a b;$(rm)"}));
    EXPECT_EQ(BrowserArguments("env NAME=100%% browser %u", "t"),
              (std::vector<std::string>{"env", "NAME=100%", "browser", "t"}));
}

TEST(BrowserFallbackTest, OpenErrorTexts) {
    EXPECT_EQ(OpenErrorText(31),
              "Unable to open hyperlink:\n\nThere is no application associated\n"
              "with the given filename extension.");
    EXPECT_EQ(OpenErrorText(26), "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(OpenErrorText(40), "Unable to open hyperlink:\n\nUnknown Error (40) occurred.");
    EXPECT_EQ(OpenErrorText(0),
              "Unable to open hyperlink:\n\nThe operating system is out\nof memory or resources.");
}

TEST(BrowserFallbackTest, DefaultBrowserFromTheDesktopAssociations) {
    TempDir dir;
    XdgPaths paths;
    paths.configHome = dir.File("config");
    paths.dataHome = dir.File("data");
    paths.dataDirs = {dir.File("system")};
    EXPECT_EQ(DefaultBrowserExec(paths), "");

    ::mkdir(paths.configHome.c_str(), 0700);
    ::mkdir(paths.dataHome.c_str(), 0700);
    ::mkdir((paths.dataHome + "/applications").c_str(), 0700);
    ::mkdir(paths.dataDirs[0].c_str(), 0700);
    ::mkdir((paths.dataDirs[0] + "/applications").c_str(), 0700);
    WriteFile(paths.configHome + "/mimeapps.list",
              "[Added Associations]\ntext/html=wrong.desktop;\n"
              "[Default Applications]\ntext/html=missing.desktop;web.desktop;\n");
    WriteFile(paths.dataDirs[0] + "/applications/web.desktop",
              "[Desktop Action New]\nExec=web --new-window\n"
              "[Desktop Entry]\nName=Web\nExec=web %u\n");
    EXPECT_EQ(DefaultBrowserExec(paths), "web %u");
}

TEST(BrowserFallbackTest, StartProgramReportsAMissingProgram) {
    EXPECT_EQ(StartProgram({"/nonexistent/browser", "x"}), kOpenFileNotFound);
    EXPECT_EQ(StartProgram({"true", "x"}), kOpenSucceeded);
}

struct LinkFixture {
    RecordingLauncher launcher;
    RecordingHost boxes;
    std::vector<std::vector<std::string>> started;
    std::string exec;
    int startResult = kOpenSucceeded;
    CLinkLabel::Fallback Fallback() {
        return {[this] { return exec; },
                [this](const std::vector<std::string>& arguments) {
                    started.push_back(arguments);
                    return startResult;
                }};
    }
};

TEST(LinkLabelTest, OpensItsTextWhenNoTargetIsSet) {
    LinkFixture f;
    CLinkLabel label("https://orvex.example.org/docs", f.launcher, f.boxes, nullptr, f.Fallback());
    EXPECT_EQ(label.toolTip(), "https://orvex.example.org/docs");
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 238));
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().hotSpot(), QPoint(8, 3));
    EXPECT_EQ(label.cursor().pixmap().size(), QSize(32, 32));

    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(f.launcher.Opened(), std::vector<std::string>{"https://orvex.example.org/docs"});
    EXPECT_TRUE(label.Visited());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(85, 26, 139));
    EXPECT_TRUE(f.boxes.Events().empty());
}

TEST(LinkLabelTest, SetTargetKeepsTheText) {
    LinkFixture f;
    CLinkLabel label("Home page", f.launcher, f.boxes, nullptr, f.Fallback());
    label.SetTarget("https://orvex.example.org/");
    EXPECT_EQ(label.text(), "Home page");
    EXPECT_EQ(label.toolTip(), "https://orvex.example.org/");
    label.OpenTarget();
    EXPECT_EQ(f.launcher.Opened(), std::vector<std::string>{"https://orvex.example.org/"});
}

TEST(LinkLabelTest, FallsBackToTheDefaultBrowserCommand) {
    LinkFixture f;
    f.launcher.succeed = false;
    f.exec = "browser --new \"%u\"";
    CLinkLabel label("https://orvex.example.org/", f.launcher, f.boxes, nullptr, f.Fallback());
    EXPECT_EQ(label.OpenTarget(), kOpenSucceeded);
    EXPECT_EQ(f.started, (std::vector<std::vector<std::string>>{
                             {"browser", "--new", "https://orvex.example.org/"}}));
    EXPECT_TRUE(label.Visited());
}

TEST(LinkLabelTest, FailureShowsTheReasonAndUnmarksTheLink) {
    LinkFixture f;
    CLinkLabel label("https://orvex.example.org/", f.launcher, f.boxes, nullptr, f.Fallback());
    label.OpenTarget();
    ASSERT_TRUE(label.Visited());

    // No default browser either: the desktop's own failure is reported.
    f.launcher.succeed = false;
    EXPECT_EQ(label.OpenTarget(), kOpenNoAssociation);
    EXPECT_FALSE(label.Visited());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 238));
    ASSERT_EQ(f.boxes.Events().size(), 1u);
    EXPECT_EQ(f.boxes.Events()[0].box.text, OpenErrorText(31));
    EXPECT_EQ(f.boxes.Events()[0].box.icon, MsgIcon::Warning);
    EXPECT_EQ(f.boxes.Events()[0].box.buttons, MsgButtons::Ok);

    // A browser command that cannot be started reports its own reason.
    f.exec = "browser %u";
    f.startResult = kOpenFileNotFound;
    EXPECT_EQ(label.OpenTarget(), kOpenFileNotFound);
    EXPECT_EQ(f.boxes.Events().back().box.text, OpenErrorText(2));

    CLinkLabel file("/nonexistent/page.htm", f.launcher, f.boxes, nullptr, CLinkLabel::Fallback{});
    EXPECT_EQ(file.OpenTarget(), kOpenFileNotFound);
}

QImage MagentaCornered() {
    QImage bitmap(20, 10, QImage::Format_RGB32);
    bitmap.fill(QColor(10, 120, 200));
    for (QPoint corner : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 9), QPoint(19, 9)}) {
        bitmap.setPixel(corner, qRgb(255, 0, 255));
    }
    return bitmap;
}

TEST(TransparentBitmapTest, MagentaCornersShowTheGreyBehind) {
    QWidget dialog;
    dialog.setAutoFillBackground(true);
    QPalette grey;
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    dialog.setPalette(grey);
    dialog.resize(40, 30);
    auto* bitmap = new CTransparentBitmap(&dialog);
    bitmap->SetBitmap(MagentaCornered());
    bitmap->setGeometry(5, 5, 24, 12);

    const QImage shot = dialog.grab().toImage();
    auto at = [&](int x, int y) { return QColor(shot.pixel(5 + x, 5 + y)); };
    for (QPoint corner : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 9), QPoint(19, 9)}) {
        EXPECT_EQ(at(corner.x(), corner.y()), QColor(192, 192, 192));
    }
    EXPECT_EQ(at(1, 0), QColor(10, 120, 200));
    EXPECT_EQ(at(10, 5), QColor(10, 120, 200));
    // Beyond the bitmap the control's area counts as magenta too.
    EXPECT_EQ(at(22, 11), QColor(192, 192, 192));
}

TEST(TransparentBitmapTest, MaskedImageKeepsEveryOtherColour) {
    QImage bitmap(3, 1, QImage::Format_ARGB32);
    bitmap.setPixel(0, 0, qRgba(255, 0, 255, 0));  // magenta even without alpha
    bitmap.setPixel(1, 0, qRgb(254, 0, 255));
    bitmap.setPixel(2, 0, qRgb(0, 0, 0));
    const QImage masked = CTransparentBitmap::MaskedImage(bitmap, QSize(3, 1));
    EXPECT_EQ(qAlpha(masked.pixel(0, 0)), 0);
    EXPECT_EQ(masked.pixel(1, 0), qRgb(254, 0, 255));
    EXPECT_EQ(masked.pixel(2, 0), qRgb(0, 0, 0));
}

TEST(AboutBoxTest, ShowsVersionWordSizeAndLink) {
    RecordingLauncher launcher;
    RecordingHost boxes;
    CAboutBox about("1.69d", launcher, boxes);
    EXPECT_EQ(about.windowTitle(), "About Orvex");
    EXPECT_EQ(about.VersionField()->text(), "1.69d");
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("Domain Name Server for Winsock"));
    EXPECT_TRUE(texts.contains("Orvex Version"));
    EXPECT_TRUE(texts.contains(sizeof(void*) == 8 ? "(64-bit)" : "(32-bit)"));
    EXPECT_EQ(about.Link()->Target(), kHomePage);
    EXPECT_FALSE(about.Bitmap()->Bitmap().isNull());
    EXPECT_EQ(about.Bitmap()->Bitmap().pixel(0, 0), qRgb(255, 0, 255))
        << "the About bitmap has magenta areas";
}

TEST(MessageBoxesTest, PresetAnswersThenDismissedAnswers) {
    MessageBoxes boxes;
    boxes.SetUnattended(true);
    boxes.QueueAnswer(MsgAnswer::No);
    MessageBoxRequest yesNoCancel;
    yesNoCancel.buttons = MsgButtons::YesNoCancel;
    EXPECT_EQ(boxes.Ask(yesNoCancel), MsgAnswer::No);
    EXPECT_EQ(boxes.Ask(yesNoCancel), MsgAnswer::Cancel);
    MessageBoxRequest ok;
    EXPECT_EQ(boxes.Ask(ok), MsgAnswer::Ok);
    EXPECT_EQ(boxes.Asked().size(), 3u);
}

TEST(QtWindowTimerTest, ArmingAgainReplacesThePendingTimer) {
    int fired = 0;
    QtWindowTimer timer([&] { ++fired; });
    EXPECT_FALSE(timer.Kill());
    timer.Set(30);
    timer.Set(60000);
    QTest::qWait(150);
    EXPECT_EQ(fired, 0);
    timer.Set(5);
    EXPECT_TRUE(PumpUntil([&] { return fired >= 2; }, 2000)) << "repeats until killed";
    EXPECT_TRUE(timer.Kill());
    const int count = fired;
    QTest::qWait(50);
    EXPECT_EQ(fired, count);
}

}  // namespace
}  // namespace orvex::test

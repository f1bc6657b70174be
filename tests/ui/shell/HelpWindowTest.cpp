#include "ui/HelpWindow.h"

#include <QTextBrowser>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "ShellTestSupport.h"
#include "platform/HelpPages.h"
#include "ui/WebAddress.h"

namespace orvex::test {
namespace {

// Points the desktop's application associations at an empty folder: no default browser.
class NoDefaultBrowser {
public:
    NoDefaultBrowser() {
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            saved_.emplace_back(name, qgetenv(name));
            qputenv(name, QByteArray::fromStdString(empty_.Path()));
        }
    }
    ~NoDefaultBrowser() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull()) {
                qunsetenv(name);
            } else {
                qputenv(name, value);
            }
        }
    }

private:
    TempDir empty_;
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST(HelpWindowTest, PageLinksStayInTheWindowAndWebLinksGoToTheBrowser) {
    RecordingLauncher launcher;
    RecordingHost boxes;
    HelpWindow help(DefaultHelpDirs(), launcher, boxes);
    ASSERT_TRUE(help.ShowTopic(kHelpTopic));

    emit help.Browser()->anchorClicked(QUrl("Window.htm#exit"));
    EXPECT_TRUE(help.Shown().toLocalFile().endsWith("/Window.htm"));
    EXPECT_EQ(help.Shown().fragment(), "exit");
    help.Browser()->backward();
    EXPECT_TRUE(help.Shown().toLocalFile().endsWith("/Intro.htm"));
    EXPECT_TRUE(launcher.Opened().empty());

    emit help.Browser()->anchorClicked(QUrl("https://orvex.example.org/docs"));
    EXPECT_EQ(launcher.Opened(), std::vector<std::string>{"https://orvex.example.org/docs"});
    EXPECT_TRUE(help.Shown().toLocalFile().endsWith("/Intro.htm"));
    EXPECT_TRUE(boxes.MessageBoxTexts().empty());
}

TEST(HelpWindowTest, WebLinkWithoutAnyBrowserSaysSoAndNamesTheAddress) {
    NoDefaultBrowser none;
    RecordingLauncher launcher;
    launcher.succeed = false;
    RecordingHost boxes;
    EXPECT_FALSE(OpenWebAddress("https://orvex.example.org/", launcher, boxes));
    EXPECT_EQ(boxes.MessageBoxTexts(),
              std::vector<std::string>{NoBrowserText("https://orvex.example.org/")});
    EXPECT_NE(NoBrowserText("https://orvex.example.org/").find("https://orvex.example.org/"),
              std::string::npos);
}

TEST(HelpWindowTest, MissingPagesAreReportedWithTheFoldersLookedIn) {
    TempDir empty;
    RecordingLauncher launcher;
    RecordingHost boxes;
    HelpWindow help({empty.Path()}, launcher, boxes);
    EXPECT_FALSE(help.ShowTopic("Settings.htm#ftp"));
    EXPECT_FALSE(help.isVisible());
    ASSERT_EQ(boxes.MessageBoxTexts().size(), 1u);
    EXPECT_NE(boxes.MessageBoxTexts()[0].find("Settings.htm"), std::string::npos);
    EXPECT_NE(boxes.MessageBoxTexts()[0].find(empty.Path()), std::string::npos);

    // Pages installed later are found at the next request.
    WriteFile(empty.File("Settings.htm"), "<html><body><h2 id=\"ftp\">FTP</h2></body></html>");
    EXPECT_TRUE(help.ShowTopic("Settings.htm#ftp"));
    EXPECT_TRUE(help.isVisible());
}

}  // namespace
}  // namespace orvex::test

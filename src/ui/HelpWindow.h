#pragma once

#include <QUrl>
#include <QWidget>

#include <string>
#include <vector>

#include "platform/DesktopLauncher.h"
#include "platform/Host.h"

class QTextBrowser;
class QToolButton;

namespace orvex {

// "Orvex Help": the installed help pages in a window of the program's own, so help never
// depends on a browser. Links between the pages stay in the window; links to the web go to
// the browser (and a box says so when none can be started).
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    HelpWindow(std::vector<std::string> helpDirs, DesktopLauncher& launcher, Host& boxes,
               QWidget* parent = nullptr);

    // Shows `topic` ("Settings.htm", or "Settings.htm#ftp" for a section of it) and brings the
    // window to the front. False, after a box that says where the pages were looked for, when
    // the page cannot be found.
    bool ShowTopic(const std::string& topic);

    QTextBrowser* Browser() const { return browser_; }
    // The page shown and its section (empty before the first topic).
    QUrl Shown() const;

private:
    void FollowLink(const QUrl& link);

    const std::vector<std::string> helpDirs_;
    DesktopLauncher& launcher_;
    Host& boxes_;
    QTextBrowser* browser_;
    QToolButton* back_;
    QToolButton* forward_;
};

}  // namespace orvex

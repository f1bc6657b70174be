#include "ui/HelpWindow.h"

#include <QHBoxLayout>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/HelpPages.h"
#include "ui/UiResources.h"
#include "ui/WebAddress.h"

namespace orvex {

HelpWindow::HelpWindow(std::vector<std::string> helpDirs, DesktopLauncher& launcher, Host& boxes,
                       QWidget* parent)
    : QWidget(parent, Qt::Window),
      helpDirs_(std::move(helpDirs)),
      launcher_(launcher),
      boxes_(boxes),
      browser_(new QTextBrowser(this)),
      back_(new QToolButton(this)),
      forward_(new QToolButton(this)) {
    setWindowTitle("Orvex Help");
    setWindowIcon(ProgramIcon());
    resize(680, 600);

    auto* contents = new QToolButton(this);
    contents->setText("&Contents");
    back_->setText("&Back");
    forward_->setText("&Forward");
    back_->setEnabled(false);
    forward_->setEnabled(false);
    auto* bar = new QHBoxLayout;
    bar->addWidget(back_);
    bar->addWidget(forward_);
    bar->addWidget(contents);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(browser_);

    // Every link comes here first: the pages' own open inside, the web's in the browser.
    browser_->setOpenLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::FollowLink);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(contents, &QToolButton::clicked, this, [this] { ShowTopic(kHelpTopic); });
}

QUrl HelpWindow::Shown() const {
    return browser_->source();
}

bool HelpWindow::ShowTopic(const std::string& topic) {
    const size_t hash = topic.find('#');
    const std::string page = topic.substr(0, hash);
    const std::string path = FindHelpPage(helpDirs_, page);
    if (path.empty()) {
        std::string places;
        for (const std::string& dir : helpDirs_) {
            places += "\n" + dir;
        }
        MessageBoxRequest box;
        box.text = "The help page " + page + " was not found. Orvex looked in:\n" + places;
        box.caption = "Orvex Help";
        box.icon = MsgIcon::Warning;
        boxes_.MessageBox(box);
        return false;
    }
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
    if (hash != std::string::npos) {
        url.setFragment(QString::fromStdString(topic.substr(hash + 1)));
    }
    browser_->setSource(url);
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    return true;
}

void HelpWindow::FollowLink(const QUrl& link) {
    const QUrl target = browser_->source().resolved(link);
    if (target.isLocalFile()) {
        browser_->setSource(target);
        return;
    }
    OpenWebAddress(target.toString().toStdString(), launcher_, boxes_);
}

}  // namespace orvex

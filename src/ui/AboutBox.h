#pragma once

#include <QDialog>

#include "platform/DesktopLauncher.h"
#include "platform/Host.h"

class QLabel;

namespace orvex {

class CLinkLabel;
class CTransparentBitmap;

// The product's web page, opened by the About box's link and the Help menu's home-page item.
inline constexpr const char* kHomePage = "https://orvex.example.org/";

// "About Orvex": the program icon, the bitmap, the version and the link to the home page.
class CAboutBox : public QDialog {
    Q_OBJECT
public:
    CAboutBox(const QString& version, DesktopLauncher& launcher, Host& boxes,
              QWidget* parent = nullptr);

    // "(64-bit)" or "(32-bit)", by the build's word size.
    static QString WordSizeText();

    QLabel* VersionField() const { return version_; }
    CLinkLabel* Link() const { return link_; }
    CTransparentBitmap* Bitmap() const { return bitmap_; }

private:
    QLabel* version_;
    CLinkLabel* link_;
    CTransparentBitmap* bitmap_;
};

}  // namespace orvex

#include "ui/AboutBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/LinkLabel.h"
#include "ui/TransparentBitmap.h"
#include "ui/UiResources.h"

namespace orvex {

CAboutBox::CAboutBox(const QString& version, DesktopLauncher& launcher, Host& boxes,
                     QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle("About Orvex");
    setWindowIcon(ProgramIcon());

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(16, 14, 16, 12);

    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    bitmap_ = new CTransparentBitmap(this);
    bitmap_->SetBitmap(AboutBitmap());
    bitmap_->setFixedSize(bitmap_->sizeHint());
    top->addWidget(bitmap_, 0, Qt::AlignVCenter);
    top->addStretch();
    layout->addLayout(top);
    layout->addSpacing(6);

    auto centred = [this](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignHCenter);
        return label;
    };
    layout->addWidget(centred("Domain Name Server for Winsock"));
    layout->addWidget(centred("Orvex Version"));
    version_ = centred(version);
    layout->addWidget(version_);
    layout->addWidget(centred(WordSizeText()));
    layout->addSpacing(6);

    link_ = new CLinkLabel("Visit the Orvex home page", launcher, boxes, this);
    link_->SetTarget(kHomePage);
    layout->addWidget(link_, 0, Qt::AlignHCenter);
    layout->addSpacing(6);

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    ok->setMinimumWidth(80);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

QString CAboutBox::WordSizeText() {
    return sizeof(void*) == 8 ? "(64-bit)" : "(32-bit)";
}

}  // namespace orvex

#include "ui/pages/RemotePage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace orvex {

namespace {

QLineEdit* ReadOnlyField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    return field;
}

}  // namespace

CRemotePage::CRemotePage(QWidget* parent) : SheetPage("Status", parent) {
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox(this);
    outer->addWidget(group);
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(4);
    grid->setHorizontalSpacing(16);

    hostMessage_ = new QPlainTextEdit(group);
    hostMessage_->setReadOnly(true);
    hostMessage_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    hostMessage_->setMinimumHeight(80);
    lan_ = ReadOnlyField(group);
    wan_ = ReadOnlyField(group);
    lastRefresh_ = ReadOnlyField(group);
    nextRefresh_ = ReadOnlyField(group);

    grid->addWidget(new QLabel("Host Messages:", group), 0, 0, 1, 2);
    grid->addWidget(hostMessage_, 1, 0, 1, 2);
    grid->addWidget(new QLabel("LAN IP Address:", group), 2, 0);
    grid->addWidget(new QLabel("WAN IP Address:", group), 2, 1);
    grid->addWidget(lan_, 3, 0);
    reach_ = new QLabel(group);
    reach_->setObjectName("WanReachability");
    reach_->setWordWrap(true);
    reach_->setVisible(false);
    auto* wanColumn = new QVBoxLayout();
    wanColumn->setSpacing(2);
    wanColumn->addWidget(wan_);
    wanColumn->addWidget(reach_);
    grid->addLayout(wanColumn, 3, 1);
    grid->addWidget(new QLabel("Time last refreshed:", group), 4, 0);
    grid->addWidget(new QLabel("Next refresh time:", group), 4, 1);
    grid->addWidget(lastRefresh_, 5, 0);
    grid->addWidget(nextRefresh_, 5, 1);
    // The IPv6 addresses, shown only while IPv6 is enabled.
    lan6_ = ReadOnlyField(group);
    wan6_ = ReadOnlyField(group);
    lan6Label_ = new QLabel("LAN IPv6 Address:", group);
    wan6Label_ = new QLabel("WAN IPv6 Address:", group);
    grid->addWidget(lan6Label_, 6, 0);
    grid->addWidget(wan6Label_, 6, 1);
    grid->addWidget(lan6_, 7, 0);
    grid->addWidget(wan6_, 7, 1);
    for (QWidget* widget : {static_cast<QWidget*>(lan6Label_), static_cast<QWidget*>(wan6Label_),
                            static_cast<QWidget*>(lan6_), static_cast<QWidget*>(wan6_)}) {
        widget->setVisible(false);
    }
    grid->setRowStretch(1, 1);
}

void CRemotePage::SetFields(const StatusFields& fields) {
    fields_ = fields;
    if (WasShown()) {
        ShowFields();
    }
}

void CRemotePage::OnSetActive() {
    SheetPage::OnSetActive();
    ShowFields();
}

void CRemotePage::ShowFields() {
    hostMessage_->setPlainText(QString::fromStdString(fields_.hostMessage));
    lan_->setText(QString::fromStdString(fields_.lanAddress));
    wan_->setText(QString::fromStdString(fields_.wanAddress));
    wan_->setToolTip(QString::fromStdString(fields_.wanReachability));
    reach_->setText(QString::fromStdString(fields_.wanReachability));
    reach_->setVisible(!fields_.wanReachability.empty());
    lastRefresh_->setText(QString::fromStdString(fields_.lastRefresh));
    nextRefresh_->setText(QString::fromStdString(fields_.nextRefresh));
    lan6_->setText(QString::fromStdString(fields_.lanAddress6));
    wan6_->setText(QString::fromStdString(fields_.wanAddress6));
    for (QWidget* widget : {static_cast<QWidget*>(lan6Label_), static_cast<QWidget*>(wan6Label_),
                            static_cast<QWidget*>(lan6_), static_cast<QWidget*>(wan6_)}) {
        widget->setVisible(fields_.ipv6);
    }
}

}  // namespace orvex

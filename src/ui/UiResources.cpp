#include "ui/UiResources.h"

#include <QPixmap>

// The resources live in a static library, so their registration must be pulled in by hand.
static void InitOrvexResources() {
    Q_INIT_RESOURCE(orvex);
}

namespace orvex {

namespace {

QIcon IconSet(const QString& name) {
    InitOrvexResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addFile(QString(":/orvex/%1-%2.png").arg(name).arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace

QIcon ProgramIcon() {
    return IconSet("orvex");
}

QIcon PendingIcon() {
    return IconSet("orvex-pending");
}

QImage AboutBitmap() {
    InitOrvexResources();
    return QImage(":/orvex/about.png");
}

QCursor LinkCursor() {
    InitOrvexResources();
    return QCursor(QPixmap(":/orvex/hand.png"), 8, 3);
}

}  // namespace orvex

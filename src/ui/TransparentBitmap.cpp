#include "ui/TransparentBitmap.h"

#include <QPainter>

namespace orvex {

namespace {

const QRgb kMagenta = qRgb(255, 0, 255);

}  // namespace

CTransparentBitmap::CTransparentBitmap(QWidget* parent) : QWidget(parent) {}

void CTransparentBitmap::SetBitmap(const QImage& bitmap) {
    bitmap_ = bitmap;
    updateGeometry();
    update();
}

QSize CTransparentBitmap::sizeHint() const {
    return bitmap_.isNull() ? QWidget::sizeHint() : bitmap_.size();
}

QImage CTransparentBitmap::MaskedImage(const QImage& bitmap, const QSize& size) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(kMagenta);
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, bitmap.convertToFormat(QImage::Format_RGB32));
    }
    // Compare colours only: an alpha channel in the source must not hide a magenta pixel.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0x00FFFFFF) == (kMagenta & 0x00FFFFFF)) {
                line[x] = qRgba(0, 0, 0, 0);
            } else {
                line[x] |= 0xFF000000;
            }
        }
    }
    return image;
}

void CTransparentBitmap::paintEvent(QPaintEvent* event) {
    if (bitmap_.isNull()) {
        QWidget::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, MaskedImage(bitmap_, size()));
}

}  // namespace orvex

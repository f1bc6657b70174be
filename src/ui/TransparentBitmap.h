#pragma once

#include <QImage>
#include <QWidget>

namespace orvex {

// A picture whose magenta (255, 0, 255) pixels let the background behind it show through.
class CTransparentBitmap : public QWidget {
    Q_OBJECT
public:
    explicit CTransparentBitmap(QWidget* parent = nullptr);

    // A null image leaves the control to paint as a plain, empty control.
    void SetBitmap(const QImage& bitmap);
    const QImage& Bitmap() const { return bitmap_; }

    QSize sizeHint() const override;

    // `bitmap` placed at the top left of an area of `size`, the rest of the area magenta, with
    // every magenta pixel made fully transparent.
    static QImage MaskedImage(const QImage& bitmap, const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage bitmap_;
};

}  // namespace orvex

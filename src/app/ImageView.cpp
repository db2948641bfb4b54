#include "app/ImageView.h"

#include <QPainter>

QRect FitPictureRect(QSize Picture, QSize Area)
{
    const int w = Picture.width();
    const int h = Picture.height();
    const int cw = Area.width();
    const int ch = Area.height();
    int newWidth = w;
    int newHeight = h;
    if ((w > cw || h > ch) && w > 0 && h > 0) {
        const double r = double(w) / double(h);
        if (w > h) {
            newWidth = cw;
            newHeight = int(cw / r);
            if (newHeight > ch) {
                newHeight = ch;
                newWidth = int(ch * r);
            }
        } else {
            newHeight = ch;
            newWidth = int(ch * r);
            if (newWidth > cw) {
                newWidth = cw;
                newHeight = int(cw / r);
            }
        }
    }
    return QRect((cw - newWidth) / 2, (ch - newHeight) / 2, newWidth, newHeight);
}

TImageHolder::TImageHolder(QWidget *Parent)
    : QWidget(Parent)
{
    setObjectName(QStringLiteral("ImageHolder"));
}

void TImageHolder::SetPicture(const QImage &Picture)
{
    picture_ = Picture;
    if (autoSize_)
        resize(picture_.size());
    updateGeometry();
    update();
}

void TImageHolder::SetAutoSize(bool AutoSize)
{
    autoSize_ = AutoSize;
    if (autoSize_)
        resize(picture_.size());
    updateGeometry();
    update();
}

QSize TImageHolder::sizeHint() const
{
    return autoSize_ ? picture_.size() : QWidget::sizeHint();
}

void TImageHolder::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    if (picture_.isNull())
        return;
    QPainter painter(this);
    if (autoSize_) {
        painter.drawImage(QPoint(0, 0), picture_);
        return;
    }
    const QRect target = FitPictureRect(picture_.size(), size());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
}

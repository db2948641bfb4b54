#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

// Where a picture is drawn in an area when fitted: scaled down keeping its
// proportions when it does not fit (never enlarged), centred.
QRect FitPictureRect(QSize Picture, QSize Area);

// The picture control inside the image scroll box.
class TImageHolder : public QWidget
{
    Q_OBJECT
public:
    explicit TImageHolder(QWidget *Parent = nullptr);

    const QImage &Picture() const { return picture_; }
    void SetPicture(const QImage &Picture);
    void ClearPicture() { SetPicture(QImage()); }

    // Automatic sizing: the control takes the picture's own size.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool AutoSize);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *Event) override;

private:
    QImage picture_;
    bool autoSize_ = false;
};

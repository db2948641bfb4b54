#pragma once

#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QToolButton;

// A balloon with an information icon, a header, a close button and a text,
// whose tail points at a control. It closes by itself after a few seconds,
// when clicked, or with its close button.
class TBalloonHint : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MaxWidth = 400;
    static constexpr int HideAfterMs = 5000;

    explicit TBalloonHint(QWidget *Parent = nullptr);

    // Shows the balloon below Target (above it when the screen has no room
    // below), its tail at the middle of Target's edge.
    void ShowAt(QWidget *Target, const QString &Header, const QString &Text);

    QString Header() const;
    QString Text() const;
    QWidget *Target() const { return target_; }
    // Where the tail points, in global coordinates.
    QPoint TipPoint() const { return tip_; }
    QTimer *HideTimer() { return &hideTimer_; }
    QToolButton *CloseButton() const { return closeButton_; }

protected:
    void paintEvent(QPaintEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void hideEvent(QHideEvent *Event) override;

private:
    QPainterPath outline() const;
    void placeTail(bool AtTop);
    void updateShape();

    QLabel *icon_;
    QLabel *header_;
    QLabel *text_;
    QToolButton *closeButton_;
    QTimer hideTimer_;
    QPointer<QWidget> target_;
    QPoint tip_;
    bool tailAtTop_ = true;
    int tailX_ = 0;
};

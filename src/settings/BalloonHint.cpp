#include "settings/BalloonHint.h"

#include "platform/MessageCatalogue.h"

#include <QBitmap>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

namespace {
constexpr int kTailHeight = 12;
constexpr int kTailWidth = 16;
constexpr int kTailInset = 24;   // the tip's usual distance from the balloon's left edge
constexpr int kMargin = 8;
constexpr int kRadius = 6;
} // namespace

TBalloonHint::TBalloonHint(QWidget *Parent)
    : QWidget(Parent, Qt::ToolTip | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("BalloonHint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setForegroundRole(QPalette::ToolTipText);
    setMaximumWidth(MaxWidth);

    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    icon_ = new QLabel(this);
    icon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this)
                         .pixmap(iconSize, iconSize));

    header_ = new QLabel(this);
    header_->setTextFormat(Qt::PlainText);
    QFont bold = header_->font();
    bold.setBold(true);
    header_->setFont(bold);

    closeButton_ = new QToolButton(this);
    closeButton_->setAutoRaise(true);
    closeButton_->setToolTip(_("Close"));
    const QIcon closeIcon = style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this);
    if (closeIcon.isNull())
        closeButton_->setText(QStringLiteral("\u2715"));
    else
        closeButton_->setIcon(closeIcon);
    connect(closeButton_, &QToolButton::clicked, this, &QWidget::hide);

    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);

    auto *layout = new QGridLayout(this);
    layout->setHorizontalSpacing(6);
    layout->addWidget(icon_, 0, 0);
    layout->addWidget(header_, 0, 1);
    layout->addWidget(closeButton_, 0, 2, Qt::AlignRight | Qt::AlignTop);
    layout->addWidget(text_, 1, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    placeTail(true);

    hideTimer_.setSingleShot(true);
    hideTimer_.setInterval(HideAfterMs);
    connect(&hideTimer_, &QTimer::timeout, this, &QWidget::hide);
}

QString TBalloonHint::Header() const
{
    return header_->text();
}

QString TBalloonHint::Text() const
{
    return text_->text();
}

void TBalloonHint::placeTail(bool AtTop)
{
    tailAtTop_ = AtTop;
    layout()->setContentsMargins(kMargin, kMargin + (AtTop ? kTailHeight : 0), kMargin,
                                 kMargin + (AtTop ? 0 : kTailHeight));
}

void TBalloonHint::ShowAt(QWidget *Target, const QString &Header, const QString &Text)
{
    target_ = Target;
    header_->setText(Header);
    text_->setText(Text);

    const QRect targetRect(Target->mapToGlobal(QPoint(0, 0)), Target->size());
    const QScreen *screen = Target->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);

    // As wide as the text needs on one line, but never wider than the cap:
    // longer texts wrap.
    placeTail(true);
    text_->setWordWrap(false);
    const int natural = layout()->sizeHint().width();
    text_->setWordWrap(true);
    const int width = qBound(layout()->minimumSize().width(), natural, MaxWidth);
    const int height = layout()->totalHeightForWidth(width);

    const int tipX = targetRect.center().x();
    const bool roomBelow = targetRect.bottom() + 1 + height <= available.bottom() + 1;
    placeTail(roomBelow);
    tip_ = QPoint(tipX, roomBelow ? targetRect.bottom() + 1 : targetRect.top());
    const int top = roomBelow ? tip_.y() : tip_.y() - height;
    const int left = qBound(available.left(), tipX - kTailInset,
                            qMax(available.left(), available.right() + 1 - width));
    tailX_ = qBound(kRadius + kTailWidth / 2, tipX - left, width - kRadius - kTailWidth / 2);

    setGeometry(left, top, width, height);
    updateShape();
    show();
    raise();
    hideTimer_.start();
}

QPainterPath TBalloonHint::outline() const
{
    QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (tailAtTop_)
        body.setTop(body.top() + kTailHeight);
    else
        body.setBottom(body.bottom() - kTailHeight);
    QPainterPath path;
    path.addRoundedRect(body, kRadius, kRadius);

    const qreal baseY = tailAtTop_ ? body.top() + 1 : body.bottom() - 1;
    const qreal tipY = tailAtTop_ ? 0.5 : height() - 0.5;
    QPainterPath tail;
    tail.moveTo(tailX_ - kTailWidth / 2.0, baseY);
    tail.lineTo(tailX_, tipY);
    tail.lineTo(tailX_ + kTailWidth / 2.0, baseY);
    tail.closeSubpath();
    return path.united(tail);
}

void TBalloonHint::updateShape()
{
    // A mask rather than translucency: it works without a compositing manager.
    // Drawn like the outline itself, so the border is never clipped.
    QBitmap shape(size());
    shape.fill(Qt::color0);
    {
        QPainter painter(&shape);
        painter.setPen(QPen(Qt::color1, 1));
        painter.setBrush(Qt::color1);
        painter.drawPath(outline());
    }
    setMask(shape);
    update();
}

void TBalloonHint::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = outline();
    painter.fillPath(path, palette().toolTipBase());
    painter.setPen(QPen(palette().toolTipText().color(), 1));
    painter.drawPath(path);
}

void TBalloonHint::resizeEvent(QResizeEvent *Event)
{
    QWidget::resizeEvent(Event);
    updateShape();
}

void TBalloonHint::mousePressEvent(QMouseEvent *Event)
{
    Event->accept();
    hide();
}

void TBalloonHint::hideEvent(QHideEvent *Event)
{
    hideTimer_.stop();
    QWidget::hideEvent(Event);
}

#include "app/ReviewCards.h"

#include "app/FoundCardsModel.h"
#include "platform/Application.h"
#include "platform/Keys.h"
#include "platform/MessageCatalogue.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The preview is made once; painting a 600 dpi glass at every repaint would
// make the window sluggish.
constexpr int kPreviewSide = 1400;

// 1 to 9 for the number keys, 0 for any other key.
int numberKey(const QKeyEvent &Key)
{
    if (Key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return 0;
    return Key.key() >= Qt::Key_1 && Key.key() <= Qt::Key_9 ? Key.key() - Qt::Key_0 : 0;
}

QColor outlineColour(const TPassCard &Card)
{
    if (Card.Unsure != TUnsureReason::None || (!Card.Doubt.isEmpty() && !Card.Keep))
        return QColor(220, 0, 0);
    if (Card.Extra())
        return QColor(210, 120, 0);
    return Card.Keep ? QColor(0, 160, 0) : QColor(128, 128, 128);
}

} // namespace

TFoundCardsPicture::TFoundCardsPicture(const QImage &Glass, TFoundCardsModel &Model, QWidget *Parent)
    : QWidget(Parent), glassSize_(Glass.size()), model_(Model)
{
    setObjectName(QStringLiteral("imCards"));
    setAccessibleName(_("Scanned glass"));
    setMinimumSize(200, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (!Glass.isNull())
        preview_ = Glass.width() > kPreviewSide || Glass.height() > kPreviewSide
                       ? Glass.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                       : Glass;
    connect(&Model, &QAbstractItemModel::dataChanged, this, qOverload<>(&QWidget::update));
}

QSize TFoundCardsPicture::sizeHint() const
{
    return QSize(560, 720);
}

QRectF TFoundCardsPicture::GlassRect() const
{
    if (glassSize_.isEmpty())
        return {};
    const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    const double scale = std::min(area.width() / glassSize_.width(), area.height() / glassSize_.height());
    const QSizeF size(glassSize_.width() * scale, glassSize_.height() * scale);
    return QRectF(area.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

QPointF TFoundCardsPicture::ToWidget(QPointF GlassPoint) const
{
    const QRectF target = GlassRect();
    if (glassSize_.isEmpty())
        return {};
    const double scale = target.width() / glassSize_.width();
    return target.topLeft() + GlassPoint * scale;
}

QPolygonF TFoundCardsPicture::outline(const TPassCard &Card) const
{
    QPolygonF shape;
    for (const QPointF &corner : Card.Corners)
        shape << ToWidget(corner);
    return shape;
}

int TFoundCardsPicture::RowAt(QPointF Point) const
{
    const std::vector<TPassCard> &cards = model_.Cards();
    for (size_t i = 0; i < cards.size(); ++i) {
        if (outline(cards[i]).containsPoint(Point, Qt::OddEvenFill))
            return int(i);
    }
    return -1;
}

void TFoundCardsPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QRectF target = GlassRect();
    if (preview_.isNull() || target.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawImage(target, preview_);

    QFont numberFont = font();
    numberFont.setBold(true);
    numberFont.setPointSizeF(numberFont.pointSizeF() * 1.6);
    for (const TPassCard &card : model_.Cards()) {
        const QPolygonF shape = outline(card);
        const QColor colour = outlineColour(card);
        QPen pen(colour, card.WillBeSaved() ? 3 : 2);
        if (!card.WillBeSaved())
            pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(card.WillBeSaved() ? Qt::NoBrush : QBrush(QColor(255, 255, 255, 110)));
        painter.drawPolygon(shape);

        // The number, then the card's name or why it is not saved, on a light
        // plate so they read on any art.
        const QRectF bounds = shape.boundingRect();
        const QString name = card.Unsure != TUnsureReason::None ? DoubtText(card.Unsure)
                             : card.Extra()                       ? _("no card left in the list")
                             : card.Keep                          ? card.CardName
                             : !card.Doubt.isEmpty()              ? card.Doubt
                                                                  : _("left out");
        const QFontMetricsF nameMetrics(font());
        const QString shown = nameMetrics.elidedText(name, Qt::ElideRight, std::max(20.0, bounds.width() - 8));
        const QFontMetricsF numberMetrics(numberFont);
        const double plateWidth = std::max(numberMetrics.horizontalAdvance(QString::number(card.Number)),
                                           nameMetrics.horizontalAdvance(shown)) + 10;
        const double plateHeight = numberMetrics.height() + nameMetrics.height() + 6;
        const QRectF plate(bounds.center() - QPointF(plateWidth / 2, plateHeight / 2), QSizeF(plateWidth, plateHeight));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 215));
        painter.drawRoundedRect(plate, 4, 4);
        painter.setPen(colour.darker(130));
        painter.setFont(numberFont);
        painter.drawText(QRectF(plate.left(), plate.top() + 2, plate.width(), numberMetrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(card.Number));
        painter.setFont(font());
        painter.drawText(QRectF(plate.left(), plate.top() + 2 + numberMetrics.height(), plate.width(),
                                nameMetrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, shown);
    }
}

void TFoundCardsPicture::mousePressEvent(QMouseEvent *Event)
{
    pressedRow_ = Event->button() == Qt::LeftButton ? RowAt(Event->position()) : -1;
    QWidget::mousePressEvent(Event);
}

void TFoundCardsPicture::mouseReleaseEvent(QMouseEvent *Event)
{
    // A click is a press and a release on the same card.
    const int row = Event->button() == Qt::LeftButton ? RowAt(Event->position()) : -1;
    const int pressed = pressedRow_;
    pressedRow_ = -1;
    if (row >= 0 && row == pressed)
        emit cardClicked(row);
    QWidget::mouseReleaseEvent(Event);
}

TfrmReviewCards::TfrmReviewCards(const QImage &Glass, std::vector<TPassCard> Cards, QWidget *Parent)
    : QDialog(Parent), model_(std::make_unique<TFoundCardsModel>(std::move(Cards)))
{
    setObjectName(QStringLiteral("frmReviewCards"));
    setWindowTitle(_("Cards found"));

    imCards = new TFoundCardsPicture(Glass, *model_, this);
    lvCards = new QListView(this);
    lvCards->setObjectName(QStringLiteral("lvCards"));
    lvCards->setAccessibleName(_("Cards found"));
    lvCards->setModel(model_.get());
    lvCards->setUniformItemSizes(true);
    lvCards->installEventFilter(this);
    imCards->installEventFilter(this);
    auto *lbCards = new QLabel(_("Cards and the list cards they are saved as:"), this);
    lbCards->setObjectName(QStringLiteral("lbCards"));
    lbCards->setBuddy(lvCards);
    lbCards->setWordWrap(true);
    lbSummary = new QLabel(this);
    lbSummary->setObjectName(QStringLiteral("lbSummary"));
    lbSummary->setWordWrap(true);
    auto *lbHint = new QLabel(_("Click a card or press its number to leave it out; again to take it back."), this);
    lbHint->setObjectName(QStringLiteral("lbHint"));
    lbHint->setWordWrap(true);

    btSave = new QPushButton(_("Save cards"), this);
    btSave->setObjectName(QStringLiteral("btSave"));
    btCancel = new QPushButton(_("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    // Enter acts on its release, below: a pressed Enter must not reach a default button.
    btSave->setAutoDefault(false);
    btCancel->setAutoDefault(false);
    connect(btSave, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(imCards, &TFoundCardsPicture::cardClicked, this,
            [this](int Row) { RunGuarded([&] { model_->Toggle(Row); }); });
    connect(model_.get(), &TFoundCardsModel::choiceChanged, this, Guarded(this, &TfrmReviewCards::updateSummary));

    auto *side = new QVBoxLayout;
    side->addWidget(lbCards);
    side->addWidget(lvCards, 1);
    side->addWidget(lbSummary);
    side->addWidget(lbHint);
    auto *body = new QHBoxLayout;
    body->addWidget(imCards, 3);
    body->addLayout(side, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btSave);
    buttons->addWidget(btCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    updateSummary();
    QSize size(1100, 820);
    if (const QScreen *screen = Parent ? Parent->screen() : this->screen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.92);
    resize(size);
    lvCards->setFocus();
    if (model_->rowCount() > 0)
        lvCards->setCurrentIndex(model_->index(0));
}

TfrmReviewCards::~TfrmReviewCards() = default;

const std::vector<TPassCard> &TfrmReviewCards::Cards() const
{
    return model_->Cards();
}

void TfrmReviewCards::updateSummary()
{
    const int count = model_->CardsToSave();
    lbSummary->setText(count == 0 ? _("No card will be saved.")
                                  : _n("%1 card will be saved.", "%1 cards will be saved.",
                                       static_cast<unsigned long>(count))
                                        .arg(count));
    btSave->setEnabled(count > 0);
}

bool TfrmReviewCards::handleKey(QKeyEvent *Event)
{
    const bool press = Event->type() == QEvent::KeyPress;
    if (IsEnterKey(Event->key())) {
        // X11 repeats a held key, and the Enter that started the scan may still
        // be down: only a stroke that began here accepts.
        if (press) {
            if (!Event->isAutoRepeat())
                enterPressed_ = true;
        } else if (!Event->isAutoRepeat() && enterPressed_) {
            enterPressed_ = false;
            // Enter works the button that has the focus, and "Save cards" otherwise.
            if (focusWidget() == btCancel)
                reject();
            else if (btSave->isEnabled())
                accept();
        }
        return true;
    }
    if (const int number = numberKey(*Event)) {
        if (press && !Event->isAutoRepeat())
            model_->Toggle(model_->RowOfNumber(number));
        return true;
    }
    return false;
}

void TfrmReviewCards::keyPressEvent(QKeyEvent *Event)
{
    if (!handleKey(Event))
        QDialog::keyPressEvent(Event);
}

void TfrmReviewCards::keyReleaseEvent(QKeyEvent *Event)
{
    if (!handleKey(Event))
        QDialog::keyReleaseEvent(Event);
}

bool TfrmReviewCards::eventFilter(QObject *Watched, QEvent *Event)
{
    // The list would take number keys for its search and Enter for itself.
    if ((Watched == lvCards || Watched == imCards)
        && (Event->type() == QEvent::KeyPress || Event->type() == QEvent::KeyRelease)) {
        bool handled = false;
        RunGuarded([&] { handled = handleKey(static_cast<QKeyEvent *>(Event)); });
        if (handled)
            return true;
    }
    return QDialog::eventFilter(Watched, Event);
}

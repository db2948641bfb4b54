#pragma once

#include "scanning/CardPass.h"

#include <QDialog>
#include <QImage>
#include <QPolygonF>
#include <QWidget>

#include <vector>

class QLabel;
class QListView;
class QPushButton;
class TFoundCardsModel;

// The scanned glass scaled to fit, each found region outlined with its number
// and the list card it is saved as; unsure regions in red with their reason.
// A click on a card leaves it out or takes it back.
class TFoundCardsPicture : public QWidget
{
    Q_OBJECT
public:
    TFoundCardsPicture(const QImage &Glass, TFoundCardsModel &Model, QWidget *Parent = nullptr);

    // Where the glass is drawn, and the row of the region under a point of the widget (-1 for none).
    QRectF GlassRect() const;
    int RowAt(QPointF Point) const;
    // A point of the scanned glass in the widget's coordinates.
    QPointF ToWidget(QPointF GlassPoint) const;

    QSize sizeHint() const override;

signals:
    void cardClicked(int Row);

protected:
    void paintEvent(QPaintEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;

private:
    QPolygonF outline(const TPassCard &Card) const;

    QSize glassSize_;
    QImage preview_;
    TFoundCardsModel &model_;
    int pressedRow_ = -1;
};

// "Cards found": what one pass over a glass found, for the operator to check
// before anything is saved. Enter or "Save cards" accepts, Escape cancels; a
// card is left out by a click on it, on its line, or by its number key.
class TfrmReviewCards : public QDialog
{
    Q_OBJECT
public:
    TfrmReviewCards(const QImage &Glass, std::vector<TPassCard> Cards, QWidget *Parent = nullptr);
    ~TfrmReviewCards() override;

    // The cards with the operator's choices.
    const std::vector<TPassCard> &Cards() const;

    TFoundCardsPicture *imCards = nullptr;
    QListView *lvCards = nullptr;
    QLabel *lbSummary = nullptr;
    QPushButton *btSave = nullptr;
    QPushButton *btCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent *Event) override;
    void keyReleaseEvent(QKeyEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    // Takes the keys the dialog acts on; true when Event was one of them.
    bool handleKey(QKeyEvent *Event);
    void updateSummary();

    std::unique_ptr<TFoundCardsModel> model_;
    bool enterPressed_ = false;
};

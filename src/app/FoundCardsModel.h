#pragma once

#include "scanning/CardPass.h"

#include <QAbstractListModel>

#include <vector>

// The cards found on a glass, one row each in reading order: its number, the
// list card it is saved as, and why it is not saved when it is not. A card
// that can be saved has a check box: unchecked, it is left out.
class TFoundCardsModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit TFoundCardsModel(std::vector<TPassCard> Cards, QObject *Parent = nullptr);

    const std::vector<TPassCard> &Cards() const { return cards_; }
    // Leaves a savable card out, or takes it back.
    void Toggle(int Row);
    // The row of the card numbered Number, -1 when there is none.
    int RowOfNumber(int Number) const;
    int CardsToSave() const;

    int rowCount(const QModelIndex &Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &Index, int Role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &Index, const QVariant &Value, int Role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &Index) const override;

signals:
    void choiceChanged();

private:
    bool valid(const QModelIndex &Index) const;

    std::vector<TPassCard> cards_;
};

// The card's line, as the list and a screen reader give it.
QString FoundCardText(const TPassCard &Card);

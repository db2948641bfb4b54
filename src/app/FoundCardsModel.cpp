#include "app/FoundCardsModel.h"

#include "platform/MessageCatalogue.h"

#include <QBrush>
#include <QColor>

QString FoundCardText(const TPassCard &Card)
{
    const QString number = QString::number(Card.Number);
    if (Card.Unsure != TUnsureReason::None)
        return Card.Extra() ? _("%1. Not saved: %2").arg(number, DoubtText(Card.Unsure))
                            : _("%1. %2: not saved, %3").arg(number, Card.CardName, DoubtText(Card.Unsure));
    if (Card.Extra())
        return _("%1. Not saved: the list has no card left for it").arg(number);
    if (!Card.Doubt.isEmpty())
        return Card.Keep ? _("%1. %2: saved although %3").arg(number, Card.CardName, Card.Doubt)
                         : _("%1. %2: left out, %3").arg(number, Card.CardName, Card.Doubt);
    if (!Card.Keep)
        return _("%1. %2: left out").arg(number, Card.CardName);
    return _("%1. %2").arg(number, Card.CardName);
}

TFoundCardsModel::TFoundCardsModel(std::vector<TPassCard> Cards, QObject *Parent)
    : QAbstractListModel(Parent), cards_(std::move(Cards))
{
}

bool TFoundCardsModel::valid(const QModelIndex &Index) const
{
    return Index.isValid() && Index.model() == this && !Index.parent().isValid() && Index.column() == 0
           && Index.row() >= 0 && size_t(Index.row()) < cards_.size();
}

int TFoundCardsModel::rowCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : int(cards_.size());
}

QVariant TFoundCardsModel::data(const QModelIndex &Index, int Role) const
{
    if (!valid(Index))
        return {};
    const TPassCard &card = cards_[size_t(Index.row())];
    switch (Role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return FoundCardText(card);
    case Qt::CheckStateRole:
        if (card.Savable())
            return card.Keep ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        if (card.Unsure != TUnsureReason::None || !card.Doubt.isEmpty())
            return QBrush(QColor(200, 0, 0));
        if (!card.WillBeSaved())
            return QBrush(QColor(110, 110, 110));
        return {};
    default:
        return {};
    }
}

bool TFoundCardsModel::setData(const QModelIndex &Index, const QVariant &Value, int Role)
{
    if (!valid(Index) || Role != Qt::CheckStateRole || !cards_[size_t(Index.row())].Savable())
        return false;
    const bool keep = Value.toInt() == Qt::Checked;
    TPassCard &card = cards_[size_t(Index.row())];
    if (card.Keep == keep)
        return true;
    card.Keep = keep;
    emit dataChanged(Index, Index);
    emit choiceChanged();
    return true;
}

Qt::ItemFlags TFoundCardsModel::flags(const QModelIndex &Index) const
{
    if (!valid(Index))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (cards_[size_t(Index.row())].Savable())
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

void TFoundCardsModel::Toggle(int Row)
{
    if (Row < 0 || size_t(Row) >= cards_.size())
        return;
    setData(index(Row), cards_[size_t(Row)].Keep ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

int TFoundCardsModel::RowOfNumber(int Number) const
{
    for (size_t i = 0; i < cards_.size(); ++i)
        if (cards_[i].Number == Number)
            return int(i);
    return -1;
}

int TFoundCardsModel::CardsToSave() const
{
    int count = 0;
    for (const TPassCard &card : cards_)
        count += card.WillBeSaved();
    return count;
}

#include "app/CardListModel.h"

#include "catalogue/Flags.h"
#include "platform/MessageCatalogue.h"

#include <QBrush>

TCardListModel::TCardListModel(const TCardList &Cards, const QList<QImage> &Flags, QObject *Parent)
    : QAbstractTableModel(Parent), cards_(Cards), flags_(Flags)
{
}

void TCardListModel::SetRowCount(int Count)
{
    beginResetModel();
    rowCount_ = qMax(0, Count);
    endResetModel();
}

void TCardListModel::Repaint()
{
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, ColumnCount - 1));
}

TGameCard *TCardListModel::CardAt(int Row) const
{
    if (Row < 0 || Row >= rowCount_ || !cards_.InRange(Row))
        return nullptr;
    return cards_.Objects(Row);
}

int TCardListModel::rowCount(const QModelIndex &Parent) const
{
    // The list may hold more cards than are shown (a load that stopped at a bad
    // line), never fewer.
    return Parent.isValid() ? 0 : qMin(rowCount_, cards_.Count());
}

int TCardListModel::columnCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TCardListModel::data(const QModelIndex &Index, int Role) const
{
    if (!checkIndex(Index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TGameCard *card = CardAt(Index.row());
    if (!card)
        return {};
    const int column = Index.column();
    switch (Role) {
    case Qt::DisplayRole:
        switch (column) {
        case ColNo: return QString::number(card->Number);
        case ColCollectorsNo: return card->CollectorsNo;
        case ColName: return cards_.Strings(Index.row());
        case ColLang: return FromAnsi(card->Language);
        }
        break;
    case Qt::DecorationRole:
        if (column == ColLang) {
            const QImage flag = FlagImageOf(flags_, card->Language);
            if (!flag.isNull())
                return flag;
        }
        break;
    case Qt::BackgroundRole:
        return QBrush(CardRowBackground(*card, Index.row()));
    case Qt::ForegroundRole:
        if (column == ColName)
            return QBrush(ScanStatusColor(card->ScanStatus));
        break;
    default:
        break;
    }
    return {};
}

QVariant TCardListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole)
        return {};
    switch (Section) {
    case ColNo: return _("No.");
    case ColCollectorsNo: return _("Col No.");
    case ColName: return _("Name");
    case ColLang: return _("Lang");
    }
    return {};
}

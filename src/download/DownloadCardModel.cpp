#include "download/DownloadCardModel.h"

#include "catalogue/Flags.h"
#include "platform/MessageCatalogue.h"

#include <QBrush>

TDownloadCardModel::TDownloadCardModel(const TCardList &Cards, const TCardRefs &FilteredCards,
                                       const QList<QImage> &Icons, const QList<QImage> &Flags,
                                       QObject *Parent)
    : QAbstractTableModel(Parent), cards_(Cards), filtered_(FilteredCards), icons_(Icons), flags_(Flags)
{
}

void TDownloadCardModel::SetRowCount(int Count)
{
    beginResetModel();
    rowCount_ = qMax(0, Count);
    endResetModel();
}

void TDownloadCardModel::Repaint()
{
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, dcColumnCount - 1));
}

int TDownloadCardModel::CurrentCount() const
{
    return filtered_.empty() ? cards_.Count() : static_cast<int>(filtered_.size());
}

const TGameCard *TDownloadCardModel::CardAt(int Row) const
{
    if (Row < 0 || Row >= CurrentCount())
        return nullptr;
    return filtered_.empty() ? cards_.Objects(Row) : filtered_[static_cast<size_t>(Row)].Card;
}

std::vector<const TGameCard *> TDownloadCardModel::CurrentCards() const
{
    std::vector<const TGameCard *> cards;
    const int count = CurrentCount();
    cards.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row)
        cards.push_back(CardAt(row));
    return cards;
}

int TDownloadCardModel::rowCount(const QModelIndex &Parent) const
{
    // Never more rows than the current list holds, whatever count was set.
    return Parent.isValid() ? 0 : qMin(rowCount_, CurrentCount());
}

int TDownloadCardModel::columnCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : dcColumnCount;
}

QVariant TDownloadCardModel::data(const QModelIndex &Index, int Role) const
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
        case dcNumber: return QString::number(card->Number);
        case dcCollectorsNo: return card->CollectorsNo;
        case dcName: return card->Name;
        case dcRarity: return card->Rarity;
        case dcFoil: return FromAnsi(card->Foil);
        case dcType1: return card->P0;
        case dcType2: return card->P1;
        }
        break;
    case Qt::DecorationRole:
        if (column == dcLanguage) {
            const QImage flag = FlagImageOf(flags_, card->Language);
            if (!flag.isNull())
                return flag;
        } else if (column == dcScan) {
            const int icon = card->ScanFile.isEmpty() ? iconCross : iconTick;
            if (icon < icons_.size())
                return icons_[icon];
        }
        break;
    case Qt::BackgroundRole:
        return QBrush(CardRowBackground(*card, Index.row()));
    case Qt::ForegroundRole:
        if (column == dcName)
            return QBrush(ScanStatusColor(card->ScanStatus));
        break;
    default:
        break;
    }
    return {};
}

QVariant TDownloadCardModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal)
        return {};
    if (Role == Qt::DecorationRole) {
        const int icon = Section == dcLanguage ? iconQuestion : Section == dcScan ? iconScanner : -1;
        if (icon >= 0 && icon < icons_.size())
            return icons_[icon];
        return {};
    }
    if (Role != Qt::DisplayRole)
        return {};
    switch (Section) {
    case dcNumber: return _("No.");
    case dcCollectorsNo: return _("Col No.");
    case dcName: return _("Name");
    case dcRarity: return _("Rarity");
    case dcFoil: return _("Foil");
    case dcType1: return _("Type 1");
    case dcType2: return _("Type 2");
    }
    return {};
}

void TFilterListModel::Set(QStringList Texts, QList<int> Codes)
{
    beginResetModel();
    texts_ = std::move(Texts);
    codes_ = std::move(Codes);
    endResetModel();
}

int TFilterListModel::rowCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : static_cast<int>(texts_.size());
}

QVariant TFilterListModel::data(const QModelIndex &Index, int Role) const
{
    if (!Index.isValid() || Index.row() >= texts_.size())
        return {};
    if (Role == Qt::DisplayRole || Role == Qt::EditRole)
        return texts_[Index.row()];
    if (Role == Qt::UserRole && Index.row() < codes_.size())
        return codes_[Index.row()];
    return {};
}

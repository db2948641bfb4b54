#include "platform/CardGrid.h"

#include <QHeaderView>
#include <QTableView>

void SetUpCardGrid(QTableView *Grid)
{
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setShowGrid(false);
    Grid->setWordWrap(false);
    Grid->verticalHeader()->hide();
}

void TSortColumn::Click(int Column)
{
    descending_ = Column == column_ ? !descending_ : false;
    column_ = Column;
    header_->setSortIndicatorShown(true);
    header_->setSortIndicator(column_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TSortColumn::Clear()
{
    column_ = -1;
    descending_ = false;
    header_->setSortIndicatorShown(false);
}

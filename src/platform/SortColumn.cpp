#include "platform/SortColumn.h"

#include <QHeaderView>

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

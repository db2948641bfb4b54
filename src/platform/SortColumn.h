#pragma once

class QHeaderView;

// Which column a grid is sorted by, as header clicks decide it, and the header's
// sort mark that shows it.
class TSortColumn
{
public:
    explicit TSortColumn(QHeaderView *Header) : header_(Header) {}

    // The sorted column clicked again reverses the direction; another column is
    // sorted ascending. The header shows the mark.
    void Click(int Column);
    // No column sorted, no mark: the list stands in its loaded order.
    void Clear();

    int Column() const { return column_; }
    bool Descending() const { return descending_; }

private:
    QHeaderView *header_;
    int column_ = -1;
    bool descending_ = false;
};

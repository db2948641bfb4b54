#pragma once

// What the two card grids (the main window's and the download dialog's) share.

class QHeaderView;
class QTableView;

// A virtual card grid: whole rows, at most one selected, read-only, no grid lines,
// no wrapping, no row header.
void SetUpCardGrid(QTableView *Grid);

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

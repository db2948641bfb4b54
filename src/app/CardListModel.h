#pragma once

#include "catalogue/CardList.h"
#include "catalogue/CardSort.h"

#include <QAbstractTableModel>
#include <QImage>
#include <QList>

// The main window's card grid: row i shows item i of the card list. The grid
// holds only a row count, set by whoever fills the list, and asks for every cell.
class TCardListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        ColNo = ColumnNumber,
        ColCollectorsNo = ColumnCollectorsNo,
        ColName = ColumnName,
        ColLang = ColumnLanguage,
        ColumnCount = 4
    };

    TCardListModel(const TCardList &Cards, const QList<QImage> &Flags, QObject *Parent = nullptr);

    int RowCount() const { return rowCount_; }
    void SetRowCount(int Count);
    // Every cell may have changed (after the list was reordered in place).
    void Repaint();

    // The card shown in a row, or nullptr outside the list.
    TGameCard *CardAt(int Row) const;

    int rowCount(const QModelIndex &Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation,
                        int Role = Qt::DisplayRole) const override;


private:
    const TCardList &cards_;
    const QList<QImage> &flags_;
    int rowCount_ = 0;
};

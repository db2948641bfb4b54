#pragma once

#include "download/DownloadCards.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QImage>
#include <QList>

// The download dialog's card grid: row i shows card i of the current list,
// which is the filter's result when it holds a card and the full list
// otherwise. The grid keeps only a row count, set by whoever changes the lists.
class TDownloadCardModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    TDownloadCardModel(const TCardList &Cards, const TCardRefs &FilteredCards,
                       const QList<QImage> &Icons, const QList<QImage> &Flags,
                       QObject *Parent = nullptr);

    void SetRowCount(int Count);
    // Every cell may have changed (after the list was reordered in place).
    void Repaint();

    // The card in a row of the current list, or nullptr outside it.
    const TGameCard *CardAt(int Row) const;
    int CurrentCount() const;
    std::vector<const TGameCard *> CurrentCards() const;

    int rowCount(const QModelIndex &Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation,
                        int Role = Qt::DisplayRole) const override;

private:
    const TCardList &cards_;
    const TCardRefs &filtered_;
    const QList<QImage> &icons_;
    const QList<QImage> &flags_;
    int rowCount_ = 0;
};

// The entries of a filter drop-down list: texts, and for subsets the code each
// stands for (Qt::UserRole). Filled in one go, so that a set of many distinct
// values costs no item objects.
class TFilterListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Codes is empty, or holds one code per text.
    void Set(QStringList Texts, QList<int> Codes);

    int rowCount(const QModelIndex &Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &Index, int Role = Qt::DisplayRole) const override;

private:
    QStringList texts_;
    QList<int> codes_;
};

#pragma once

#include "catalogue/CardList.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The download dialog's card list logic, free of widgets: columns, sorting,
// filtering, type-ahead and the grid's colours and icons.

// A card of another list, not owned: the filter's result refers to the cards
// of the full list.
struct TCardRef
{
    QString Text;
    TGameCard *Card = nullptr;
};
using TCardRefs = std::vector<TCardRef>;

// Columns of the download grid, in their order.
enum TDownloadColumn : int {
    dcNumber = 0,        // "No."
    dcCollectorsNo = 1,  // "Col No."
    dcName = 2,          // "Name"
    dcLanguage = 3,      // the flag
    dcRarity = 4,        // "Rarity"
    dcFoil = 5,          // "Foil"
    dcType1 = 6,         // "Type 1" (P0)
    dcType2 = 7,         // "Type 2" (P1)
    dcScan = 8,          // catalogue scan icon
    dcColumnCount = 9,
};

// Pictures of the icon list, 16 x 16, drawn here rather than shipped.
enum TDownloadIcon : int {
    iconFilter = 0,       // funnel with a green plus
    iconResetFilter = 1,  // funnel with a red cross
    iconScanner = 2,
    iconTick = 3,
    iconCross = 4,
    iconQuestion = 5,
};
QList<QImage> DrawDownloadIcons();

// Texts in the order of the user's locale: Texts[result[i]] comes i-th, equal
// texts in their own order. The C locale's collation ignores the case setting,
// so there the texts are compared by code, folded when asked. One collator
// serves the whole list, however long.
std::vector<int> CatalogueTextOrder(const std::vector<QString> &Texts, Qt::CaseSensitivity Case);

// The order in which Cards are shown when sorted by Column: Cards[result[i]]
// comes i-th. Ties go by Name, then Language, both ignoring case; Descending
// reverses the whole order. A Column outside the grid keeps the list as it is.
std::vector<int> DownloadSortOrder(const std::vector<const TGameCard *> &Cards, int Column,
                                   bool Descending);

// Reorders a list by such an order.
template <typename Item>
void ApplyOrder(std::vector<Item> &Items, const std::vector<int> &Order)
{
    std::vector<Item> sorted;
    sorted.reserve(Items.size());
    for (const int index : Order)
        sorted.push_back(std::move(Items[static_cast<size_t>(index)]));
    Items = std::move(sorted);
}

// A filter list offers at most this many values. A column with more is no
// list anyone picks from: it is left out, as one with a single value is.
inline constexpr int kMaxFilterValues = 10'000;

// The distinct values the cards of a set hold, in order of first appearance;
// a column of more than kMaxFilterValues gives none.
struct TDistinctValues
{
    QStringList Languages;
    QStringList Rarities;
    QList<int> Subsets;
};

// The cards of a set's answer: one for every line with at least twelve fields
// (others are skipped), and the distinct values the filter lists offer. More
// than MaxCards cards are no set at all: reading stops, and TooMany tells.
struct TCatalogueCards
{
    TCardList Cards;
    TDistinctValues Distinct;
    bool TooMany = false;
};
TCatalogueCards ReadCatalogueCards(QByteArrayView Body, int MaxCards);

// The choices of the filter; an empty optional does not restrict.
struct TCardFilter
{
    std::optional<int> SubsetId;
    std::optional<QString> Language;
    std::optional<QString> Rarity;
    bool WithoutScan = false;   // only cards the catalogue holds no scan of
};
bool PassesFilter(const TGameCard &Card, const TCardFilter &Filter);

// The first row from Start on, wrapping round, whose name begins with Typed;
// only the letters a to z match either case. -1 when none does.
int FindNameFrom(const std::vector<const TGameCard *> &Cards, int Start, const QString &Typed);


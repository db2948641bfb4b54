#pragma once

#include "catalogue/CardList.h"

#include <QString>
#include <QtGlobal>

// Sorting and name search of card lists, as the card grids use them.

// Columns of the card grids, in their order.
enum TCardColumn : int {
    ColumnNumber = 0,         // "No."
    ColumnCollectorsNo = 1,   // "Col No."
    ColumnName = 2,           // "Name"
    ColumnLanguage = 3,       // "Lang"
};

// Sorts the items of Cards in place (each item keeps its card) by Column:
//   ColumnNumber        Number
//   ColumnCollectorsNo  CollectorsNo by the user's locale, case-sensitive
//   ColumnName          Name by the user's locale, ignoring case
//   ColumnLanguage      Language by the user's locale, case-sensitive
// Equal cards are ordered by Name, then by Language, both ignoring case.
// Descending reverses the whole order. The order of cards that are equal in all
// of these is unspecified. Any other Column leaves the list as it is.
// "The user's locale" is QLocale() when the sort starts.
void SortCards(TCardList &Cards, int Column, bool Descending);

// The first of rows 0..RowCount-1 whose item text begins with SearchText, or -1.
// Both texts are compared as 8-bit text, byte by byte over the length of the
// 8-bit SearchText, with only the letters A to Z folded to one case. Rows beyond
// the end of Cards are never tested. An empty SearchText matches the first row.
int FindCardByNamePrefix(const TCardList &Cards, int RowCount, const QString &SearchText);

// The search text of a grid's "type the start of a name" search. It knows
// nothing of the grid: the caller passes each key with the time it was pressed
// (any monotonic clock in milliseconds) and decides whether to keep the result.
//
// One key, as the grid does it:
//   const QString candidate = search.Typed(event->text(), now);   // or Backspace(now)
//   if (candidate != search.Text() && !candidate.isEmpty()) {
//       const int row = FindCardByNamePrefix(Cards, rowCount, candidate);
//       if (row < 0) { Beep(); }                        // the search text stays
//       else { search.Accept(candidate); select(row); }
//   } else {
//       search.Accept(candidate);                       // nothing to look for
//   }
class TIncrementalSearch
{
public:
    // A search text older than this many milliseconds is forgotten at the next key.
    static constexpr qint64 ResetAfterMs = 1000;

    // The search text that typing Chars at NowMs would give: the current text
    // followed by the printable characters of Chars. When more than ResetAfterMs
    // passed since the previous key, the current text has expired and is cleared
    // first (that clearing is kept). Every key counts as typing, found or not.
    QString Typed(const QString &Chars, qint64 NowMs);

    // The same for Backspace: the current text without its last character
    // (a surrogate pair counts as one); empty stays empty.
    QString Backspace(qint64 NowMs);

    // Makes Candidate the search text, normally once it was found.
    void Accept(const QString &Candidate) { text_ = Candidate; }

    const QString &Text() const { return text_; }

    // Forgets the text, e.g. when the grid gets a new list.
    void Clear();

private:
    void expire(qint64 NowMs);

    QString text_;
    qint64 lastKeyMs_ = 0;
    bool anyKey_ = false;
};

#include "catalogue/CardSort.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <climits>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct TCardRow
{
    int Number = 0;
    QString CollectorsNo;
    QString Name;
    AnsiString Language;
};

TCardList makeList(const std::vector<TCardRow> &Rows)
{
    TCardList cards;
    for (const TCardRow &row : Rows) {
        auto card = std::make_unique<TGameCard>();
        card->Number = row.Number;
        card->CollectorsNo = row.CollectorsNo;
        card->Name = row.Name;
        card->Language = row.Language;
        cards.Add(row.Name, std::move(card));
    }
    return cards;
}

TCardList namedList(const std::vector<QString> &Names)
{
    std::vector<TCardRow> cardRows;
    for (const QString &name : Names)
        cardRows.push_back({0, {}, name, {}});
    return makeList(cardRows);
}

// "name/LANG" per row, item text checked against its card on the way.
std::vector<std::string> rows(const TCardList &Cards)
{
    std::vector<std::string> result;
    for (int i = 0; i < Cards.Count(); ++i) {
        EXPECT_EQ(Cards.Strings(i), Cards.Objects(i)->Name) << "item text left its card";
        std::string row = Cards.Objects(i)->Name.toStdString();
        if (!Cards.Objects(i)->Language.isEmpty())
            row += "/" + Cards.Objects(i)->Language.toStdString();
        result.push_back(row);
    }
    return result;
}

using Rows = std::vector<std::string>;

class CardSort : public ::testing::Test
{
protected:
    void TearDown() override { QLocale::setDefault(saved_); }
    QLocale saved_;
};

TEST_F(CardSort, ByNumberWithTieBreaksAndDirection)
{
    TCardList cards = makeList({
        {3, {}, u"c"_s, "EN"},
        {1, {}, u"b"_s, "EN"},
        {2, {}, u"Same"_s, "EN"},
        {2, {}, u"same"_s, "de"},
        {2, {}, u"Alpha"_s, "PL"},
        {INT_MIN, {}, u"min"_s, "EN"},
        {INT_MAX, {}, u"max"_s, "EN"},
    });
    SortCards(cards, ColumnNumber, false);
    // Equal numbers: name ignoring case, then language ignoring case ("de" < "EN").
    EXPECT_EQ(rows(cards), (Rows{"min/EN", "b/EN", "Alpha/PL", "same/de", "Same/EN", "c/EN", "max/EN"}));

    SortCards(cards, ColumnNumber, true);
    EXPECT_EQ(rows(cards), (Rows{"max/EN", "c/EN", "Same/EN", "same/de", "Alpha/PL", "b/EN", "min/EN"}));
}

TEST_F(CardSort, ByNameIgnoresCaseByTheUserLocale)
{
    const std::vector<QString> names = {u"Madryt"_s, u"Łódź"_s, u"lublin"_s, u"Zamek"_s};

    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    TCardList polish = namedList(names);
    SortCards(polish, ColumnName, false);
    EXPECT_EQ(rows(polish), (Rows{"lublin", "Łódź", "Madryt", "Zamek"}));

    // Without regional settings, code points: Ł comes after every ASCII letter.
    QLocale::setDefault(QLocale::c());
    TCardList plain = namedList(names);
    SortCards(plain, ColumnName, false);
    EXPECT_EQ(rows(plain), (Rows{"lublin", "Madryt", "Zamek", "Łódź"}));
}

TEST_F(CardSort, ByCollectorsNumberIsCaseSensitive)
{
    const std::vector<TCardRow> cardRows = {
        {0, u"b"_s, u"1"_s, {}}, {0, u"A"_s, u"2"_s, {}},
        {0, u"a"_s, u"3"_s, {}}, {0, u"B"_s, u"4"_s, {}},
    };
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TCardList english = makeList(cardRows);
    SortCards(english, ColumnCollectorsNo, false);
    // Case only decides between otherwise equal texts: a, A, b, B.
    EXPECT_EQ(rows(english), (Rows{"3", "2", "1", "4"}));

    QLocale::setDefault(QLocale::c());
    TCardList plain = makeList(cardRows);
    SortCards(plain, ColumnCollectorsNo, false);
    EXPECT_EQ(rows(plain), (Rows{"2", "4", "3", "1"}));
}

TEST_F(CardSort, ByLanguageThenName)
{
    QLocale::setDefault(QLocale::c());
    TCardList cards = makeList({
        {0, {}, u"b"_s, "PL"}, {0, {}, u"a"_s, "PL"}, {0, {}, u"z"_s, "DE"}, {0, {}, u"c"_s, "pl"},
    });
    SortCards(cards, ColumnLanguage, false);
    // Case-sensitive: "pl" is a language of its own, after "PL" in code point order.
    EXPECT_EQ(rows(cards), (Rows{"z/DE", "a/PL", "b/PL", "c/pl"}));
    SortCards(cards, ColumnLanguage, true);
    EXPECT_EQ(rows(cards), (Rows{"c/pl", "b/PL", "a/PL", "z/DE"}));

    // A list from a file has no languages: the sort falls back to the names.
    TCardList noLanguages = namedList({u"b"_s, u"C"_s, u"a"_s});
    SortCards(noLanguages, ColumnLanguage, false);
    EXPECT_EQ(rows(noLanguages), (Rows{"a", "b", "C"}));
}

TEST_F(CardSort, UnknownColumnLeavesTheList)
{
    TCardList cards = namedList({u"b"_s, u"a"_s});
    SortCards(cards, -1, false);
    SortCards(cards, 4, true);
    EXPECT_EQ(rows(cards), (Rows{"b", "a"}));
}

// ---------------------------------------------------------------------------
// Name search

TEST(IncrementalSearch, PrefixFoldsOnlyAToZ)
{
    TCardList cards = namedList({u"Goblin"_s, u"Black Lotus"_s, u"black knight"_s, u"Łódź"_s,
                                 u"x\U0001D538"_s, u"\U0001D538z"_s});
    EXPECT_EQ(FindCardByNamePrefix(cards, cards.Count(), u"BLACK K"_s), 2);
    EXPECT_EQ(FindCardByNamePrefix(cards, cards.Count(), u"bla"_s), 1);
    EXPECT_EQ(FindCardByNamePrefix(cards, cards.Count(), u"Łó"_s), 3);
    EXPECT_EQ(FindCardByNamePrefix(cards, cards.Count(), u"łó"_s), -1);
    EXPECT_EQ(FindCardByNamePrefix(cards, cards.Count(), u"\U0001D538"_s), 5);
    EXPECT_EQ(FindCardByNamePrefix(cards, cards.Count(), u"Goblins"_s), -1);
    EXPECT_EQ(FindCardByNamePrefix(cards, cards.Count(), u""_s), 0);

    // Only rows of the grid count, and never more than the list holds.
    EXPECT_EQ(FindCardByNamePrefix(cards, 3, u"Łó"_s), -1);
    EXPECT_EQ(FindCardByNamePrefix(cards, 100, u"x"_s), 4);
    EXPECT_EQ(FindCardByNamePrefix(cards, -5, u"G"_s), -1);
}

TEST(IncrementalSearch, TypingBackspaceAndTheOneSecondReset)
{
    TIncrementalSearch search;
    search.Accept(search.Typed(u"b"_s, 10'000));
    search.Accept(search.Typed(u"L"_s, 11'000));   // exactly 1000 ms later still counts
    EXPECT_EQ(search.Text(), u"bL"_s);
    EXPECT_EQ(search.Backspace(11'500), u"b"_s);
    EXPECT_EQ(search.Text(), u"bL"_s) << "a candidate is not the search text yet";

    // More than a second of silence starts a new text, kept even if the key finds nothing.
    EXPECT_EQ(search.Typed(u"g"_s, 12'501), u"g"_s);
    EXPECT_EQ(search.Text(), u""_s);

    // Enter and Escape are no part of a name.
    EXPECT_EQ(search.Typed(u"\r"_s, 12'600), u""_s);
    EXPECT_EQ(search.Typed(QChar(0x1B) + u"a"_s, 12'700), u"a"_s);

    search.Accept(u"a\U0001D538"_s);
    EXPECT_EQ(search.Backspace(12'800), u"a"_s);
    search.Accept(u""_s);
    EXPECT_EQ(search.Backspace(12'900), u""_s);
}

} // namespace

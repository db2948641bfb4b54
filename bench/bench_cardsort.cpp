// Card grids sort and search lists of up to 100,000 cards on the user's click
// or key: both must feel instant.
#include "catalogue/CardSort.h"

#include <benchmark/benchmark.h>

#include <QLocale>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace {

constexpr int CardCount = 100'000;

// A set's worth of realistic cards, shuffled: two-word names with accents,
// a few languages, numbers with some duplicates.
TCardList makeCards(int Count)
{
    static const QString first[] = {u"Black"_s, u"Łódź"_s, u"goblin"_s, u"Ancient"_s,
                                    u"Émeraude"_s, u"storm"_s, u"Crystal"_s, u"Żar"_s};
    static const QString second[] = {u"Lotus"_s, u"Knight"_s, u"dragon"_s, u"Wall"_s,
                                     u"Sorcière"_s, u"Tower"_s, u"Spirit"_s, u"Ogień"_s};
    static const char *const languages[] = {"EN", "DE", "PL", "fr", "JP", ""};
    QRandomGenerator random(42);
    TCardList cards;
    cards.Reserve(Count);
    for (int i = 0; i < Count; ++i) {
        auto card = std::make_unique<TGameCard>();
        card->Id = i;
        card->Number = static_cast<int>(random.bounded(Count));
        card->CollectorsNo = QString::number(random.bounded(Count)) + QChar(u'a' + random.bounded(3));
        card->Name = first[random.bounded(8)] + u' ' + second[random.bounded(8)] + u' '
                     + QString::number(random.bounded(Count));
        card->Language = languages[random.bounded(6)];
        const QString text = card->Name;
        cards.Add(text, std::move(card));
    }
    return cards;
}

void sortBench(benchmark::State &State, int Column, const QLocale &Locale)
{
    const QLocale saved;
    QLocale::setDefault(Locale);
    TCardList cards = makeCards(CardCount);
    bool descending = false;
    for (auto _ : State) {
        // Alternating direction keeps every round a real reordering.
        SortCards(cards, Column, descending);
        descending = !descending;
        benchmark::ClobberMemory();
    }
    QLocale::setDefault(saved);
    State.SetItemsProcessed(State.iterations() * CardCount);
}

void BM_SortByName_Polish(benchmark::State &State)
{
    sortBench(State, ColumnName, QLocale(QLocale::Polish, QLocale::Poland));
}
void BM_SortByName_C(benchmark::State &State)
{
    sortBench(State, ColumnName, QLocale::c());
}
void BM_SortByNumber_Polish(benchmark::State &State)
{
    sortBench(State, ColumnNumber, QLocale(QLocale::Polish, QLocale::Poland));
}
void BM_SortByCollectorsNo_Polish(benchmark::State &State)
{
    sortBench(State, ColumnCollectorsNo, QLocale(QLocale::Polish, QLocale::Poland));
}
void BM_SortByLanguage_Polish(benchmark::State &State)
{
    sortBench(State, ColumnLanguage, QLocale(QLocale::Polish, QLocale::Poland));
}

// The worst case of one key: no card matches, every row is tested.
void BM_SearchNoMatch(benchmark::State &State)
{
    const TCardList cards = makeCards(CardCount);
    for (auto _ : State)
        benchmark::DoNotOptimize(FindCardByNamePrefix(cards, cards.Count(), u"Zzz"_s));
    State.SetItemsProcessed(State.iterations() * CardCount);
}

// A match near the end after the typical three typed letters.
void BM_SearchLastRow(benchmark::State &State)
{
    TCardList cards = makeCards(CardCount);
    auto last = std::make_unique<TGameCard>();
    last->Name = u"Quill"_s;
    cards.Add(u"Quill"_s, std::move(last));
    for (auto _ : State)
        benchmark::DoNotOptimize(FindCardByNamePrefix(cards, cards.Count(), u"qUi"_s));
    State.SetItemsProcessed(State.iterations() * CardCount);
}

} // namespace

BENCHMARK(BM_SortByName_Polish)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByName_C)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByNumber_Polish)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByCollectorsNo_Polish)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByLanguage_Polish)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchNoMatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchLastRow)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

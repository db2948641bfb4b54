// A set of 100,000 cards must turn from the server's answer into a filled
// grid well under a second, and sorting it must feel instant.
#include "download/CatalogueText.h"
#include "download/DownloadCardModel.h"
#include "download/DownloadCards.h"

#include "catalogue/Flags.h"
#include "catalogue/ScanStore.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

namespace {

constexpr int CardCount = 100'000;

// An answer as the catalogue sends it: UTF-8 with its signature, quoted names
// with accents, four languages, a few rarities and subsets, some foils.
QByteArray makeAnswer(int Count)
{
    static const char *const names[] = {"\"Ember Archer\"", "\"Łódź Warden\"", "\"Stone Golem\"",
                                        "\"Żar Mystic\"", "Wisp", "\"Émeraude Seer\""};
    static const char *const languages[] = {"EN", "DE", "PL", "FR"};
    static const char *const rarities[] = {"C", "U", "R", "M"};
    QByteArray body = "\xEF\xBB\xBF";
    body.reserve(Count * 70);
    for (int i = 0; i < Count; ++i) {
        body += QByteArray::number(100'000 + i) + ',' + names[i % 6] + ',' + languages[i % 4] + ','
                + QByteArray::number(i / 8) + ",01-" + QByteArray::number(i / 8) + ','
                + (i % 3 ? QByteArray() : QByteArray::number(i) + ".jpg") + ',' + rarities[i % 7 % 4]
                + ',' + (i % 5 ? "" : "FOIL") + ',' + (i % 9 ? "0" : "10") + ",Creature,Human,\r\n";
    }
    return body;
}

void BM_AnswerToGrid(benchmark::State &State)
{
    const QByteArray answer = makeAnswer(CardCount);
    const QList<QImage> icons = DrawDownloadIcons();
    const QList<QImage> flags = DrawFlagImages();
    for (auto _ : State) {
        TCardList cards;
        TCardRefs filtered;
        const TDistinctValues distinct =
            ReadCatalogueCards(SplitCatalogueLines(DecodeCatalogueBody(answer)), cards);
        TDownloadCardModel model(cards, filtered, icons, flags);
        model.SetRowCount(cards.Count());
        benchmark::DoNotOptimize(model.data(model.index(cards.Count() - 1, dcName)));
        benchmark::DoNotOptimize(distinct.Languages.size());
        if (cards.Count() != CardCount)
            State.SkipWithError("cards lost");
    }
}
BENCHMARK(BM_AnswerToGrid)->Unit(benchmark::kMillisecond);

// Part of opening a set: every card asks the scan store for its local scans.
void BM_MarkLocalScans(benchmark::State &State)
{
    TCardList cards;
    ReadCatalogueCards(SplitCatalogueLines(DecodeCatalogueBody(makeAnswer(CardCount))), cards);
    TGame game;
    game.Code = QStringLiteral("benchgame");
    TExpansion expansion;
    expansion.Code = QStringLiteral("benchset");
    for (auto _ : State)
        MarkLocalScans(&game, &expansion, cards, 0);
}
BENCHMARK(BM_MarkLocalScans)->Unit(benchmark::kMillisecond);

void BM_SortByRarity(benchmark::State &State)
{
    TCardList cards;
    ReadCatalogueCards(SplitCatalogueLines(DecodeCatalogueBody(makeAnswer(CardCount))), cards);
    std::vector<const TGameCard *> current;
    for (const TCardItem &item : cards.Items())
        current.push_back(item.Card.get());
    for (auto _ : State)
        benchmark::DoNotOptimize(DownloadSortOrder(current, dcRarity, false));
}
BENCHMARK(BM_SortByRarity)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // The icons are painted with fonts, which need a GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// A station reads a list's scan status again (F5, or back at the window) from a
// store other stations write to: a 480-card set on a store of 10,000 files must
// take well under 100 ms.
#include "catalogue/ScanStore.h"
#include "catalogue/StoreFolder.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr int kSetCards = 480;
constexpr int kStoreFiles = 10000;

struct TSharedStore
{
    QTemporaryDir Dir;
    TGame Game;
    TExpansion Set;
    TCardList Cards;

    TSharedStore()
    {
        SetStoreFolder(Dir.path());
        Game.Code = QStringLiteral("ivc");
        Set.Code = QStringLiteral("fdw");
        for (int i = 0; i < kSetCards; ++i) {
            auto card = std::make_unique<TGameCard>();
            card->Id = 1000 + i;
            card->Name = QStringLiteral("Card %1").arg(i);
            const QString name = card->Name;
            Cards.Add(name, std::move(card));
        }
        // Half of the set is scanned, the rest of the files belong to other sets.
        int files = 0;
        const TStorePaths set = GetStorePaths(&Game, &Set);
        for (int i = 0; i < kSetCards; i += 2) {
            touch(set.HqDir, QStringLiteral("%1.jpg").arg(1000 + i));
            touch(set.WebDir, QStringLiteral("%1.jpg").arg(1000 + i));
            files += 2;
        }
        for (int other = 0; files < kStoreFiles; ++other) {
            TExpansion otherSet;
            otherSet.Code = QStringLiteral("s%1").arg(other);
            const TStorePaths paths = GetStorePaths(&Game, &otherSet);
            for (int i = 0; i < 500 && files < kStoreFiles; ++i, files += 2) {
                touch(paths.MqDir, QStringLiteral("%1.jpg").arg(i));
                touch(paths.WebDir, QStringLiteral("%1.jpg").arg(i));
            }
        }
    }
    ~TSharedStore() { SetStoreFolder(QString()); }

    static void touch(const QString &Folder, const QString &Name)
    {
        QDir().mkpath(Folder);
        QFile file(Folder + Name);
        file.open(QIODevice::WriteOnly);
        file.write("x");
    }
};

void BM_RefreshScanStatus(benchmark::State &State)
{
    TSharedStore store;
    for (auto _ : State) {
        MarkLocalScans(&store.Game, &store.Set, store.Cards, 0);
        benchmark::DoNotOptimize(store.Cards.Items().data());
    }
    if (store.Cards.Objects(0)->ScanStatus != ScanHQ || store.Cards.Objects(1)->ScanStatus != ScanNone)
        State.SkipWithError("the statuses read back are wrong");
    State.counters["cards"] = kSetCards;
    State.counters["store_files"] = kStoreFiles;
}

} // namespace

BENCHMARK(BM_RefreshScanStatus)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

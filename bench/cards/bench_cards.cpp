// The scan guard's cost on one card scanned at 300 dpi, against a goal of
// 20 ms: the checks a scan waits for before it is saved.
//
// The card finder's cost on the largest glass a shop scans: nine cards on an
// A4 glass at 600 dpi (4960 x 7016), found and each cut straight. The goal is
// to cost no more than saving the same glass as the quality-95 JPEG, so the
// run reports the ratio of the two, measured side by side.
#include "../../tests/cards/GuardCorpus.h"

#include "cards/CardFinder.h"
#include "cards/ScanGuard.h"
#include "output/JpegEncoder.h"
#include "output/ScanOutput.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <chrono>

namespace {

struct TScene
{
    TGlassLayout Layout;
    QImage Glass;
};

const TScene &scene()
{
    static const TScene made = [] {
        TScene scene;
        scene.Layout = RandomGlass(23, 600, 9, 3, 3);
        scene.Glass = RenderGlass(scene.Layout).Image;
        return scene;
    }();
    return made;
}

int findAndCut(const TScene &Scene)
{
    int cut = 0;
    for (const TFoundCard &card : FindCards(Scene.Glass, Scene.Layout.Dpi, Scene.Layout.Card))
        if (card.Sure())
            cut += CutCard(Scene.Glass, card, Scene.Layout.Dpi, Scene.Layout.Card).isNull() ? 0 : 1;
    return cut;
}

double seconds(std::chrono::steady_clock::duration Duration)
{
    return std::chrono::duration<double>(Duration).count();
}

void BM_FindAndCutNineCards(benchmark::State &State)
{
    const TScene &s = scene();
    int cut = 0;
    for (auto _ : State)
        benchmark::DoNotOptimize(cut = findAndCut(s));
    State.counters["cards"] = cut;
}
BENCHMARK(BM_FindAndCutNineCards)->Unit(benchmark::kMillisecond)->MinTime(3);

// Finding alone: the cut is a bicubic resampling of every card's pixels.
void BM_FindNineCards(benchmark::State &State)
{
    const TScene &s = scene();
    for (auto _ : State)
        benchmark::DoNotOptimize(FindCards(s.Glass, s.Layout.Dpi, s.Layout.Card).size());
}
BENCHMARK(BM_FindNineCards)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_EncodeGlassAsJpeg95(benchmark::State &State)
{
    const TScene &s = scene();
    TJpegEncoder encoder;
    for (auto _ : State)
        benchmark::DoNotOptimize(encoder.Encode(s.Glass, kHqJpegQuality).Size());
}
BENCHMARK(BM_EncodeGlassAsJpeg95)->Unit(benchmark::kMillisecond)->MinTime(3);

// All in turn within each iteration, so that a busy machine slows them alike;
// "ratio" is finding and cutting over encoding (goal: at most 1), "find_ratio"
// finding alone over encoding.
void BM_RatioToJpeg95(benchmark::State &State)
{
    const TScene &s = scene();
    TJpegEncoder encoder;
    double finding = 0;
    double cutting = 0;
    double encoding = 0;
    for (auto _ : State) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<TFoundCard> found = FindCards(s.Glass, s.Layout.Dpi, s.Layout.Card);
        const auto found_at = std::chrono::steady_clock::now();
        for (const TFoundCard &card : found)
            if (card.Sure())
                benchmark::DoNotOptimize(CutCard(s.Glass, card, s.Layout.Dpi, s.Layout.Card).isNull());
        const auto cut_at = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(encoder.Encode(s.Glass, kHqJpegQuality).Size());
        const auto end = std::chrono::steady_clock::now();
        finding += seconds(found_at - start);
        cutting += seconds(cut_at - found_at);
        encoding += seconds(end - cut_at);
    }
    const double n = double(State.iterations());
    State.counters["find_ms"] = 1000 * finding / n;
    State.counters["cut_ms"] = 1000 * cutting / n;
    State.counters["jpeg95_ms"] = 1000 * encoding / n;
    State.counters["ratio"] = encoding > 0 ? (finding + cutting) / encoding : 0;
    State.counters["find_ratio"] = encoding > 0 ? finding / encoding : 0;
}
BENCHMARK(BM_RatioToJpeg95)->Unit(benchmark::kMillisecond)->MinTime(5);

struct TGuardScene
{
    QImage Previous;   // as the workflow keeps it: the small copy
    QImage Scan;
};

const TGuardScene &guardScene()
{
    static const TGuardScene made = [] {
        const TGlassLayout first = CardOnArea(CardSet(TCardDesign::DarkBorder, 31, 1).front(), 300, false, 3101);
        return TGuardScene{GuardPicture(RenderGlass(first).Image), RenderGlass(Rescan(first, 3102)).Image};
    }();
    return made;
}

// What a scan costs before it is saved: its small copy made once, compared
// with the card saved before it and looked at for an empty area.
void BM_GuardOneCardAt300Dpi(benchmark::State &State)
{
    const TGuardScene &s = guardScene();
    for (auto _ : State) {
        const QImage small = GuardPicture(s.Scan);
        benchmark::DoNotOptimize(SameCard(s.Previous, small).Score + EmptyArea(small).Score);
    }
}
BENCHMARK(BM_GuardOneCardAt300Dpi)->Unit(benchmark::kMillisecond)->MinTime(2);

} // namespace

int main(int argc, char **argv)
{
    // The corpus draws its cards with QPainter.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

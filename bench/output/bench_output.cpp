// The operator waits for both scan files between two cards: the full-size
// JPEG and the resampled, watermarked web copy, here for a 300 dpi card, a
// 600 dpi card and a 600 dpi A4 page, one after the other and on two cores.
#include "output/AtomicFile.h"
#include "output/Resampler.h"
#include "output/ScanOutput.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <map>

namespace {

struct TPage
{
    const char *Name;
    int Width;
    int Height;
    int LongSide; // the web copy's, as at 150 dpi
};

constexpr TPage kPages[] = {
    {"card 300 dpi", 750, 1050, 1050 / 2},
    {"card 600 dpi", 1500, 2100, 2100 / 4},
    {"A4 600 dpi", 4960, 7016, 7016 / 4},
};

const QString kWatermark = QStringLiteral("vellumora.example");

// A scan-like picture: smooth shading with sensor noise, 32-bit as the
// scanner's native transfer delivers it. Made once per size.
const QImage &Scan(const TPage &Page)
{
    static std::map<int, QImage> Made;
    QImage &Image = Made[Page.Width];
    if (Image.isNull()) {
        Image = QImage(Page.Width, Page.Height, QImage::Format_RGB32);
        QRandomGenerator Random(Page.Width);
        for (int y = 0; y < Page.Height; ++y) {
            auto *Row = reinterpret_cast<QRgb *>(Image.scanLine(y));
            for (int x = 0; x < Page.Width; ++x) {
                const int Noise = int(Random.bounded(16));
                Row[x] = qRgb((x * 255 / Page.Width + Noise) & 255, (y * 255 / Page.Height + Noise) & 255,
                              ((x + y) / 8 + Noise) & 255);
            }
        }
    }
    return Image;
}

double RatioOf(const QImage &Image)
{
    return double(Image.width()) / Image.height();
}

void BM_SaveHqThenWeb(benchmark::State &State)
{
    const TPage &Page = kPages[State.range(0)];
    const QImage &Picture = Scan(Page);
    QTemporaryDir Dir;
    const QString Hq = Dir.filePath(QStringLiteral("hq.jpg"));
    const QString Web = Dir.filePath(QStringLiteral("web.jpg"));
    for (auto _ : State) {
        WriteHqJpeg(Picture, Hq);
        WriteWebJpeg(Picture, Page.LongSide, kWebJpegQuality, Web, RatioOf(Picture), kWatermark);
    }
    State.SetLabel(Page.Name);
}

void BM_SaveHqAndWebOnTwoCores(benchmark::State &State)
{
    const TPage &Page = kPages[State.range(0)];
    const QImage &Picture = Scan(Page);
    QTemporaryDir Dir;
    const QString Hq = Dir.filePath(QStringLiteral("hq.jpg"));
    const QString Web = Dir.filePath(QStringLiteral("web.jpg"));
    for (auto _ : State) {
        TAtomicFile HqFile(Hq);
        TAtomicFile WebFile(Web);
        EncodeHqAndWeb(Picture, HqFile, WebFile, Page.LongSide, kWebJpegQuality, RatioOf(Picture),
                       kWatermark);
        HqFile.Commit();
        WebFile.Commit();
    }
    State.SetLabel(Page.Name);
}

void BM_ResampleOnly(benchmark::State &State)
{
    const TPage &Page = kPages[State.range(0)];
    const QImage &Picture = Scan(Page);
    const QSize Size = WebCopySize(Page.LongSide, RatioOf(Picture));
    for (auto _ : State)
        benchmark::DoNotOptimize(ResampleLanczos3(Picture, Size));
    State.SetLabel(Page.Name);
}

BENCHMARK(BM_SaveHqThenWeb)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveHqAndWebOnTwoCores)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResampleOnly)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    // The watermark's fonts need a GUI application, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication App(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

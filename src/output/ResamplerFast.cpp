// The fast path of the Lanczos-3 resampler. Summation order does not matter to
// integer sums, so this path runs the vertical pass first (straight across
// whole rows, which vectorises well) and folds each destination row's
// horizontal pass right after it while the row is still in cache.
#include "output/Resampler.h"

#include "platform/AppError.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

// One destination pixel reads a contiguous run of source pixels. Taps moved
// onto the edge merge into the edge pixel and dropped taps become zeros; both
// leave every integer sum unchanged.
struct TRuns
{
    std::vector<int> Start;
    std::vector<int> Count;
    std::vector<int> Offset;
    std::vector<std::int32_t> Weights;
};

TRuns ToRuns(const TAxisTaps &Axis)
{
    TRuns Runs;
    const std::size_t Pixels = Axis.First.size() - 1;
    Runs.Start.reserve(Pixels);
    Runs.Count.reserve(Pixels);
    Runs.Offset.reserve(Pixels);
    for (std::size_t i = 0; i < Pixels; ++i) {
        const int Low = Axis.Taps[Axis.First[i]].Index;
        const int High = Axis.Taps[Axis.First[i + 1] - 1].Index;
        Runs.Start.push_back(Low);
        Runs.Count.push_back(High - Low + 1);
        Runs.Offset.push_back(static_cast<int>(Runs.Weights.size()));
        Runs.Weights.resize(Runs.Weights.size() + (High - Low + 1), 0);
        std::int32_t *W = Runs.Weights.data() + Runs.Offset.back();
        for (int k = Axis.First[i]; k < Axis.First[i + 1]; ++k)
            W[Axis.Taps[k].Index - Low] += Axis.Taps[k].Weight;
    }
    return Runs;
}

using TVec4 = std::int32_t __attribute__((vector_size(16)));

// Weighted sum of Count source rows, every byte of the row on its own.
// Worst case of a sum: 255 times the sum of the weights' magnitudes, which
// stays far below 2^31 after both passes (the magnitudes stay under 1300).
__attribute__((target_clones("avx2", "default")))
void SumRows(std::int32_t *__restrict Acc, const uchar *__restrict First, qsizetype Stride,
             const std::int32_t *__restrict Weights, int Count, int Length)
{
    // Blocks keep the sums in the first-level cache while every row adds in.
    constexpr int kBlock = 2048;
    for (int x0 = 0; x0 < Length; x0 += kBlock) {
        const int N = std::min(kBlock, Length - x0);
        std::int32_t *__restrict A = Acc + x0;
        std::fill(A, A + N, 0);
        int k = 0;
        for (; k + 1 < Count; k += 2) {
            const std::int32_t W0 = Weights[k];
            const std::int32_t W1 = Weights[k + 1];
            const uchar *__restrict R0 = First + k * Stride + x0;
            const uchar *__restrict R1 = R0 + Stride;
            for (int x = 0; x < N; ++x)
                A[x] += W0 * R0[x] + W1 * R1[x];
        }
        if (k < Count) {
            const std::int32_t W0 = Weights[k];
            const uchar *__restrict R0 = First + k * Stride + x0;
            for (int x = 0; x < N; ++x)
                A[x] += W0 * R0[x];
        }
    }
}

// Channels is 4 for 32-bit sources (blue, green, red, alpha in memory) and 3
// for 24-bit ones (red, green, blue in memory; opaque). Sums carries one spare
// value at its end, since the 24-bit case reads four values per pixel.
template <int Channels>
__attribute__((target_clones("avx2", "default")))
void SumColumns(uchar *__restrict Out, const std::int32_t *__restrict Sums, const TRuns &Runs)
{
    const int Pixels = static_cast<int>(Runs.Start.size());
    for (int i = 0; i < Pixels; ++i) {
        const std::int32_t *P = Sums + Runs.Start[i] * Channels;
        const std::int32_t *W = Runs.Weights.data() + Runs.Offset[i];
        TVec4 Sum = {0, 0, 0, 0};
        for (int k = 0, n = Runs.Count[i]; k < n; ++k) {
            TVec4 V;
            std::memcpy(&V, P + k * Channels, sizeof V);
            Sum += W[k] * V;
        }
        Sum >>= 16;
        Sum = Sum < 0 ? 0 : Sum;
        Sum = Sum > 255 ? 255 : Sum;
        if constexpr (Channels == 4) {
            Out[0] = static_cast<uchar>(Sum[0]);
            Out[1] = static_cast<uchar>(Sum[1]);
            Out[2] = static_cast<uchar>(Sum[2]);
            Out[3] = static_cast<uchar>(Sum[3]);
        } else {
            Out[0] = static_cast<uchar>(Sum[2]);
            Out[1] = static_cast<uchar>(Sum[1]);
            Out[2] = static_cast<uchar>(Sum[0]);
            Out[3] = 255;
        }
        Out += 4;
    }
}

struct TPlanes
{
    const uchar *Source;
    qsizetype SourceStride;
    int SourceWidth;
    uchar *Result;
    qsizetype ResultStride;
};

template <int Channels>
void ResampleRows(const TPlanes &Planes, const TRuns &Across, const TRuns &Down, int FirstRow,
                  int EndRow, std::int32_t *Sums)
{
    const qsizetype Stride = Planes.SourceStride;
    for (int y = FirstRow; y < EndRow; ++y) {
        SumRows(Sums, Planes.Source + Down.Start[y] * Stride, Stride,
                Down.Weights.data() + Down.Offset[y], Down.Count[y],
                Planes.SourceWidth * Channels);
        SumColumns<Channels>(Planes.Result + y * Planes.ResultStride, Sums, Across);
    }
}

} // namespace

QImage ResampleLanczos3(const QImage &Picture, QSize Size, int Threads)
{
    QImage Source = Picture;
    const bool Bytes24 = Source.format() == QImage::Format_RGB888
                         && Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    if (!Bytes24 && Source.format() != QImage::Format_ARGB32
        && Source.format() != QImage::Format_RGB32)
        Source = Source.convertToFormat(QImage::Format_ARGB32);
    if (Source.isNull() || Size.isEmpty())
        throw EAppError(QStringLiteral("Cannot resample an empty image"));

    const TRuns Across = ToRuns(ComputeAxisTaps(Source.width(), Size.width()));
    const TRuns Down = ToRuns(ComputeAxisTaps(Source.height(), Size.height()));
    QImage Result(Size, QImage::Format_ARGB32);
    if (Result.isNull())
        throw EAppError(QStringLiteral("Out of memory"));

    if (Threads <= 0)
        Threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // Small pictures are not worth a thread.
    const qint64 Work = qint64(Size.height()) * Source.width();
    Threads = static_cast<int>(std::clamp<qint64>(Work / 200000, 1, Threads));
    Threads = std::min(Threads, Size.height());

    const std::size_t SumsLength = std::size_t(Source.width()) * 4 + 1;
    std::vector<std::vector<std::int32_t>> Sums(Threads, std::vector<std::int32_t>(SumsLength));
    // Threads share nothing but read-only inputs; each writes its own band of rows.
    const TPlanes Planes{Source.constBits(), Source.bytesPerLine(), Source.width(), Result.bits(),
                         Result.bytesPerLine()};
    auto Band = [&](int Part) noexcept {
        const int First = int(qint64(Size.height()) * Part / Threads);
        const int End = int(qint64(Size.height()) * (Part + 1) / Threads);
        if (Bytes24)
            ResampleRows<3>(Planes, Across, Down, First, End, Sums[Part].data());
        else
            ResampleRows<4>(Planes, Across, Down, First, End, Sums[Part].data());
    };
    std::vector<std::thread> Helpers;
    for (int Part = 1; Part < Threads; ++Part) {
        try {
            Helpers.emplace_back(Band, Part);
        } catch (const std::system_error &) {
            Band(Part); // no thread to be had: do the band here
        }
    }
    Band(0);
    for (std::thread &Helper : Helpers)
        Helper.join();
    return Result;
}

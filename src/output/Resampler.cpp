#include "output/Resampler.h"

#include "platform/AppError.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

// JPEG's own limit on either side.
constexpr double kMaxJpegSide = 65500;

float Sinc(float X)
{
    if (X == 0.0f)
        return 1.0f;
    const float PiX = 3.14159265358979323846f * X;
    return std::sin(PiX) / PiX;
}

float Lanczos3(float X)
{
    if (!(std::fabs(X) < 3.0f))
        return 0.0f;
    return Sinc(X) * Sinc(X / 3.0f);
}

int RoundHalfEven(double Value)
{
    // The default rounding mode is to nearest, ties to even.
    return static_cast<int>(std::nearbyint(Value));
}

} // namespace

QSize WebCopySize(int LongSide, double Ratio)
{
    if (!std::isfinite(Ratio) || Ratio <= 0.0)
        throw EAppError(QStringLiteral("Invalid image ratio"));
    double Width;
    double Height;
    if (Ratio > 1.0) {
        Width = LongSide;
        Height = LongSide / Ratio;
    } else {
        Width = LongSide * Ratio;
        Height = LongSide;
    }
    Width = std::nearbyint(Width);
    Height = std::nearbyint(Height);
    if (Width > kMaxJpegSide || Height > kMaxJpegSide)
        throw EAppError(QStringLiteral("Maximum supported image dimension is 65500 pixels"));
    return QSize(std::max(1, static_cast<int>(Width)), std::max(1, static_cast<int>(Height)));
}

TAxisTaps ComputeAxisTaps(int SourceLength, int DestinationLength)
{
    TAxisTaps Axis;
    Axis.First.reserve(DestinationLength + 1);
    const double Scale = static_cast<double>(DestinationLength) / SourceLength;
    const bool Reducing = Scale < 1.0;
    const double Reach = Reducing ? 3.0 / Scale : 3.0;
    std::vector<float> Real;
    for (int i = 0; i < DestinationLength; ++i) {
        Axis.First.push_back(static_cast<int>(Axis.Taps.size()));
        const double Centre = (i + 0.5) / Scale - 0.5;
        const int Low = static_cast<int>(std::floor(Centre - Reach));
        const int High = static_cast<int>(std::ceil(Centre + Reach));
        Real.clear();
        bool AnyWeight = false;
        for (int j = Low; j <= High; ++j) {
            const float W = Reducing
                ? static_cast<float>(Scale) * Lanczos3(static_cast<float>(Scale * (Centre - j)))
                : Lanczos3(static_cast<float>(Centre - j));
            Real.push_back(W);
            AnyWeight = AnyWeight || W != 0.0f;
        }
        const std::size_t Begin = Axis.Taps.size();
        if (AnyWeight) {
            int Sum = 0;
            for (int j = Low; j <= High; ++j) {
                const int W = RoundHalfEven(static_cast<double>(Real[j - Low]) * 256.0);
                if (W != 0) {
                    Axis.Taps.push_back({j, W});
                    Sum += W;
                }
            }
            if (Axis.Taps.size() > Begin)
                Axis.Taps[Begin + (Axis.Taps.size() - Begin - 1) / 2].Weight += 256 - Sum;
        }
        // Every weight rounded away (a very strong reduction): without this the
        // pixel would come out black.
        if (Axis.Taps.size() == Begin)
            Axis.Taps.push_back({static_cast<int>(std::floor(Centre)), 256});
        for (std::size_t k = Begin; k < Axis.Taps.size(); ++k)
            Axis.Taps[k].Index = std::clamp(Axis.Taps[k].Index, 0, SourceLength - 1);
    }
    Axis.First.push_back(static_cast<int>(Axis.Taps.size()));
    return Axis;
}

QImage ResampleReference(const QImage &Source, QSize Size)
{
    const int SourceWidth = Source.width();
    const int SourceHeight = Source.height();
    const TAxisTaps Across = ComputeAxisTaps(SourceWidth, Size.width());
    const TAxisTaps Down = ComputeAxisTaps(SourceHeight, Size.height());

    // Horizontal pass into unrounded 64-bit sums, four channels per pixel.
    std::vector<std::int64_t> Between(static_cast<std::size_t>(SourceHeight) * Size.width() * 4);
    for (int y = 0; y < SourceHeight; ++y) {
        const uchar *Row = Source.constScanLine(y);
        for (int i = 0; i < Size.width(); ++i) {
            for (int c = 0; c < 4; ++c) {
                std::int64_t Sum = 0;
                for (int k = Across.First[i]; k < Across.First[i + 1]; ++k)
                    Sum += std::int64_t(Across.Taps[k].Weight) * Row[Across.Taps[k].Index * 4 + c];
                Between[(std::size_t(y) * Size.width() + i) * 4 + c] = Sum;
            }
        }
    }

    QImage Result(Size, QImage::Format_ARGB32);
    if (Result.isNull())
        throw EAppError(QStringLiteral("Out of memory"));
    for (int i = 0; i < Size.height(); ++i) {
        uchar *Out = Result.scanLine(i);
        for (int x = 0; x < Size.width() * 4; ++x) {
            std::int64_t Sum = 0;
            for (int k = Down.First[i]; k < Down.First[i + 1]; ++k)
                Sum += std::int64_t(Down.Taps[k].Weight)
                       * Between[std::size_t(Down.Taps[k].Index) * Size.width() * 4 + x];
            Out[x] = static_cast<uchar>(std::clamp<std::int64_t>(Sum / 65536, 0, 255));
        }
    }
    return Result;
}

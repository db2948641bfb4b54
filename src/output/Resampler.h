#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <vector>

// Lanczos-3 resampling of 32-bit pixels (blue, green, red, alpha in memory).
// All arithmetic after the weights is integer, so the fast path and the plain
// reference must agree to the last bit; the test holds them to that.

// The web copy's size for a long side and a width-to-height ratio, halves
// rounded to even. Each side is at least one pixel: a zero-sized image cannot
// be encoded, and a sliver of a picture is better than an error. Throws
// EAppError when a side would exceed what a JPEG file can hold.
QSize WebCopySize(int LongSide, double Ratio);

// The source pixels and weights of every destination pixel along one axis.
// Weights are in 256ths and sum to exactly 256 for each destination pixel.
struct TAxisTaps
{
    struct TTap
    {
        int Index;   // source pixel, already moved onto the edge when outside
        int Weight;
    };
    // Taps of destination pixel i are Taps[First[i]] .. Taps[First[i + 1] - 1].
    std::vector<int> First;
    std::vector<TTap> Taps;
};

TAxisTaps ComputeAxisTaps(int SourceLength, int DestinationLength);

// The plain definition, kept as the yardstick for the fast path: horizontal
// pass, then vertical pass, 64-bit sums, one division at the end.
// Source must be Format_ARGB32 or Format_RGB32; the result is Format_ARGB32.
QImage ResampleReference(const QImage &Source, QSize Size);

// The fast path. Source may be Format_ARGB32, Format_RGB32 or Format_RGB888
// (taken as opaque); the result is Format_ARGB32 and equals ResampleReference
// of the same picture in 32 bits. Threads <= 0 uses every core.
QImage ResampleLanczos3(const QImage &Source, QSize Size, int Threads = 0);

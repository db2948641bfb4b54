#pragma once

// What the fault writer saves, made from a seed: the test and the writer make
// the same content, so the test knows what a whole earlier or later save holds.

#include "scanareas/ScanArea.h"

#include <QImage>

#include <vector>

inline QImage FaultScanPicture(int Seed)
{
    // Blocks of noise: a realistic compressed size, so the file takes many writes.
    QImage picture(400, 560, QImage::Format_RGB32);
    quint32 state = 2463534242u * quint32(Seed);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            picture.setPixel(x, y, qRgb(x / 4 + Seed * 40, int(state & 0xFF), y / 4));
        }
    return picture;
}

inline std::vector<TScanArea> FaultScanAreas(int Seed)
{
    std::vector<TScanArea> areas;
    for (int i = 0; i < Seed + 2; ++i)
        areas.push_back({QStringLiteral("Area %1").arg(i), i % 2 ? 300 : 600, quint8(i % 2),
                         0.5 * Seed, 0.25 * i, 6.3 + Seed, 8.8 + i});
    return areas;
}

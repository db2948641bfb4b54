#pragma once

#include <QImage>
#include <QString>

// The web copy is marked only when it is big enough for the text to leave
// the picture readable, and only when a text is set.
bool WatermarkWanted(int LongSide, const QString &Text);

// Black text with a white shadow one pixel right and down, in the lower left
// corner: "Arial" (Liberation Sans through fontconfig) at 10 points on a
// 96 dpi screen, anti-aliased. Needs a QGuiApplication for its fonts.
void DrawWatermark(QImage &Picture, const QString &Text);

#include "output/Watermark.h"

#include "platform/AnsiText.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

bool WatermarkWanted(int LongSide, const QString &Text)
{
    return LongSide > 100 && !Text.isEmpty();
}

void DrawWatermark(QImage &Picture, const QString &Text)
{
    // The text as a file would store it: characters outside the code page
    // do not survive, here as everywhere else.
    const QString Shown = FromAnsi(ToAnsi(Text));

    QFont Font(QStringLiteral("Arial"));
    // 10 points on a 96 dpi screen; a fixed pixel size keeps every web copy
    // alike whatever the display of the machine says.
    Font.setPixelSize(13);
    Font.setBold(false);
    Font.setItalic(false);
    Font.setUnderline(false);
    Font.setStyleStrategy(QFont::PreferAntialias);
    const QFontMetrics Metrics(Font);
    const int X = 3;
    const int Y = Picture.height() - 5 - Metrics.height();

    QPainter Painter(&Picture);
    Painter.setRenderHint(QPainter::TextAntialiasing, true);
    Painter.setFont(Font);
    Painter.setPen(QColor(255, 255, 255));
    Painter.drawText(QPoint(X + 2, Y + 2 + Metrics.ascent()), Shown);
    Painter.setPen(QColor(0, 0, 0));
    Painter.drawText(QPoint(X + 1, Y + 1 + Metrics.ascent()), Shown);
}

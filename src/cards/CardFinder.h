#pragma once

// Finds the cards on a scanned glass (or in a scan area) when their size is
// known, and cuts each one out straightened.
//
// Cards lie roughly upright (within 15 degrees) on a white or a black lid and
// do not overlap. A card is "sure" only when everything about it adds up: its
// sides have the card's size, it lies wholly inside the image, no other region
// overlaps it and its edges show clearly. Anything else is reported as unsure
// with its reason, so that no caller ever cuts a doubtful region silently.
//
// Coordinates are continuous image coordinates: the image spans 0 to width and
// 0 to height, and pixel (i, j) has its centre at (i + 0.5, j + 0.5).

#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>

#include <array>
#include <vector>

struct TCardSize
{
    double WidthMm = 0;
    double HeightMm = 0;
};

// The pixel size a card is cut to: round(mm / 25.4 * dpi) a side.
QSize CardPixelSize(TCardSize Size, double Dpi);

enum class TUnsureReason {
    None,
    Size,        // a side differs from the card size by more than 5%
    ImageEdge,   // the region reaches the image's edge
    Overlap,     // regions overlap
    WeakEdges,   // the card's edges do not show clearly enough to place it
};

// A short English text for the reason, as the tool prints it.
const char *UnsureReasonText(TUnsureReason Reason);

struct TFoundCard
{
    // Top-left, top-right, bottom-right and bottom-left corner of the upright card.
    std::array<QPointF, 4> Corners;
    double AngleDegrees = 0;   // how far the card is turned, clockwise positive
    TUnsureReason Unsure = TUnsureReason::None;

    bool Sure() const { return Unsure == TUnsureReason::None; }
};

// Every card region of Image, sure and unsure, in reading order: rows from top
// to bottom (regions whose vertical extents overlap by half of the shorter one
// form a row), left to right within a row. An image without cards, or a null
// image, gives none.
std::vector<TFoundCard> FindCards(const QImage &Image, double Dpi, TCardSize Size);

// The card straightened and cut to CardPixelSize with bicubic interpolation,
// in Image's pixel format (32-bit or 24-bit RGB; other formats are converted to
// 32-bit first).
QImage CutCard(const QImage &Image, const TFoundCard &Card, double Dpi, TCardSize Size);

// Orders regions for reading; shared by everything that lists found cards.
void SortInReadingOrder(std::vector<TFoundCard> &Cards);

#pragma once

// Two looks at a scan before it is saved, for the two slips that cost a shop
// most: Enter pressed before the card was swapped (the previous card scanned
// again, saved under the next card's name) and Enter on an empty glass.
//
// Both work on a small copy of the picture (GuardPicture), so they cost a few
// milliseconds whatever the resolution, and need no resolution: a scan of the
// same area at another resolution compares as it should. Pictures of areas of
// another shape are never taken for the same card.

#include <QImage>

struct TGuardScore
{
    bool Yes = false;
    double Score = 0;   // 0 to 1; Yes from 0.5 up
};

// Whether Scan shows the same physical card as Previous: moved by a few
// millimetres, turned by a few degrees, with other scanner noise, dust and
// exposure. Cards of one set share frame, colours and layout; they differ in
// art and text, and that is enough to tell them apart.
TGuardScore SameCard(const QImage &Previous, const QImage &Scan);

// Whether Scan shows the lid alone (white or black, dust on it) and no card.
// A picture without pixels holds no card.
TGuardScore EmptyArea(const QImage &Scan);

// The small copy the checks look at. Kept instead of the picture, it gives
// the same answers: what to keep of the last saved scan.
QImage GuardPicture(const QImage &Scan);

#pragma once

// Scans of one card area as a shop makes them, for the scan guard: cards of a
// set that share frame, colours and layout, each scanned once and again a
// little moved, turned and otherwise exposed, and the lid scanned without a
// card.

#include "CardCorpus.h"

#include <vector>

// Count cards of one set: one design and frame, each with its own art and text.
std::vector<TPlacedCard> CardSet(TCardDesign Design, uint32_t SetSeed, int Count);

// An area a few millimetres larger than the card on every side, the card lying
// near its middle, roughly upright.
TGlassLayout CardOnArea(const TPlacedCard &Card, double Dpi, bool BlackLid, uint32_t ScanSeed);

// The same card on the same area scanned again: moved by up to MaxShiftMm and
// turned by up to MaxTurn degrees, with other noise, dust and exposure.
TGlassLayout Rescan(const TGlassLayout &Layout, uint32_t Seed, double MaxShiftMm = 2, double MaxTurn = 2);

// The area scanned with nothing on the glass: white or black lid with dust.
TGlassLayout EmptyLid(double Dpi, bool BlackLid, uint32_t Seed);

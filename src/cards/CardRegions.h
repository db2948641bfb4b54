#pragma once

// The first, coarse look at a glass: which regions of it hold something the
// size of a card.

#include "cards/CardGeometry.h"

#include <opencv2/core.hpp>

#include <vector>

struct TCoarseRegion
{
    TCardPose Pose;   // the region's minimum-area rectangle, in full-resolution pixels
    // None for a region worth placing exactly; otherwise why it cannot be a sure card.
    TUnsureReason Unsure = TUnsureReason::None;
};

class TBrightness;

// The grain of one pixel, as a Gaussian's sigma in grey levels, from
// neighbouring pixels along the image's edges, where a glass shows its lid.
double GrainOf(const TBrightness &Image);

// Regions of Pixels (1, 3 or 4 channels) that hold something: cards, pieces of
// cards and their shadows grouped into one region when together they fit in a
// card of CardPixels, cards joined by their shadows split apart. Specks of dust
// are left out.
std::vector<TCoarseRegion> FindCoarseRegions(const cv::Mat &Pixels, double Dpi, cv::Size2d CardPixels);

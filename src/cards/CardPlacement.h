#pragma once

// Places one card exactly: finds the lines along its four sides around a coarse
// pose, picks its edges among them with the help of the card's known size, and
// turns and moves the pose onto them.

#include "cards/CardGeometry.h"

#include <opencv2/core.hpp>

#include <array>
#include <vector>

// Where the lamp casts its shadows across each axis: -1 beyond the low side
// (left, top), +1 beyond the high side (right, bottom), 0 not known.
struct TLampSides
{
    int X = 0;
    int Y = 0;
};

struct TPlacement
{
    TCardPose Pose;
    TUnsureReason Unsure = TUnsureReason::None;
    // What this card says about the lamp's side, as a vote per axis.
    TLampSides ShadowVote;
    // Per axis (X, Y): whether knowing the lamp's side would place it better.
    std::array<bool, 2> WantsLamp{};
};

class TBrightness;

// The glass the cards lie on: its brightness, resolution and grain, and the
// coarse regions of every card on it.
struct TGlassView
{
    const TBrightness *Image = nullptr;
    double Dpi = 0;
    double Noise = 0;
    std::vector<TCardPose> Regions;
};

// Places the card of region Region of the glass; the search of its sides stops
// short of the other regions, so it never takes a neighbour's edge for its own.
TPlacement PlaceCard(const TGlassView &Glass, size_t Region, cv::Size2d Card, TLampSides Lamp);

#pragma once

// Places one card exactly: finds the lines along its four sides around a coarse
// pose, picks its edges among them with the help of the card's known size, and
// turns and moves the pose onto them.

#include "cards/CardGeometry.h"

#include <opencv2/core.hpp>

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
};

TPlacement PlaceCard(const cv::Mat &Grey, const TCardPose &Coarse, cv::Size2d Card, double Dpi, double Noise,
                     TLampSides Lamp);

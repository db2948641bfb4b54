#pragma once

// Where a card lies: its centre, how far it is turned and its size, in
// continuous image coordinates (pixel (i, j) has its centre at i + 0.5, j + 0.5).

#include "cards/CardFinder.h"

#include <opencv2/core.hpp>

#include <array>

struct TCardPose
{
    cv::Point2d Centre;
    double Angle = 0;   // radians, clockwise on the image positive
    cv::Size2d Size;    // along the card's own width and height

    // The card's width direction and its height direction (downwards when upright).
    cv::Point2d XAxis() const { return {std::cos(Angle), std::sin(Angle)}; }
    cv::Point2d YAxis() const { return {-std::sin(Angle), std::cos(Angle)}; }
    // Top-left, top-right, bottom-right, bottom-left.
    std::array<cv::Point2d, 4> Corners() const;
};

// The pose of a rectangle given by four corners in any order, turned so that
// its width runs within 45 degrees of the image's x axis.
TCardPose UprightPose(const std::array<cv::Point2d, 4> &Corners);

TFoundCard FoundCardOf(const TCardPose &Pose, TUnsureReason Unsure);

// Whether two cards share more than a sliver of area.
bool Overlap(const TCardPose &A, const TCardPose &B);

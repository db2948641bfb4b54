#pragma once

// Places the lines along one side of a card to a fraction of a pixel. The
// brightness is sampled across the side and averaged along it piece by piece;
// in each piece the steps met going out from inside the card are found, and a
// step's place is the centroid of its slope, which for a blurred edge is where
// the sharp edge was. Steps that line up over most pieces make a line; dust and
// other outliers are left out. One of the lines is the card's edge (the border
// against the lid, or against the shadow line a lifted card casts, which lies
// outside the card); the others are the card's own frames and art. Which one
// it is, only the opposite side and the card's size can tell.

#include <opencv2/core.hpp>

#include <vector>

struct TSideProbe
{
    cv::Point2d Middle;   // a point on the side's expected line, halfway along it
    cv::Point2d Along;    // unit vector along the side
    cv::Point2d Out;      // unit normal pointing away from the card
    double HalfSpan = 0;  // how far either way from Middle the side is sampled
    double Inner = 0;     // the search runs from Inner inside the expected line...
    double Outer = 0;     // ...to Outer outside it, in pixels
};

struct TSideEdge
{
    bool Found = false;
    double Offset = 0;    // where the edge crosses the normal through Middle, along Out
    double Slope = 0;     // how far the edge moves along Out per pixel along the side
    double Height = 0;    // the step's size in grey levels
    double Spread = 0;    // how wide the step is: its blur, and any shadow it merged with
    bool Shadow = false;  // beyond the step the brightness comes back: a shadow line
};

class TBrightness;

// The lines found, from the innermost out. Noise is the grain of one pixel in
// grey levels.
std::vector<TSideEdge> FitSide(const TBrightness &Image, const TSideProbe &Probe, double Dpi, double Noise);

#include "cards/CardGeometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

std::array<cv::Point2d, 4> TCardPose::Corners() const
{
    const cv::Point2d x = XAxis() * (Size.width / 2);
    const cv::Point2d y = YAxis() * (Size.height / 2);
    return {Centre - x - y, Centre + x - y, Centre + x + y, Centre - x + y};
}

TCardPose UprightPose(const std::array<cv::Point2d, 4> &Corners)
{
    TCardPose pose;
    for (const cv::Point2d &corner : Corners)
        pose.Centre += corner / 4;
    // Of the first two sides, the one closer to horizontal is the width.
    const cv::Point2d a = Corners[1] - Corners[0];
    const cv::Point2d b = Corners[2] - Corners[1];
    const bool aIsWidth = std::abs(a.x) >= std::abs(a.y);
    cv::Point2d width = aIsWidth ? a : b;
    const cv::Point2d height = aIsWidth ? b : a;
    if (width.x < 0)
        width = -width;
    pose.Angle = std::atan2(width.y, width.x);
    pose.Size = {cv::norm(width), cv::norm(height)};
    return pose;
}

TFoundCard FoundCardOf(const TCardPose &Pose, TUnsureReason Unsure)
{
    TFoundCard card;
    const auto corners = Pose.Corners();
    for (size_t i = 0; i < 4; ++i)
        card.Corners[i] = QPointF(corners[i].x, corners[i].y);
    card.AngleDegrees = Pose.Angle * 180 / std::numbers::pi;
    card.Unsure = Unsure;
    return card;
}

bool Overlap(const TCardPose &A, const TCardPose &B)
{
    const auto toPolygon = [](const TCardPose &Pose) {
        std::vector<cv::Point2f> polygon;
        for (const cv::Point2d &corner : Pose.Corners())
            polygon.emplace_back(float(corner.x), float(corner.y));
        return polygon;
    };
    std::vector<cv::Point2f> shared;
    const float area = cv::intersectConvexConvex(toPolygon(A), toPolygon(B), shared, true);
    // A shared sliver is two outlines touching, not one card lying on another.
    const double smaller = std::min(A.Size.area(), B.Size.area());
    return area > 0.01 * smaller;
}

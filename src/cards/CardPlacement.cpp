#include "cards/CardPlacement.h"

#include "cards/SideFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Where one side of an axis lies, measured from the pose's centre along the
// axis, and how its line runs.
struct TSideLine
{
    double Position = 0;
    double Angle = 0;     // the line's own angle, radians
    double Height = 0;
    double Spread = 0;
    bool Shadow = false;
    double Weight = 0;    // how much its angle counts: its strength times its length
};

// The two sides of the card across one of its axes, placed together.
struct TAxis
{
    bool Placed = false;
    bool SizeDiffers = false;
    double Centre = 0;                // from the pose's centre, along the axis
    std::vector<TSideLine> Used;      // the sides it was placed by
    int ShadowVote = 0;               // the side a shadow showed beyond: -1 low, +1 high
};

// How sure a side must be before the card is: the two sides of an axis are
// one card apart to within this much.
double pairTolerance(double Length)
{
    return std::max(2.0, 0.01 * Length);
}

std::vector<TSideLine> sideLines(const cv::Mat &Grey, const TCardPose &Pose, bool XAxis, bool High,
                                 double CrossLength, double Inner, double Outer, double Dpi, double Noise)
{
    const cv::Point2d axis = XAxis ? Pose.XAxis() : Pose.YAxis();
    const double half = (XAxis ? Pose.Size.width : Pose.Size.height) / 2;
    TSideProbe probe;
    probe.Out = High ? axis : -axis;
    probe.Along = XAxis ? Pose.YAxis() : Pose.XAxis();
    probe.Middle = Pose.Centre + probe.Out * half;
    // The middle three quarters: rounded corners stay out.
    probe.HalfSpan = 0.375 * CrossLength;
    probe.Inner = Inner;
    probe.Outer = Outer;
    std::vector<TSideLine> lines;
    for (const TSideEdge &edge : FitSide(Grey, probe, Dpi, Noise)) {
        TSideLine line;
        line.Position = (High ? 1 : -1) * (half + edge.Offset);
        const cv::Point2d direction = probe.Along + probe.Out * edge.Slope;
        const double turn = std::atan2(probe.Along.x * direction.y - probe.Along.y * direction.x,
                                       probe.Along.dot(direction));
        line.Angle = Pose.Angle + turn;
        line.Height = edge.Height;
        line.Spread = edge.Spread;
        line.Shadow = edge.Shadow;
        line.Weight = edge.Height * CrossLength;
        lines.push_back(line);
    }
    return lines;
}

// Picks the card's two edges across one axis among the lines found on either
// side: two lines a card apart if there are such, else the one that shows the
// shadow a card casts, with the far edge a card away.
TAxis placeAxis(const std::vector<TSideLine> &Low, const std::vector<TSideLine> &High, double Length, int Lamp)
{
    TAxis axis;
    const double tolerance = pairTolerance(Length);
    double best = tolerance;
    for (const TSideLine &low : Low)
        for (const TSideLine &high : High) {
            const double miss = std::abs(high.Position - low.Position - Length);
            if (miss <= best) {
                best = miss;
                axis.Placed = true;
                axis.Used = {low, high};
            }
        }
    if (axis.Placed) {
        const TSideLine &low = axis.Used[0];
        const TSideLine &high = axis.Used[1];
        const double excess = high.Position - low.Position - Length;
        axis.Centre = (low.Position + high.Position) / 2;
        // Shadows only ever lie outside a card. An edge that merged with one
        // lies too far out and is wider than a clean one: the clean edge and
        // the card's size place the card. A light border's edge against a thin
        // shadow line is found a little inside; it is only trusted less than an
        // edge without one.
        const TSideLine *anchor = nullptr;
        if (excess > 0.5 && std::abs(low.Spread - high.Spread) > 0.05 * std::max(low.Spread, high.Spread))
            anchor = low.Spread < high.Spread ? &low : &high;
        else if (excess > 0.5 && Lamp != 0)
            anchor = Lamp > 0 ? &low : &high;
        else if (excess < -0.5 && low.Shadow != high.Shadow)
            anchor = low.Shadow ? &high : &low;
        // Which side the shadow lies beyond, for the cards that cannot tell.
        if (low.Shadow != high.Shadow)
            axis.ShadowVote = high.Shadow ? 1 : -1;
        else if (low.Shadow && std::max(low.Height, high.Height) > 1.5 * std::min(low.Height, high.Height))
            axis.ShadowVote = high.Height > low.Height ? 1 : -1;
        else if (!low.Shadow && excess > 0.5 && std::abs(low.Spread - high.Spread) > 0.1 * std::max(low.Spread, high.Spread))
            axis.ShadowVote = high.Spread > low.Spread ? 1 : -1;
        if (anchor)
            axis.Centre = anchor == &low ? low.Position + Length / 2 : high.Position - Length / 2;
        return axis;
    }

    // One side shows only as a shadow line. A dark line printed just inside a
    // white card looks alike, and on a side whose own edge does not show it is
    // the outermost line there; but on the side the lamp casts the shadow, the
    // shadow lies beyond the card's own lines. So the side trusted alone is the
    // lamp's side when the glass tells it, else the one whose outermost line is
    // a shadow with more lines inside it; the other side's lines must then all
    // lie within the card.
    const auto outermostShadow = [](const std::vector<TSideLine> &Lines, bool IsHigh) -> const TSideLine * {
        if (Lines.empty())
            return nullptr;
        const TSideLine &outer = IsHigh ? Lines.back() : Lines.front();
        return outer.Shadow ? &outer : nullptr;
    };
    const TSideLine *lowShadow = outermostShadow(Low, false);
    const TSideLine *highShadow = outermostShadow(High, true);
    if (lowShadow && highShadow && (Lamp != 0 || Low.size() != High.size())) {
        if (Lamp < 0 || (Lamp == 0 && Low.size() > High.size()))
            highShadow = nullptr;
        else
            lowShadow = nullptr;
    }
    if (bool(lowShadow) != bool(highShadow)) {
        const bool high = highShadow != nullptr;
        const TSideLine &edge = high ? *highShadow : *lowShadow;
        const double centre = edge.Position + (high ? -Length / 2 : Length / 2);
        const double slack = pairTolerance(Length);
        const auto &others = high ? Low : High;
        const bool inside = std::all_of(others.begin(), others.end(), [&](const TSideLine &Line) {
            return std::abs(Line.Position - centre) <= Length / 2 + slack;
        });
        if (inside) {
            axis.Placed = true;
            axis.Centre = centre;
            axis.Used = {edge};
        }
    }
    // Two plain edges that are no card apart: this is another card size.
    if (!axis.Placed && !Low.empty() && !High.empty() && !Low.front().Shadow && !High.back().Shadow) {
        const double span = High.back().Position - Low.front().Position;
        axis.SizeDiffers = std::abs(span - Length) > 0.05 * Length;
    }
    return axis;
}

// The card's angle from the lines it was placed by: longer and stronger lines
// weigh more, and a line turned away from the others (dust on it, a warped
// edge) does not count.
double meanAngle(const std::vector<TSideLine> &Lines, double Fallback)
{
    if (Lines.empty())
        return Fallback;
    std::vector<TSideLine> sorted = Lines;
    std::sort(sorted.begin(), sorted.end(), [](const TSideLine &A, const TSideLine &B) { return A.Angle < B.Angle; });
    double total = 0;
    for (const TSideLine &line : sorted)
        total += line.Weight;
    double seen = 0;
    double median = sorted.front().Angle;
    for (const TSideLine &line : sorted)
        if ((seen += line.Weight) >= total / 2) {
            median = line.Angle;
            break;
        }
    double weight = 0;
    double sum = 0;
    for (const TSideLine &line : sorted)
        if (std::abs(line.Angle - median) <= 0.002) {
            weight += line.Weight;
            sum += line.Weight * line.Angle;
        }
    return weight > 0 ? sum / weight : median;
}

} // namespace

// Finds the card's edges around a coarse pose, turns the pose to them, and
// finds them again close up.
TPlacement PlaceCard(const cv::Mat &Grey, const TCardPose &Coarse, cv::Size2d Card, double Dpi, double Noise,
                     TLampSides Lamp)
{
    const double pxPerMm = Dpi / 25.4;
    TCardPose pose = Coarse;
    TPlacement placement;
    std::array<TAxis, 2> axes;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<TSideLine> used;
        for (int a = 0; a < 2; ++a) {
            const bool x = a == 0;
            const double length = x ? Card.width : Card.height;
            const double cross = x ? Card.height : Card.width;
            // The coarse look may miss a light border, or take in a shadow or a
            // speck beside the card: the edges may lie as far in or out as its
            // size is off. Both sides are searched alike, so that what they show
            // can be compared.
            const double doubt =
                std::min(std::abs(length - (x ? pose.Size.width : pose.Size.height)), 4 * pxPerMm);
            const double inner = pass == 0 ? 1.2 * pxPerMm + doubt : 0.6 * pxPerMm;
            const double outer = pass == 0 ? 1.5 * pxPerMm + doubt : 0.6 * pxPerMm;
            const auto low = sideLines(Grey, pose, x, false, cross, inner, outer, Dpi, Noise);
            const auto high = sideLines(Grey, pose, x, true, cross, inner, outer, Dpi, Noise);
            axes[size_t(a)] = placeAxis(low, high, length, x ? Lamp.X : Lamp.Y);
            used.insert(used.end(), axes[size_t(a)].Used.begin(), axes[size_t(a)].Used.end());
        }
        if (!axes[0].Placed || !axes[1].Placed)
            break;
        pose.Centre += pose.XAxis() * axes[0].Centre + pose.YAxis() * axes[1].Centre;
        pose.Angle = meanAngle(used, pose.Angle);
        pose.Size = Card;
    }
    placement.Pose = pose;
    if (!axes[0].Placed || !axes[1].Placed)
        placement.Unsure = axes[0].SizeDiffers || axes[1].SizeDiffers ? TUnsureReason::Size
                                                                        : TUnsureReason::WeakEdges;
    else
        placement.ShadowVote = {axes[0].ShadowVote, axes[1].ShadowVote};
    return placement;
}

#include "cards/CardPlacement.h"

#include "cards/SideFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
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
    bool Ambiguous = false;           // placed halfway, where the lamp's side would tell better
};

// How sure a side must be before the card is: the two sides of an axis are
// one card apart to within this much.
double pairTolerance(double Length)
{
    return std::max(2.0, 0.01 * Length);
}

// How far out from a side's expected line the glass is clear of the other
// regions that lie beyond it, over the side's length.
double clearance(const TSideProbe &Probe, const TGlassView &Glass, size_t Region)
{
    double clear = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < Glass.Regions.size(); ++i) {
        if (i == Region)
            continue;
        double nearest = std::numeric_limits<double>::infinity();
        double first = nearest;
        double last = -nearest;
        for (const cv::Point2d &corner : Glass.Regions[i].Corners()) {
            const cv::Point2d offset = corner - Probe.Middle;
            nearest = std::min(nearest, offset.dot(Probe.Out));
            first = std::min(first, offset.dot(Probe.Along));
            last = std::max(last, offset.dot(Probe.Along));
        }
        if (nearest > 0 && last > -Probe.HalfSpan && first < Probe.HalfSpan)
            clear = std::min(clear, nearest);
    }
    return clear;
}

std::vector<TSideLine> sideLines(const TGlassView &Glass, size_t Region, const TCardPose &Pose, bool XAxis,
                                 bool High, double CrossLength, double Inner, double Outer)
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
    // Half a millimetre short of a neighbour, whose own shadow may reach out that far.
    const double pxPerMm = Glass.Dpi / 25.4;
    probe.Outer = std::min(Outer, std::max(0.6 * pxPerMm, clearance(probe, Glass, Region) - 0.5 * pxPerMm));
    std::vector<TSideLine> lines;
    for (const TSideEdge &edge : FitSide(*Glass.Image, probe, Glass.Dpi, Glass.Noise)) {
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

// The best pair of lines a card apart, one on either side, placed together.
// Shadows only ever lie outside a card: an edge that merged with one lies too
// far out and is wider than a clean one, so the clean edge and the card's size
// place the card; without a hint the glass's lamp decides, and failing that
// the card lies halfway. A light border's edge against a thin shadow line is
// found a little inside: an edge without one is trusted more.
std::optional<TAxis> pairedAxis(const std::vector<TSideLine> &Low, const std::vector<TSideLine> &High,
                                double Length, int Lamp)
{
    const TSideLine *low = nullptr;
    const TSideLine *high = nullptr;
    double best = pairTolerance(Length);
    for (const TSideLine &l : Low)
        for (const TSideLine &h : High)
            if (const double miss = std::abs(h.Position - l.Position - Length); miss <= best) {
                best = miss;
                low = &l;
                high = &h;
            }
    if (!low)
        return std::nullopt;

    TAxis axis;
    axis.Placed = true;
    axis.Used = {*low, *high};
    const double excess = high->Position - low->Position - Length;
    const bool spreadsDiffer = std::abs(low->Spread - high->Spread) > 0.05 * std::max(low->Spread, high->Spread);
    const TSideLine *anchor = nullptr;
    if (excess > 0.5 && spreadsDiffer)
        anchor = low->Spread < high->Spread ? low : high;
    else if (excess > 0.5 && Lamp != 0)
        anchor = Lamp > 0 ? low : high;
    else if (excess < -0.5 && low->Shadow != high->Shadow)
        anchor = low->Shadow ? high : low;
    axis.Centre = !anchor        ? (low->Position + high->Position) / 2
                  : anchor == low ? low->Position + Length / 2
                                  : high->Position - Length / 2;
    axis.Ambiguous = !anchor && excess > 0.5;

    // Which side the shadow lies beyond, for the cards that cannot tell.
    if (low->Shadow != high->Shadow)
        axis.ShadowVote = high->Shadow ? 1 : -1;
    else if (low->Shadow && std::max(low->Height, high->Height) > 1.5 * std::min(low->Height, high->Height))
        axis.ShadowVote = high->Height > low->Height ? 1 : -1;
    else if (!low->Shadow && excess > 0.5 && std::abs(low->Spread - high->Spread) > 0.1 * std::max(low->Spread, high->Spread))
        axis.ShadowVote = high->Spread > low->Spread ? 1 : -1;
    return axis;
}

// One side shows only as a shadow line. A dark line printed just inside a
// white card looks alike, and on a side whose own edge does not show it is the
// outermost line there; but on the side the lamp casts the shadow, the shadow
// lies beyond the card's own lines. So the side trusted alone is the lamp's
// side when the glass tells it, else the one whose outermost line is a shadow
// with more lines inside it; the other side's lines must then all lie within
// the card.
std::optional<TAxis> shadowAxis(const std::vector<TSideLine> &Low, const std::vector<TSideLine> &High,
                                double Length, int Lamp)
{
    const auto outermostShadow = [](const std::vector<TSideLine> &Lines) -> const TSideLine * {
        return !Lines.empty() && Lines.back().Shadow ? &Lines.back() : nullptr;
    };
    const TSideLine *lowShadow = outermostShadow(Low);
    const TSideLine *highShadow = outermostShadow(High);
    if (lowShadow && highShadow && (Lamp != 0 || Low.size() != High.size())) {
        if (Lamp < 0 || (Lamp == 0 && Low.size() > High.size()))
            highShadow = nullptr;
        else
            lowShadow = nullptr;
    }
    if (bool(lowShadow) == bool(highShadow))
        return std::nullopt;
    const bool high = highShadow != nullptr;
    const TSideLine &edge = high ? *highShadow : *lowShadow;
    const double centre = edge.Position + (high ? -Length / 2 : Length / 2);
    const double slack = pairTolerance(Length);
    const auto &others = high ? Low : High;
    if (!std::all_of(others.begin(), others.end(),
                     [&](const TSideLine &Line) { return std::abs(Line.Position - centre) <= Length / 2 + slack; }))
        return std::nullopt;
    TAxis axis;
    axis.Placed = true;
    axis.Centre = centre;
    axis.Used = {edge};
    return axis;
}

// Picks the card's two edges across one axis among the lines found on either
// side, each side's lines from the innermost out.
TAxis placeAxis(const std::vector<TSideLine> &Low, const std::vector<TSideLine> &High, double Length, int Lamp)
{
    if (auto axis = pairedAxis(Low, High, Length, Lamp))
        return *axis;
    if (auto axis = shadowAxis(Low, High, Length, Lamp))
        return *axis;
    // Two plain outer edges that are no card apart: this is another card size.
    TAxis axis;
    if (!Low.empty() && !High.empty() && !Low.back().Shadow && !High.back().Shadow)
        axis.SizeDiffers = std::abs(High.back().Position - Low.back().Position - Length) > 0.05 * Length;
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
TPlacement PlaceCard(const TGlassView &Glass, size_t Region, cv::Size2d Card, TLampSides Lamp)
{
    const double pxPerMm = Glass.Dpi / 25.4;
    TCardPose pose = Glass.Regions.at(Region);
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
            const double inner = pass == 0 ? 1.5 * pxPerMm + doubt : 0.6 * pxPerMm;
            const double outer = pass == 0 ? 2.0 * pxPerMm + doubt : 0.6 * pxPerMm;
            const auto low = sideLines(Glass, Region, pose, x, false, cross, inner, outer);
            const auto high = sideLines(Glass, Region, pose, x, true, cross, inner, outer);
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
    placement.WantsLamp = {axes[0].Ambiguous || !axes[0].Placed, axes[1].Ambiguous || !axes[1].Placed};
    return placement;
}

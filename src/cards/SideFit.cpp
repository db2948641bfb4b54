#include "cards/SideFit.h"

#include "cards/ImageMat.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

constexpr int kPieces = 8;
// A 300 dpi scan is sampled every half pixel across a side; finer scans are
// blurred over as many more pixels, so the step grows with the resolution.
double stepAcross(double Dpi)
{
    return 0.5 * std::max(1.0, Dpi / 300);
}

struct TProfile
{
    std::vector<double> Values;
    int Samples = 0;   // averaged at each position
};

TProfile profileOf(const TBrightness &Image, const TSideProbe &Probe, double From, double To, double Along,
                   double Across, int Count)
{
    TProfile profile;
    profile.Values.assign(size_t(Count), 0);
    std::vector<int> counts(size_t(Count), 0);
    for (double u = From; u < To; u += Along) {
        const cv::Point2d base = Probe.Middle + Probe.Along * u - Probe.Out * Probe.Inner;
        for (int k = 0; k < Count; ++k) {
            const cv::Point2d at = base + Probe.Out * (k * Across);
            double value;
            if (Image.At(at.x, at.y, value)) {
                profile.Values[size_t(k)] += value;
                ++counts[size_t(k)];
            }
        }
    }
    int least = counts.empty() ? 0 : counts[0];
    for (int k = 0; k < Count; ++k) {
        least = std::min(least, counts[size_t(k)]);
        if (counts[size_t(k)] > 0)
            profile.Values[size_t(k)] /= counts[size_t(k)];
    }
    profile.Samples = least;
    return profile;
}

double medianOf(std::vector<double> Values)
{
    if (Values.empty())
        return 0;
    const auto middle = Values.begin() + std::ptrdiff_t(Values.size() / 2);
    std::nth_element(Values.begin(), middle, Values.end());
    return *middle;
}

struct TStep
{
    double At = 0;       // position along the profile, in pixels from its start
    double Height = 0;
    double Spread = 0;   // the standard deviation of its slope, in pixels
    bool Comeback = false;
};

// The steps of one averaged profile, found going out from the inner plateau
// at its start.
class TStepFinder
{
public:
    TStepFinder(const std::vector<double> &Profile, double Step, double Noise, double PxPerMm)
        : p_(Profile), step_(Step), pxPerMm_(PxPerMm), threshold_(std::max(3.0, 5 * Noise)),
          rise_(Profile.size(), 0), smooth_(Profile.size(), 0)
    {
        const int n = size();
        for (int k = 1; k + 1 < n; ++k)
            rise_[size_t(k)] = (p_[size_t(k + 1)] - p_[size_t(k - 1)]) / (2 * step_);
        smooth_ = rise_;
        for (int k = 2; k + 2 < n; ++k)
            smooth_[size_t(k)] = (rise_[size_t(k - 1)] + 2 * rise_[size_t(k)] + rise_[size_t(k + 1)]) / 4;
    }

    std::vector<TStep> Steps(int Plateau)
    {
        std::vector<TStep> steps;
        if (size() < Plateau + 6)
            return steps;
        level_ = medianOf(std::vector<double>(p_.begin(), p_.begin() + Plateau));
        for (int from = Plateau; from < size();) {
            const int crossing = crossingFrom(from);
            if (crossing < 0)
                break;
            sign_ = p_[size_t(crossing)] > level_ ? 1 : -1;
            if (const std::optional<TStep> step = stepAt(from, crossing, from))
                steps.push_back(*step);
        }
        return steps;
    }

private:
    int size() const { return int(p_.size()); }
    double value(int K) const { return p_[size_t(K)]; }
    // The slope in the direction of the step being measured.
    double slope(int K) const { return sign_ * rise_[size_t(K)]; }
    double smooth(int K) const { return sign_ * smooth_[size_t(K)]; }

    int crossingFrom(int From) const
    {
        for (int k = From; k < size(); ++k)
            if (std::abs(value(k) - level_) > threshold_)
                return k;
        return -1;
    }

    // Measures the step whose brightness crossed the threshold at Crossing;
    // Next is where the search goes on. Nothing for a slow shading.
    std::optional<TStep> stepAt(int From, int Crossing, int &Next)
    {
        const int n = size();
        // The first peak of the slope from a little before the crossing: a
        // card's edge comes before the outer edge of its shadow line.
        const int back = std::max(2, int(std::lround(0.2 * pxPerMm_ / step_)));
        int k = std::max({1, From - 1, Crossing - back});
        while (k + 2 < n && smooth(k) <= 0)
            ++k;
        int peak = k;
        for (int walk = k; walk + 2 < n && smooth(walk) > 0; ++walk) {
            if (smooth(walk) > smooth(peak))
                peak = walk;
            else if (smooth(walk) < 0.5 * smooth(peak) && walk > Crossing)
                break;   // past the first peak and well down its far side
        }
        int left = peak;
        while (left > 1 && slope(left - 1) > 0 && smooth(left - 1) <= smooth(left))
            --left;
        int right = peak;
        while (right + 2 < n && slope(right + 1) > 0 && smooth(right + 1) <= smooth(right))
            ++right;

        double mass = 0;
        double moment = 0;
        double second = 0;
        for (int i = left; i <= right; ++i) {
            const double g = std::max(0.0, slope(i));
            mass += g;
            moment += g * i;
            second += g * i * i;
        }
        Next = std::max(right + 1, Crossing + 1);
        level_ = value(std::min(right, n - 1));
        // An edge rises within a blur's width; the lid's own slow shading, or
        // the far spread of a shadow, rises no faster than over a millimetre.
        if (mass * step_ < 0.5 * threshold_ || smooth(peak) < threshold_ / (0.4 * pxPerMm_))
            return std::nullopt;
        TStep step;
        step.Height = mass * step_;
        step.At = moment / mass * step_;
        step.Spread = std::sqrt(std::max(0.0, second / mass - (moment / mass) * (moment / mass))) * step_;

        // A shadow line: past the step the brightness turns back by a good part
        // of it. The way back is the line's far side, no edge of its own: the
        // search goes on from where the brightness has come back most.
        const int reach = int(std::lround(1.0 * pxPerMm_ / step_));
        int turn = right;
        for (int i = right; i < std::min(n, right + reach); ++i)
            if (sign_ * (value(i) - value(turn)) < 0)
                turn = i;
        step.Comeback = sign_ * (value(turn) - level_) < -0.3 * step.Height;
        if (step.Comeback) {
            step.At = peakAt(peak) * step_;
            Next = turn + 1;
            level_ = value(turn);
        }
        return step;
    }

    // A narrow line's far side eats into the outer half of its near side's
    // slope and would pull the centroid inwards; the slope's peak, taken
    // between samples on a parabola, stays put.
    double peakAt(int Peak) const
    {
        const int p = std::clamp(Peak, 1, size() - 2);
        const double a = slope(p - 1);
        const double b = slope(p);
        const double c = slope(p + 1);
        const double curve = a - 2 * b + c;
        return p + (curve < 0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0);
    }

    const std::vector<double> &p_;
    const double step_;
    const double pxPerMm_;
    const double threshold_;
    std::vector<double> rise_;
    std::vector<double> smooth_;
    double level_ = 0;
    double sign_ = 1;
};

struct TPoint
{
    int Piece = 0;
    double U = 0;
    double T = 0;
    double Height = 0;
    double Spread = 0;
    bool Shadow = false;
};

// A weighted line through the points; the worst outlier goes until all lie
// close to the line. False when too few points remain.
bool fitLine(std::vector<TPoint> Points, double Tolerance, TSideEdge &Edge)
{
    while (int(Points.size()) >= kPieces / 2) {
        double sw = 0, su = 0, st = 0, suu = 0, sut = 0;
        for (const TPoint &p : Points) {
            sw += p.Height;
            su += p.Height * p.U;
            st += p.Height * p.T;
            suu += p.Height * p.U * p.U;
            sut += p.Height * p.U * p.T;
        }
        const double det = sw * suu - su * su;
        if (det <= 0)
            return false;
        const double slope = (sw * sut - su * st) / det;
        const double offset = (st - slope * su) / sw;
        size_t worst = 0;
        double worstMiss = -1;
        for (size_t i = 0; i < Points.size(); ++i) {
            const double miss = std::abs(Points[i].T - offset - slope * Points[i].U);
            if (miss > worstMiss) {
                worstMiss = miss;
                worst = i;
            }
        }
        if (worstMiss > Tolerance) {
            Points.erase(Points.begin() + std::ptrdiff_t(worst));
            continue;
        }
        std::vector<double> heights;
        std::vector<double> spreads;
        int shadows = 0;
        for (const TPoint &p : Points) {
            heights.push_back(p.Height);
            spreads.push_back(p.Spread);
            shadows += p.Shadow ? 1 : 0;
        }
        Edge.Found = true;
        Edge.Offset = offset;
        Edge.Slope = slope;
        Edge.Height = medianOf(heights);
        Edge.Spread = medianOf(spreads);
        Edge.Shadow = 2 * shadows > int(Points.size());
        return true;
    }
    return false;
}

} // namespace

std::vector<TSideEdge> FitSide(const TBrightness &Image, const TSideProbe &Probe, double Dpi, double Noise)
{
    const double pxPerMm = Dpi / 25.4;
    const double across = stepAcross(Dpi);
    const int count = int((Probe.Inner + Probe.Outer) / across) + 1;
    const int plateau = std::max(3, int(std::lround(0.4 * pxPerMm / across)));
    // Along the side, a few hundred samples per side are plenty to average.
    const double along = std::max(1.0, Dpi / 200);
    const double piece = 2 * Probe.HalfSpan / kPieces;

    std::vector<TPoint> points;
    for (int i = 0; i < kPieces; ++i) {
        const double from = -Probe.HalfSpan + i * piece;
        const TProfile profile = profileOf(Image, Probe, from, from + piece, along, across, count);
        if (profile.Samples < 4)
            continue;
        const double noise = Noise / std::sqrt(double(profile.Samples));
        for (const TStep &step : TStepFinder(profile.Values, across, noise, pxPerMm).Steps(plateau))
            points.push_back({i, from + piece / 2, step.At - Probe.Inner, step.Height, step.Spread, step.Comeback});
    }

    // Steps of neighbouring pieces that continue each other are one line.
    const double reach = std::max(1.0, 0.15 * pxPerMm);
    std::vector<std::vector<TPoint>> tracks;
    for (const TPoint &point : points) {
        std::vector<TPoint> *best = nullptr;
        double bestMiss = reach;
        for (std::vector<TPoint> &track : tracks) {
            if (track.back().Piece == point.Piece)
                continue;
            double expected = track.back().T;
            if (track.size() >= 2) {
                const TPoint &a = track[track.size() - 2];
                const TPoint &b = track.back();
                expected = b.T + (b.T - a.T) / (b.U - a.U) * (point.U - b.U);
            }
            const double miss = std::abs(point.T - expected);
            if (miss < bestMiss) {
                bestMiss = miss;
                best = &track;
            }
        }
        if (best)
            best->push_back(point);
        else
            tracks.push_back({point});
    }
    const double tolerance = std::max(1.0, 0.1 * pxPerMm);
    std::vector<TSideEdge> edges;
    for (const std::vector<TPoint> &track : tracks) {
        TSideEdge edge;
        if (fitLine(track, tolerance, edge))
            edges.push_back(edge);
    }
    std::sort(edges.begin(), edges.end(), [](const TSideEdge &A, const TSideEdge &B) { return A.Offset < B.Offset; });
    return edges;
}

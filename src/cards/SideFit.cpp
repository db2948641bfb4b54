#include "cards/SideFit.h"

#include "cards/ImageMat.h"

#include <algorithm>
#include <cmath>
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

// The steps of a profile going out from the inner plateau at its start.
std::vector<TStep> stepsOf(const std::vector<double> &P, int Plateau, double Noise, double PxPerMm, double kStep)
{
    std::vector<TStep> steps;
    const int n = int(P.size());
    if (n < Plateau + 6)
        return steps;
    double level = medianOf(std::vector<double>(P.begin(), P.begin() + Plateau));
    const double threshold = std::max(3.0, 5 * Noise);
    std::vector<double> rise(size_t(n), 0);
    for (int k = 1; k + 1 < n; ++k)
        rise[size_t(k)] = (P[size_t(k + 1)] - P[size_t(k - 1)]) / (2 * kStep);
    std::vector<double> smoothRise = rise;
    for (int k = 2; k + 2 < n; ++k)
        smoothRise[size_t(k)] = (rise[size_t(k - 1)] + 2 * rise[size_t(k)] + rise[size_t(k + 1)]) / 4;
    const int back = std::max(2, int(std::lround(0.2 * PxPerMm / kStep)));
    const int comebackReach = int(std::lround(1.0 * PxPerMm / kStep));

    for (int from = Plateau; from < n;) {
        int k0 = -1;
        for (int k = from; k < n; ++k)
            if (std::abs(P[size_t(k)] - level) > threshold) {
                k0 = k;
                break;
            }
        if (k0 < 0)
            break;
        const double sign = P[size_t(k0)] > level ? 1 : -1;
        const auto slope = [&](int K) { return sign * rise[size_t(K)]; };
        const auto smooth = [&](int K) { return sign * smoothRise[size_t(K)]; };

        // The first peak of the slope from a little before the crossing: a
        // card's edge comes before the outer edge of its shadow line.
        int k = std::max({1, from - 1, k0 - back});
        while (k + 2 < n && smooth(k) <= 0)
            ++k;
        int peak = k;
        for (int walk = k; walk + 2 < n && smooth(walk) > 0; ++walk) {
            if (smooth(walk) > smooth(peak))
                peak = walk;
            else if (smooth(walk) < 0.5 * smooth(peak) && walk > k0)
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
        from = std::max(right + 1, k0 + 1);
        level = P[size_t(std::min(right, n - 1))];
        // An edge rises within a blur's width; the lid's own slow shading, or
        // the far spread of a shadow, rises no faster than over a millimetre.
        if (mass * kStep < 0.5 * threshold || smooth(peak) < threshold / (0.4 * PxPerMm))
            continue;
        TStep step;
        step.Height = mass * kStep;
        step.At = moment / mass * kStep;
        step.Spread = std::sqrt(std::max(0.0, second / mass - (moment / mass) * (moment / mass))) * kStep;
        // A shadow line: past the step the brightness turns back by a good part
        // of it. The way back is the line's far side, no edge of its own: the
        // search goes on from where the brightness has come back most.
        int back = right;
        for (int i = right; i < std::min(n, right + comebackReach); ++i)
            if (sign * (P[size_t(i)] - P[size_t(back)]) < 0)
                back = i;
        step.Comeback = sign * (P[size_t(back)] - level) < -0.3 * step.Height;
        if (step.Comeback) {
            // A narrow line's far side eats into the outer half of its near
            // side's slope and would pull the centroid inwards; the slope's
            // peak stays put.
            const int p = std::clamp(peak, 1, n - 2);
            const double a = rise[size_t(p - 1)] * sign;
            const double b = rise[size_t(p)] * sign;
            const double c = rise[size_t(p + 1)] * sign;
            const double curve = a - 2 * b + c;
            const double shift = curve < 0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
            step.At = (p + shift) * kStep;
            from = back + 1;
            level = P[size_t(back)];
        }
        steps.push_back(step);
    }
    return steps;
}

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
        for (const TStep &step : stepsOf(profile.Values, plateau, noise, pxPerMm, across))
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

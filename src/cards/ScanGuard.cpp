#include "cards/ScanGuard.h"

#include "cards/ImageMat.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

// The long side of the copy the checks look at. Over a card-sized area that is
// a third of a millimetre a pixel: fine enough for a line of text, coarse
// enough to average the sensor's noise away and to cost little.
constexpr int kLongSide = 320;
constexpr int kSmallestSide = 16;

// The same card again leaves its worst patch some 10 to 18 levels apart
// (noise, a fraction of a pixel of misalignment at sharp edges, JPEG), other
// art or text of the same frame 120 levels and more. The score is one half
// where the worst patch differs by this much: about the geometric middle.
constexpr double kSameDifference = 35;
// How far the copies may be apart and still be taken for one card moved on
// the glass: a few degrees, a tenth of the area.
constexpr double kLargestTurn = 5 * std::numbers::pi / 180;
constexpr double kLargestShift = 0.1;

// An empty lid differs from its own colour only in dust, which the median
// filter removes; any card leaves a share of the area that differs by much
// more than this step. The score is one half where that share is kEmptyShare.
constexpr int kContentStep = 40;
constexpr double kEmptyShare = 0.002;

cv::Size reducedSize(QSize Picture, int LongSide)
{
    const double scale = double(LongSide) / std::max(Picture.width(), Picture.height());
    return {std::max(1, int(std::lround(Picture.width() * scale))),
            std::max(1, int(std::lround(Picture.height() * scale)))};
}

int longSideFor(QSize Picture)
{
    return std::min(kLongSide, std::max(Picture.width(), Picture.height()));
}

// The picture reduced to Size by area averaging, as 8-bit red, green, blue.
cv::Mat reduced(const QImage &Picture, cv::Size Size)
{
    const QImage source = FinderImage(Picture);
    const cv::Mat view = MatView(source);
    cv::Mat small;
    if (view.size() == Size)
        small = view;
    else
        cv::resize(view, small, Size, 0, 0, cv::INTER_AREA);
    cv::Mat rgb(small.size(), CV_8UC3);
    if (small.channels() == 1) {
        cv::cvtColor(small, rgb, cv::COLOR_GRAY2RGB);
    } else {
        const std::array<int, 3> from = RgbChannels(small.channels());
        const int fromTo[] = {from[0], 0, from[1], 1, from[2], 2};
        cv::mixChannels(&small, 1, &rgb, 1, fromTo, 3);
    }
    return rgb;
}

// The picture reduced to the copy the checks look at.
cv::Mat reduced(const QImage &Picture)
{
    return reduced(Picture, reducedSize(Picture.size(), longSideFor(Picture.size())));
}

cv::Mat grey(const cv::Mat &Rgb)
{
    cv::Mat result;
    cv::cvtColor(Rgb, result, cv::COLOR_RGB2GRAY);
    result.convertTo(result, CV_32F);
    return result;
}

// Zero mean and unit spread: a change of exposure leaves it nearly as it was.
cv::Mat normalised(const cv::Mat &Grey)
{
    cv::Scalar mean, spread;
    cv::meanStdDev(Grey, mean, spread);
    cv::Mat result;
    Grey.convertTo(result, CV_32F, 1.0 / std::max(spread[0], 1.0), -mean[0] / std::max(spread[0], 1.0));
    return result;
}

// Where the second picture is sampled for a pixel x of the first: turned by
// Angle about the centre and moved by Shift (pixels of the level at hand).
struct TPose
{
    double Angle = 0;
    cv::Point2d Shift;
};

cv::Matx23d sampleMap(const TPose &Pose, cv::Size Size)
{
    const double c = std::cos(Pose.Angle);
    const double s = std::sin(Pose.Angle);
    const cv::Point2d centre((Size.width - 1) / 2.0, (Size.height - 1) / 2.0);
    return {c, -s, centre.x + Pose.Shift.x - (c * centre.x - s * centre.y),
            s, c, centre.y + Pose.Shift.y - (s * centre.x + c * centre.y)};
}

cv::Mat sampled(const cv::Mat &Second, const TPose &Pose, cv::Size Size, int Border = cv::BORDER_REPLICATE)
{
    cv::Mat result;
    cv::warpAffine(Second, result, sampleMap(Pose, Size), Size, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, Border);
    return result;
}

// The pixels of the first picture whose sample lies well inside the second.
cv::Mat overlap(const TPose &Pose, cv::Size Size, int Margin)
{
    const cv::Mat inside(Size, CV_8U, cv::Scalar(255));
    cv::Mat mask;
    cv::warpAffine(inside, mask, sampleMap(Pose, Size), Size, cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                   cv::BORDER_CONSTANT, 0);
    cv::erode(mask, mask, cv::Mat(), cv::Point(-1, -1), Margin, cv::BORDER_CONSTANT, 0);
    return mask;
}

// A few candidate turns, each with the shift phase correlation finds for it:
// a start within a pixel or two of the truth on a quarter-size copy.
TPose coarsePose(const cv::Mat &First, const cv::Mat &Second)
{
    cv::Mat window;
    cv::createHanningWindow(window, First.size(), CV_32F);
    TPose best;
    double bestResponse = -1;
    for (int step = -6; step <= 6; ++step) {
        TPose turned;
        turned.Angle = step * 0.5 * std::numbers::pi / 180;
        const cv::Mat candidate = sampled(Second, turned, First.size());
        double response = 0;
        const cv::Point2d shift = cv::phaseCorrelate(First, candidate, window, &response);
        if (response > bestResponse) {
            bestResponse = response;
            // The turned copy matches First moved by shift; in the second picture's
            // own pixels that move turns with it.
            const double c = std::cos(turned.Angle);
            const double s = std::sin(turned.Angle);
            best.Angle = turned.Angle;
            best.Shift = {c * shift.x - s * shift.y, s * shift.x + c * shift.y};
        }
    }
    return best;
}

// Gauss-Newton on turn, shift, gain and offset, minimising the squared
// difference of the two smoothed copies where they overlap.
TPose refinedPose(const cv::Mat &First, const cv::Mat &Second, TPose Pose, int Iterations)
{
    const cv::Size size = First.size();
    const double cx = (size.width - 1) / 2.0;
    const double cy = (size.height - 1) / 2.0;
    double gain = 1;
    double offset = 0;
    cv::Mat gx, gy;
    for (int iteration = 0; iteration < Iterations; ++iteration) {
        const cv::Mat warped = sampled(Second, Pose, size);
        const cv::Mat valid = overlap(Pose, size, 2);
        cv::Sobel(warped, gx, CV_32F, 1, 0, 3, 1.0 / 8);
        cv::Sobel(warped, gy, CV_32F, 0, 1, 3, 1.0 / 8);
        const double c = std::cos(Pose.Angle);
        const double s = std::sin(Pose.Angle);
        cv::Matx<double, 5, 5> normal = cv::Matx<double, 5, 5>::zeros();
        cv::Vec<double, 5> slope;
        for (int y = 0; y < size.height; ++y) {
            const uchar *inside = valid.ptr<uchar>(y);
            const float *w = warped.ptr<float>(y);
            const float *dx = gx.ptr<float>(y);
            const float *dy = gy.ptr<float>(y);
            const float *a = First.ptr<float>(y);
            const double ry = y - cy;
            for (int x = 0; x < size.width; ++x) {
                if (!inside[x])
                    continue;
                const double gX = gain * dx[x];
                const double gY = gain * dy[x];
                const cv::Vec<double, 5> j(-gX * ry + gY * (x - cx), gX * c - gY * s, gX * s + gY * c, w[x], 1.0);
                const double e = gain * w[x] + offset - a[x];
                for (int r = 0; r < 5; ++r) {
                    slope[r] += j[r] * e;
                    for (int k = r; k < 5; ++k)
                        normal(r, k) += j[r] * j[k];
                }
            }
        }
        for (int r = 0; r < 5; ++r)
            for (int k = 0; k < r; ++k)
                normal(r, k) = normal(k, r);
        cv::Vec<double, 5> step;
        if (!cv::solve(normal, -slope, step, cv::DECOMP_CHOLESKY))
            break;
        Pose.Angle += step[0];
        Pose.Shift += cv::Point2d(step[1], step[2]);
        gain += step[3];
        offset += step[4];
        const double reach = std::max(cx, cy);
        if (std::abs(step[0]) * reach < 0.005 && std::abs(step[1]) < 0.005 && std::abs(step[2]) < 0.005)
            break;
    }
    return Pose;
}

cv::Mat smoothed(const cv::Mat &Grey)
{
    cv::Mat result;
    cv::GaussianBlur(Grey, result, cv::Size(), 1.0);
    return result;
}

cv::Mat halved(const cv::Mat &Grey, int Times)
{
    cv::Mat result = Grey;
    for (int i = 0; i < Times; ++i)
        cv::resize(result, result, cv::Size((result.cols + 1) / 2, (result.rows + 1) / 2), 0, 0, cv::INTER_AREA);
    return result;
}

TPose scaledPose(TPose Pose, double Factor)
{
    Pose.Shift *= Factor;
    return Pose;
}

// How Second (8-bit red, green, blue) must be brightened, channel by channel,
// to match First over Mask: the tone curves of the two scans matched, which
// undoes any change of exposure, clipping and gamma included.
std::array<std::array<float, 256>, 3> toneCurves(const cv::Mat &First, const cv::Mat &Second, const cv::Mat &Mask)
{
    std::array<std::array<double, 256>, 3> first{}, second{};
    double count = 0;
    for (int y = 0; y < First.rows; ++y) {
        const cv::Vec3b *a = First.ptr<cv::Vec3b>(y);
        const cv::Vec3b *b = Second.ptr<cv::Vec3b>(y);
        const uchar *inside = Mask.ptr<uchar>(y);
        for (int x = 0; x < First.cols; ++x) {
            if (!inside[x])
                continue;
            ++count;
            for (int c = 0; c < 3; ++c) {
                ++first[size_t(c)][a[x][c]];
                ++second[size_t(c)][b[x][c]];
            }
        }
    }
    std::array<std::array<float, 256>, 3> curves{};
    for (size_t c = 0; c < 3; ++c) {
        // Cumulative shares of the first picture, at the top of each level.
        std::array<double, 256> below{};
        double sum = 0;
        for (size_t v = 0; v < 256; ++v)
            below[v] = (sum += first[c][v]) / std::max(count, 1.0);
        double under = 0;
        size_t u = 0;
        for (size_t v = 0; v < 256; ++v) {
            // The middle of this level's share in the second picture, found in the first.
            const double share = (under + second[c][v] / 2) / std::max(count, 1.0);
            under += second[c][v];
            while (u < 255 && below[u] < share)
                ++u;
            const double low = u > 0 ? below[u - 1] : 0;
            const double width = below[u] - low;
            const double within = width > 0 ? std::clamp((share - low) / width, 0.0, 1.0) : 0.5;
            curves[c][v] = float(u) - 0.5f + float(within);
        }
    }
    return curves;
}

// The largest difference left over any patch a couple of millimetres wide,
// once Second is laid over First at Pose and its tones matched.
double worstPatch(const cv::Mat &First, const cv::Mat &Second, const TPose &Pose)
{
    const cv::Size size = First.size();
    const cv::Mat laid = sampled(Second, Pose, size);
    const cv::Mat valid = overlap(Pose, size, 2);
    const auto curves = toneCurves(First, laid, valid);
    cv::Mat difference(size, CV_8U, cv::Scalar(0));
    for (int y = 0; y < size.height; ++y) {
        const cv::Vec3b *a = First.ptr<cv::Vec3b>(y);
        const cv::Vec3b *b = laid.ptr<cv::Vec3b>(y);
        const uchar *inside = valid.ptr<uchar>(y);
        uchar *d = difference.ptr<uchar>(y);
        for (int x = 0; x < size.width; ++x) {
            if (!inside[x])
                continue;
            double sum = 0;
            for (size_t c = 0; c < 3; ++c) {
                const double delta = a[x][int(c)] - curves[c][b[x][int(c)]];
                sum += delta * delta;
            }
            d[x] = cv::saturate_cast<uchar>(std::sqrt(sum / 3));
        }
    }
    // Dust and fibres lie elsewhere on the card in each scan: specks of a
    // pixel or two, which the median removes and a card's art or text is not.
    cv::medianBlur(difference, difference, 3);
    const int patch = std::max(3, (std::max(size.width, size.height) / 45) | 1);
    cv::Mat sum, area;
    cv::boxFilter(difference, sum, CV_32F, cv::Size(patch, patch), cv::Point(-1, -1), false, cv::BORDER_CONSTANT);
    cv::boxFilter(valid, area, CV_32F, cv::Size(patch, patch), cv::Point(-1, -1), false, cv::BORDER_CONSTANT);
    const float whole = float(patch * patch) * 255;
    double worst = 0;
    for (int y = 0; y < size.height; ++y) {
        const float *s = sum.ptr<float>(y);
        const float *n = area.ptr<float>(y);
        for (int x = 0; x < size.width; ++x)
            if (n[x] >= 0.9f * whole)
                worst = std::max(worst, double(s[x]) * 255 / n[x]);
    }
    return worst;
}

double halfAt(double Value, double Half)
{
    const double ratio = Value / Half;
    return 1 / (1 + ratio * ratio);
}

} // namespace

QImage GuardPicture(const QImage &Scan)
{
    if (Scan.isNull())
        return {};
    const cv::Mat rgb = reduced(Scan);
    QImage picture(rgb.cols, rgb.rows, QImage::Format_RGB888);
    cv::Mat target = MatView(picture);
    rgb.copyTo(target);
    return picture;
}

TGuardScore SameCard(const QImage &Previous, const QImage &Scan)
{
    if (Previous.isNull() || Scan.isNull())
        return {};
    const int longSide = std::min(longSideFor(Previous.size()), longSideFor(Scan.size()));
    const cv::Size size = reducedSize(Previous.size(), longSide);
    const cv::Size scanSize = reducedSize(Scan.size(), longSide);
    // Another shape is another area: its card would sit at another scale.
    if (std::abs(size.width - scanSize.width) > 1 || std::abs(size.height - scanSize.height) > 1
        || std::min(size.width, size.height) < kSmallestSide)
        return {};
    const cv::Mat first = reduced(Previous, size);
    const cv::Mat second = reduced(Scan, size);

    const cv::Mat firstGrey = normalised(grey(first));
    const cv::Mat secondGrey = normalised(grey(second));
    constexpr int kLevels = 2;
    std::array<cv::Mat, kLevels + 1> firstLevels, secondLevels;
    for (int level = 0; level <= kLevels; ++level) {
        firstLevels[size_t(level)] = smoothed(halved(firstGrey, level));
        secondLevels[size_t(level)] = smoothed(halved(secondGrey, level));
    }
    TPose pose = coarsePose(firstLevels[kLevels], secondLevels[kLevels]);
    for (int level = kLevels - 1; level >= 0; --level) {
        const double factor = double(firstLevels[size_t(level)].cols) / firstLevels[size_t(level + 1)].cols;
        pose = refinedPose(firstLevels[size_t(level)], secondLevels[size_t(level)], scaledPose(pose, factor),
                           level == 0 ? 6 : 10);
    }
    const double reach = std::max(size.width, size.height);
    if (std::abs(pose.Angle) > kLargestTurn || std::hypot(pose.Shift.x, pose.Shift.y) > kLargestShift * reach)
        return {};
    const double score = halfAt(worstPatch(first, second, pose), kSameDifference);
    return {score >= 0.5, score};
}

TGuardScore EmptyArea(const QImage &Scan)
{
    if (Scan.isNull())
        return {true, 1};
    const cv::Mat rgb = reduced(Scan);
    // The lid is what most of an empty area shows: the median of each channel.
    std::array<cv::Mat, 3> channels;
    cv::split(rgb, channels.data());
    cv::Mat difference(rgb.size(), CV_8U, cv::Scalar(0));
    for (const cv::Mat &channel : channels) {
        std::array<int, 256> histogram{};
        for (int y = 0; y < channel.rows; ++y)
            for (int x = 0; x < channel.cols; ++x)
                ++histogram[channel.at<uchar>(y, x)];
        const int lid = MedianLevel(histogram, int(rgb.total()));
        cv::Mat away;
        cv::absdiff(channel, cv::Scalar(lid), away);
        cv::max(difference, away, difference);
    }
    // Dust specks and fibres are a pixel or two across here; a card's art, its
    // text and its edge against the lid are more.
    cv::medianBlur(difference, difference, 5);
    const double content = double(cv::countNonZero(difference > kContentStep)) / double(rgb.total());
    const double score = halfAt(content, kEmptyShare);
    return {score >= 0.5, score};
}

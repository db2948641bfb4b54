#include "cards/CardRegions.h"

#include "cards/ImageMat.h"

#include <opencv2/imgproc.hpp>

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The coarse look works near 100 dpi: a card is a couple of hundred pixels
// wide there, and a 3 mm gap between two cards still a dozen.
constexpr double kWorkingDpi = 100;

struct TBlob
{
    std::vector<cv::Point> Points;
    double Area = 0;
};

cv::Mat ellipse(double Radius)
{
    const int r = std::max(1, int(std::lround(Radius)));
    return cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * r + 1, 2 * r + 1));
}

// The median of each channel and the spread of the brightest one over a band
// along the image's edges, where a glass shows its lid.
struct TLid
{
    cv::Scalar Colour;
    double Noise = 0;
};

TLid lidOf(const cv::Mat &Small, int Band)
{
    const int channels = Small.channels();
    std::vector<std::array<int, 256>> histograms(size_t(channels), std::array<int, 256>{});
    std::array<int, 256> brightness{};
    int count = 0;
    const auto take = [&](int X, int Y) {
        const uchar *pixel = Small.ptr<uchar>(Y) + X * channels;
        int sum = 0;
        for (int c = 0; c < channels; ++c) {
            ++histograms[size_t(c)][pixel[c]];
            sum += pixel[c];
        }
        ++brightness[size_t(sum / channels)];
        ++count;
    };
    for (int y = 0; y < Small.rows; ++y) {
        const bool edgeRow = y < Band || y >= Small.rows - Band;
        for (int x = 0; x < Small.cols; ++x)
            if (edgeRow || x < Band || x >= Small.cols - Band)
                take(x, y);
    }
    TLid lid;
    for (int c = 0; c < channels; ++c)
        lid.Colour[c] = MedianLevel(histograms[size_t(c)], count);
    // The median absolute deviation of the brightness, as a Gaussian's sigma.
    const int centre = MedianLevel(brightness, count);
    std::array<int, 256> deviations{};
    for (int v = 0; v < 256; ++v)
        deviations[size_t(std::abs(v - centre))] += brightness[size_t(v)];
    lid.Noise = 1.4826 * MedianLevel(deviations, count);
    return lid;
}

// The rectangle of a set of pixel positions: sides through the outer pixels'
// outer edges, turned within 45 degrees of upright.
TCardPose poseOf(const std::vector<cv::Point> &Points)
{
    const cv::RotatedRect rect = cv::minAreaRect(Points);
    cv::Point2f corners[4];
    cv::RotatedRect(rect.center, rect.size + cv::Size2f(1, 1), rect.angle).points(corners);
    std::array<cv::Point2d, 4> box;
    for (size_t i = 0; i < 4; ++i)
        box[i] = cv::Point2d(corners[i].x + 0.5, corners[i].y + 0.5);
    return UprightPose(box);
}

bool fitsIn(const TCardPose &Pose, const cv::Size2d &Card, double Slack)
{
    return Pose.Size.width <= Card.width * 1.02 + Slack && Pose.Size.height <= Card.height * 1.02 + Slack;
}

std::vector<TBlob> blobsOf(const cv::Mat &Mask)
{
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(Mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    std::vector<TBlob> blobs;
    for (auto &contour : contours) {
        TBlob blob;
        blob.Area = cv::contourArea(contour) + cv::arcLength(contour, true) / 2;
        blob.Points = std::move(contour);
        blobs.push_back(std::move(blob));
    }
    return blobs;
}

// Cards whose shadows touch make one blob, and a fibre lying against a card
// grows its blob: wearing the blob down and building it up again parts thin
// bridges and drops thin tails.
std::vector<TBlob> splitJoined(const TBlob &Blob, const cv::Size &ImageSize, const cv::Size2d &Card,
                               double PxPerMm)
{
    cv::Mat mask = cv::Mat::zeros(ImageSize, CV_8U);
    cv::drawContours(mask, std::vector<std::vector<cv::Point>>{Blob.Points}, 0, 255, cv::FILLED);
    const cv::Mat kernel = ellipse(1.0 * PxPerMm);
    cv::Mat worn;
    cv::erode(mask, worn, kernel);
    std::vector<TBlob> parts;
    for (TBlob &core : blobsOf(worn)) {
        if (core.Area < 0.3 * Card.area())
            continue;
        cv::Mat part = cv::Mat::zeros(ImageSize, CV_8U);
        cv::drawContours(part, std::vector<std::vector<cv::Point>>{core.Points}, 0, 255, cv::FILLED);
        cv::dilate(part, part, kernel);
        part &= mask;
        for (TBlob &piece : blobsOf(part))
            parts.push_back(std::move(piece));
    }
    // One part left is the blob without the fibre or speck that stuck to it.
    if (parts.empty())
        return {Blob};
    return parts;
}

bool touchesBorder(const std::vector<cv::Point> &Points, const cv::Size &Size)
{
    return std::any_of(Points.begin(), Points.end(), [&](const cv::Point &P) {
        return P.x <= 0 || P.y <= 0 || P.x >= Size.width - 1 || P.y >= Size.height - 1;
    });
}

// The image at 1/Factor of its size without the padding byte of 32-bit
// pixels, each pixel the mean of four samples spread over its block: enough to
// see cards, their shadows and a thin line, while only a third of a large
// glass is read.
cv::Mat reduced(const cv::Mat &Pixels, int Factor)
{
    const int channels = std::min(3, Pixels.channels());
    // A 32-bit pixel keeps its padding byte last in memory on little-endian machines.
    const int first = Pixels.channels() == 4 && Q_BYTE_ORDER == Q_BIG_ENDIAN ? 1 : 0;
    cv::Mat small(Pixels.rows / Factor, Pixels.cols / Factor, CV_8UC(channels));
    const int near = Factor / 4;
    const int far = 3 * Factor / 4;
    for (int y = 0; y < small.rows; ++y) {
        const uchar *rows[2] = {Pixels.ptr<uchar>(y * Factor + near), Pixels.ptr<uchar>(y * Factor + far)};
        uchar *out = small.ptr<uchar>(y);
        for (int x = 0; x < small.cols; ++x) {
            const int columns[2] = {(x * Factor + near) * Pixels.channels() + first,
                                    (x * Factor + far) * Pixels.channels() + first};
            for (int c = 0; c < channels; ++c)
                out[x * channels + c] = uchar((rows[0][columns[0] + c] + rows[0][columns[1] + c]
                                               + rows[1][columns[0] + c] + rows[1][columns[1] + c] + 2) / 4);
        }
    }
    return small;
}

} // namespace

double GrainOf(const TBrightness &Image)
{
    // Differences of neighbours ignore a lid's slow shading.
    std::array<int, 512> differences{};
    int count = 0;
    const int band = std::max(1, std::min(Image.Height(), Image.Width()) / 50);
    const int stride = std::max(1, (Image.Height() + Image.Width()) * band / 100000);
    const auto take = [&](int Y) {
        for (int x = 0; x + 1 < Image.Width(); x += stride) {
            const int d = int(std::lround(Image.Pixel(x + 1, Y) - Image.Pixel(x, Y)));
            ++differences[size_t(255 + d)];
            ++count;
        }
    };
    for (int y = 0; y < band && y < Image.Height(); ++y) {
        take(y);
        take(Image.Height() - 1 - y);
    }
    if (count == 0)
        return 0;
    // The median absolute difference; the difference of two grains is sqrt(2) wider.
    std::array<int, 256> absolute{};
    for (int d = -255; d <= 255; ++d)
        absolute[size_t(std::abs(d))] += differences[size_t(d + 255)];
    return 1.4826 * MedianLevel(absolute, count) / std::sqrt(2.0);
}

std::vector<TCoarseRegion> FindCoarseRegions(const cv::Mat &Pixels, double Dpi, cv::Size2d CardPixels)
{
    std::vector<TCoarseRegion> regions;
    const int factor = std::max(1, int(Dpi / kWorkingDpi));
    const double pxPerMm = Dpi / 25.4 / factor;
    const cv::Size2d card(CardPixels.width / factor, CardPixels.height / factor);
    const int band = std::max(2, int(std::lround(2 * pxPerMm)));
    if (Pixels.empty() || Pixels.cols / factor < 4 * band || Pixels.rows / factor < 4 * band)
        return regions;

    const cv::Mat small = reduced(Pixels, factor);

    const TLid lid = lidOf(small, band);

    // Whatever differs from the lid by more than its grain in any channel.
    cv::Mat difference;
    cv::absdiff(small, lid.Colour, difference);
    cv::Mat deviation;
    if (difference.channels() > 1) {
        std::vector<cv::Mat> channels;
        cv::split(difference, channels);
        deviation = channels[0];
        for (size_t c = 1; c < channels.size(); ++c)
            deviation = cv::max(deviation, channels[c]);
    } else {
        deviation = difference;
    }
    cv::Mat mask = deviation > std::max(14.0, 5 * lid.Noise);
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, ellipse(0.5 * pxPerMm));

    // Solid blobs: a card's outline or its shadow line encloses the card.
    std::vector<TBlob> found = blobsOf(mask);
    std::vector<TBlob> blobs;
    const double dust = 4 * pxPerMm * pxPerMm;
    for (TBlob &blob : found) {
        const cv::RotatedRect rect = cv::minAreaRect(blob.Points);
        const double longSide = std::max(rect.size.width, rect.size.height);
        if (blob.Area < dust && longSide < 4 * pxPerMm)
            continue;
        const TCardPose pose = poseOf(blob.Points);
        if (!fitsIn(pose, card, 0) && blob.Area > 0.5 * card.area()) {
            for (TBlob &part : splitJoined(blob, small.size(), card, pxPerMm))
                blobs.push_back(std::move(part));
        } else {
            blobs.push_back(std::move(blob));
        }
    }

    // A light card on a white lid may show only its art and its shadow line,
    // as separate blobs: together they still fit in one card.
    std::sort(blobs.begin(), blobs.end(), [](const TBlob &A, const TBlob &B) { return A.Area > B.Area; });
    std::vector<bool> used(blobs.size(), false);
    const double slack = 0.5 * pxPerMm;
    for (size_t i = 0; i < blobs.size(); ++i) {
        if (used[i] || blobs[i].Area < 0.1 * card.area())
            continue;
        used[i] = true;
        std::vector<cv::Point> points = blobs[i].Points;
        double area = blobs[i].Area;
        for (bool grown = true; grown;) {
            grown = false;
            const cv::Rect reach = cv::boundingRect(points);
            for (size_t j = i + 1; j < blobs.size(); ++j) {
                // A blob a card's length away cannot join; most are, on a busy glass.
                const cv::Rect both = cv::boundingRect(blobs[j].Points) | reach;
                if (used[j] || both.width > card.width + card.height || both.height > card.width + card.height)
                    continue;
                std::vector<cv::Point> joined = points;
                joined.insert(joined.end(), blobs[j].Points.begin(), blobs[j].Points.end());
                if (!fitsIn(poseOf(joined), card, slack))
                    continue;
                points = std::move(joined);
                area += blobs[j].Area;
                used[j] = true;
                grown = true;
            }
        }

        TCoarseRegion region;
        region.Pose = poseOf(points);
        const double width = region.Pose.Size.width / card.width;
        const double height = region.Pose.Size.height / card.height;
        if (touchesBorder(points, small.size())) {
            region.Unsure = TUnsureReason::ImageEdge;
        } else if (width > 1.05 || height > 1.05) {
            // Two cards lying on each other leave a blob that fills its rectangle badly.
            const bool ragged = area < 0.97 * region.Pose.Size.area();
            region.Unsure = area > 1.15 * card.area() && ragged ? TUnsureReason::Overlap
                                                                       : TUnsureReason::Size;
        } else if (width < 0.6 || height < 0.6) {
            if (area < 0.25 * card.area())
                continue;
            region.Unsure = TUnsureReason::Size;
        }
        region.Pose.Centre *= factor;
        region.Pose.Size = cv::Size2d(region.Pose.Size.width * factor, region.Pose.Size.height * factor);
        regions.push_back(region);
    }
    return regions;
}

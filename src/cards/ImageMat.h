#pragma once

// QImage pixels seen as OpenCV matrices, without copying them.

#include <QImage>

#include <opencv2/core.hpp>

#include <array>
#include <cmath>

// Image in a format the finder reads directly: 32-bit RGB (4 channels, blue
// first in memory), 24-bit RGB (3 channels, red first) or 8-bit grey; anything
// else converted to 32-bit RGB.
QImage FinderImage(const QImage &Image);

// A view of a FinderImage's pixels; valid while the image lives and is not
// detached. Writing through it writes the image.
cv::Mat MatView(const QImage &Image);

// Which channels of a FinderImage's view with Channels channels (3 or 4) hold
// red, green and blue.
std::array<int, 3> RgbChannels(int Channels);

// The median of Count values counted by level: the lowest level with at least
// half of them at or below it.
int MedianLevel(const std::array<int, 256> &Histogram, int Count);

// The brightness of a FinderImage's pixels, worked out only where it is read:
// the finder looks at a small part of a large glass.
class TBrightness
{
public:
    explicit TBrightness(const QImage &Image);

    int Width() const { return pixels_.cols; }
    int Height() const { return pixels_.rows; }
    double Pixel(int X, int Y) const
    {
        const uchar *pixel = pixels_.ptr<uchar>(Y) + X * channels_;
        double sum = 0;
        for (int c = 0; c < channels_; ++c)
            sum += weights_[size_t(c)] * pixel[c];
        return sum;
    }
    // Bilinear between pixel centres at a continuous position; false outside
    // the centres of the image's outer pixels.
    bool At(double X, double Y, double &Value) const
    {
        const double x = X - 0.5;
        const double y = Y - 0.5;
        const int x0 = int(std::floor(x));
        const int y0 = int(std::floor(y));
        if (x0 < 0 || y0 < 0 || x0 + 1 >= pixels_.cols || y0 + 1 >= pixels_.rows)
            return false;
        const double fx = x - x0;
        const double fy = y - y0;
        Value = (1 - fy) * ((1 - fx) * Pixel(x0, y0) + fx * Pixel(x0 + 1, y0))
                + fy * ((1 - fx) * Pixel(x0, y0 + 1) + fx * Pixel(x0 + 1, y0 + 1));
        return true;
    }

private:
    cv::Mat pixels_;
    int channels_ = 1;
    std::array<double, 4> weights_{1, 0, 0, 0};
};

#pragma once

// QImage pixels seen as OpenCV matrices, without copying them.

#include <QImage>

#include <opencv2/core.hpp>

// Image in a format the finder reads directly: 32-bit RGB (4 channels, blue
// first in memory), 24-bit RGB (3 channels, red first) or 8-bit grey; anything
// else converted to 32-bit RGB.
QImage FinderImage(const QImage &Image);

// A view of a FinderImage's pixels; valid while the image lives and is not
// detached. Writing through it writes the image.
cv::Mat MatView(const QImage &Image);

// The brightness of every pixel of a FinderImage.
cv::Mat GreyOf(const QImage &Image);

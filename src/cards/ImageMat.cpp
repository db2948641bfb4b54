#include "cards/ImageMat.h"

#include <opencv2/imgproc.hpp>

namespace {

bool isFourChannel(QImage::Format Format)
{
    return Format == QImage::Format_RGB32 || Format == QImage::Format_ARGB32
           || Format == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

QImage FinderImage(const QImage &Image)
{
    const QImage::Format format = Image.format();
    if (isFourChannel(format) || format == QImage::Format_RGB888 || format == QImage::Format_Grayscale8)
        return Image;
    return Image.convertToFormat(QImage::Format_RGB32);
}

cv::Mat MatView(const QImage &Image)
{
    const int type = isFourChannel(Image.format()) ? CV_8UC4
                     : Image.format() == QImage::Format_RGB888 ? CV_8UC3
                                                                : CV_8UC1;
    // constBits() keeps a shared image shared; the finder only reads through it.
    return cv::Mat(Image.height(), Image.width(), type, const_cast<uchar *>(Image.constBits()),
                   size_t(Image.bytesPerLine()));
}

cv::Mat GreyOf(const QImage &Image)
{
    const cv::Mat pixels = MatView(Image);
    cv::Mat grey;
    switch (pixels.channels()) {
    case 4: cv::cvtColor(pixels, grey, cv::COLOR_BGRA2GRAY); break;
    case 3: cv::cvtColor(pixels, grey, cv::COLOR_RGB2GRAY); break;
    default: grey = pixels; break;
    }
    return grey;
}

#include "cards/ImageMat.h"

#include <QtGlobal>

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

std::array<int, 3> RgbChannels(int Channels)
{
    // A 32-bit pixel is one word holding padding, red, green and blue from its high byte down.
    if (Channels == 4)
        return Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? std::array<int, 3>{2, 1, 0} : std::array<int, 3>{1, 2, 3};
    return {0, 1, 2};
}

int MedianLevel(const std::array<int, 256> &Histogram, int Count)
{
    int seen = 0;
    for (int v = 0; v < 256; ++v)
        if ((seen += Histogram[size_t(v)]) * 2 >= Count)
            return v;
    return 255;
}

TBrightness::TBrightness(const QImage &Image)
    : pixels_(MatView(Image)), channels_(pixels_.channels())
{
    if (channels_ == 1)
        return;
    // Luminance as ITU-R BT.601 weighs it.
    const std::array<int, 3> rgb = RgbChannels(channels_);
    weights_ = {};
    weights_[size_t(rgb[0])] = 0.299;
    weights_[size_t(rgb[1])] = 0.587;
    weights_[size_t(rgb[2])] = 0.114;
}

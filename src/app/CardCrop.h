#pragma once

#include <QImage>

#include <optional>

struct TScanArea;

// The picture a scan keeps. For an area that straightens and crops, the card
// the finder is sure of, straightened and cut to the card's size; when it finds
// none, more than one, or something it is unsure of, the operator decides
// whether the whole frame is kept instead. Nothing (and nothing saved) when the
// operator declines: the card then stays unscanned and selected for another try.
std::optional<QImage> PictureToKeep(const QImage &Scan, const TScanArea &Area);

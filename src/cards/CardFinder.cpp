#include "cards/CardFinder.h"

#include "cards/CardGeometry.h"
#include "cards/CardRegions.h"
#include "cards/ImageMat.h"
#include "cards/CardPlacement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

bool insideImage(const TCardPose &Pose, const cv::Size &Size)
{
    for (const cv::Point2d &corner : Pose.Corners())
        if (corner.x < 0 || corner.y < 0 || corner.x > Size.width || corner.y > Size.height)
            return false;
    return true;
}

} // namespace

QSize CardPixelSize(TCardSize Size, double Dpi)
{
    return QSize(int(std::lround(Size.WidthMm / 25.4 * Dpi)), int(std::lround(Size.HeightMm / 25.4 * Dpi)));
}

const char *UnsureReasonText(TUnsureReason Reason)
{
    switch (Reason) {
    case TUnsureReason::None: return "sure";
    case TUnsureReason::Size: return "size differs from the card";
    case TUnsureReason::ImageEdge: return "touches the image edge";
    case TUnsureReason::Overlap: return "overlaps another region";
    case TUnsureReason::WeakEdges: return "edges too weak";
    }
    return "";
}

std::vector<TFoundCard> FindCards(const QImage &Image, double Dpi, TCardSize Size)
{
    std::vector<TFoundCard> found;
    const QSize cardSize = CardPixelSize(Size, Dpi);
    if (Image.isNull() || Dpi <= 0 || cardSize.width() < 8 || cardSize.height() < 8)
        return found;
    const QImage image = FinderImage(Image);
    const cv::Mat pixels = MatView(image);
    const cv::Size2d card(cardSize.width(), cardSize.height());
    const std::vector<TCoarseRegion> regions = FindCoarseRegions(pixels, Dpi, card);
    if (regions.empty())
        return found;
    const TBrightness brightness(image);
    TGlassView glass{&brightness, Dpi, GrainOf(brightness), {}};
    for (const TCoarseRegion &region : regions)
        glass.Regions.push_back(region.Pose);

    // The lamp casts every card's shadow the same way: what the cards that
    // show it clearly say decides for those that do not.
    std::vector<TPlacement> placed;
    TLampSides lamp;
    for (size_t i = 0; i < regions.size(); ++i) {
        TPlacement placement{regions[i].Pose, regions[i].Unsure, {}, {}};
        if (placement.Unsure == TUnsureReason::None)
            placement = PlaceCard(glass, i, card, TLampSides());
        lamp.X += placement.ShadowVote.X;
        lamp.Y += placement.ShadowVote.Y;
        placed.push_back(placement);
    }
    lamp = {(lamp.X > 0) - (lamp.X < 0), (lamp.Y > 0) - (lamp.Y < 0)};
    for (size_t i = 0; i < placed.size(); ++i) {
        TPlacement &placement = placed[i];
        const bool helps = (placement.WantsLamp[0] && lamp.X) || (placement.WantsLamp[1] && lamp.Y);
        if ((placement.Unsure == TUnsureReason::None || placement.Unsure == TUnsureReason::WeakEdges) && helps)
            placement = PlaceCard(glass, i, card, lamp);
        if (placement.Unsure == TUnsureReason::None && !insideImage(placement.Pose, pixels.size()))
            placement.Unsure = TUnsureReason::ImageEdge;
    }
    for (size_t i = 0; i < placed.size(); ++i)
        for (size_t j = i + 1; j < placed.size(); ++j)
            if (Overlap(placed[i].Pose, placed[j].Pose)) {
                placed[i].Unsure = TUnsureReason::Overlap;
                placed[j].Unsure = TUnsureReason::Overlap;
            }
    for (const TPlacement &placement : placed)
        found.push_back(FoundCardOf(placement.Pose, placement.Unsure));
    SortInReadingOrder(found);
    return found;
}

QImage CutCard(const QImage &Image, const TFoundCard &Card, double Dpi, TCardSize Size)
{
    const QSize size = CardPixelSize(Size, Dpi);
    if (Image.isNull() || size.isEmpty())
        return QImage();
    const QImage image = FinderImage(Image);
    std::array<cv::Point2d, 4> corners;
    for (size_t i = 0; i < 4; ++i)
        corners[i] = cv::Point2d(Card.Corners[i].x(), Card.Corners[i].y());
    const TCardPose pose = UprightPose(corners);
    const double c = std::cos(pose.Angle);
    const double s = std::sin(pose.Angle);
    // Cut pixel centres onto image positions; OpenCV puts pixel centres on whole numbers.
    const double u = 0.5 - size.width() / 2.0;
    const double v = 0.5 - size.height() / 2.0;
    const cv::Matx23d toImage(c, -s, pose.Centre.x - 0.5 + c * u - s * v,
                              s, c, pose.Centre.y - 0.5 + s * u + c * v);
    QImage cut(size, image.format());
    cv::Mat target = MatView(cut);
    cv::warpAffine(MatView(image), target, toImage, target.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
    cut.setDotsPerMeterX(int(std::lround(Dpi / 0.0254)));
    cut.setDotsPerMeterY(int(std::lround(Dpi / 0.0254)));
    return cut;
}

void SortInReadingOrder(std::vector<TFoundCard> &Cards)
{
    struct TExtent { double Top, Bottom, Left; };
    std::vector<TExtent> extents;
    for (const TFoundCard &card : Cards) {
        TExtent extent{card.Corners[0].y(), card.Corners[0].y(), card.Corners[0].x()};
        for (const QPointF &corner : card.Corners) {
            extent.Top = std::min(extent.Top, corner.y());
            extent.Bottom = std::max(extent.Bottom, corner.y());
            extent.Left = std::min(extent.Left, corner.x());
        }
        extents.push_back(extent);
    }
    std::vector<size_t> order(Cards.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t A, size_t B) { return extents[A].Top < extents[B].Top; });

    // Each row is led by its topmost card; a card joins the first row whose
    // leader shares half of the shorter height with it.
    std::vector<std::vector<size_t>> rows;
    for (size_t index : order) {
        const TExtent &card = extents[index];
        auto row = std::find_if(rows.begin(), rows.end(), [&](const std::vector<size_t> &Row) {
            const TExtent &leader = extents[Row.front()];
            const double shared = std::min(card.Bottom, leader.Bottom) - std::max(card.Top, leader.Top);
            return shared >= 0.5 * std::min(card.Bottom - card.Top, leader.Bottom - leader.Top);
        });
        if (row == rows.end())
            rows.push_back({index});
        else
            row->push_back(index);
    }
    std::vector<TFoundCard> sorted;
    for (std::vector<size_t> &row : rows) {
        std::stable_sort(row.begin(), row.end(),
                         [&](size_t A, size_t B) { return extents[A].Left < extents[B].Left; });
        for (size_t index : row)
            sorted.push_back(Cards[index]);
    }
    Cards = std::move(sorted);
}

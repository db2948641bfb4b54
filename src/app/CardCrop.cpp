#include "app/CardCrop.h"

#include "cards/CardFinder.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "scanareas/ScanArea.h"
#include "settings/T_Log.h"

namespace {

void logLine(const QString &Text)
{
    if (AppLog)
        AppLog->Add(Text);
}

// Why no card can be cut: a translated text for the question, an English one
// for the run log.
struct TDoubt
{
    const char *Text;
    const char *LogText;
};

TDoubt doubtOf(TUnsureReason Reason)
{
    switch (Reason) {
    case TUnsureReason::Size:
        return {N_("its size differs from the card's"), "size differs from the card"};
    case TUnsureReason::ImageEdge:
        return {N_("it touches the edge of the scan"), "touches the image edge"};
    case TUnsureReason::Overlap:
        return {N_("it overlaps another card"), "overlaps another region"};
    case TUnsureReason::WeakEdges:
    case TUnsureReason::None:
        break;
    }
    return {N_("its edges do not show clearly"), "edges too weak"};
}

} // namespace

std::optional<QImage> PictureToKeep(const QImage &Scan, const TScanArea &Area)
{
    if (!Area.CropToCard)
        return Scan;
    const TCardSize size{AreaLengthMm(Area, Area.CardWidth), AreaLengthMm(Area, Area.CardHeight)};
    const double dpi = Area.Quality;
    const std::vector<TFoundCard> found = FindCards(Scan, dpi, size);

    int sure = 0;
    const TFoundCard *doubtful = nullptr;
    for (const TFoundCard &card : found) {
        if (card.Sure())
            ++sure;
        else if (!doubtful)
            doubtful = &card;
    }
    if (sure == 1 && !doubtful) {
        const TFoundCard &card = found.front();
        logLine(QStringLiteral("Card straightened and cut, angle %1").arg(card.AngleDegrees, 0, 'f', 2));
        return CutCard(Scan, card, dpi, size);
    }

    TDoubt doubt = doubtful ? doubtOf(doubtful->Unsure) : TDoubt{N_("no card was found"), "no card found"};
    if (!doubtful && sure > 1)
        doubt = {N_("more than one card was found"), "more than one card found"};
    logLine(QStringLiteral("No sure card in the scan: ") + QLatin1String(doubt.LogText));
    if (MessageDlgYesNo(_("No card could be cut for sure from the scan: %1. Save the whole frame?")
                            .arg(_(doubt.Text)))) {
        logLine(QStringLiteral("Whole frame kept"));
        return Scan;
    }
    logLine(QStringLiteral("Scan not saved"));
    return std::nullopt;
}

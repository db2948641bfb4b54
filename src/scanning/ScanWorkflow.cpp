#include "scanning/ScanWorkflow.h"

#include "cards/ScanGuard.h"
#include "cards/ScanQuestion.h"
#include "catalogue/SharedFileNames.h"
#include "catalogue/StoreFolder.h"
#include "output/ScanOutput.h"
#include "platform/AnsiText.h"
#include "platform/AppError.h"
#include "platform/MessageCatalogue.h"
#include "scanareas/DecimalText.h"
#include "settings/T_Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void logCut(const TFoundCard &Card)
{
    LogLine(QStringLiteral("Card straightened and cut, angle %1").arg(Card.AngleDegrees, 0, 'f', 2));
}

// Where a scan of a resolution goes, which status it gives the card, and the
// long side of its web copy (the size the picture would have at 150 dpi).
struct TQualityPlace
{
    QString Folder;
    TScanStatus Status = ScanMQ;
    int WebLongSide = 0;
};

TQualityPlace placeOf(qint32 Quality, const TStorePaths &Folders, QSize Picture)
{
    const int longSide = qMax(Picture.width(), Picture.height());
    switch (Quality) {
    case QualityVeryHigh: return {Folders.VhqDir, ScanVHQ, longSide / 4};
    case QualityHigh: return {Folders.HqDir, ScanHQ, longSide / 2};
    default: return {Folders.MqDir, ScanMQ, longSide};
    }
}

} // namespace

QString CardInfoLine(const TGameCard &Card)
{
    return QStringLiteral("Card info: id=%1, nr=%2, nrcol=%3, name=%4")
        .arg(Card.Id).arg(Card.Number).arg(Card.CollectorsNo, Card.Name);
}

TScanWorkflow::TScanWorkflow(TCardList &Cards, TScanHost &Host)
    : cards_(Cards), host_(Host)
{
}

void TScanWorkflow::StoreLoaded(const TStorePaths &Folders)
{
    storeAtLoad_ = ReadStoreFileTimes(Folders);
}

void TScanWorkflow::Start(int Row, const TScanArea &Area, const TStorePaths &Folders, int Naming,
                          const QString &WatermarkText)
{
    TJob job;
    job.Area = Area;
    job.Folders = Folders;
    job.Naming = Naming;
    job.WatermarkText = WatermarkText;
    const int last = std::min(cards_.Count(), Row + CardsPerFrame(Area));
    for (int row = Row; row >= 0 && row < last; ++row) {
        const TGameCard *card = cards_.Objects(row);
        if (!card)
            break;
        TServedCard served{card, *card, card->ScanFileName(Naming), false};
        served.SharesFileName = AnotherCardHasFileName(cards_, card, served.FileName, Naming);
        job.Cards.push_back(std::move(served));
    }
    job_ = std::move(job);
}

void TScanWorkflow::ForgetListCards()
{
    if (job_)
        for (TServedCard &card : job_->Cards)
            card.ListCard = nullptr;
}

void TScanWorkflow::Save(const QImage &Picture)
{
    if (!job_ || job_->Cards.empty())
        return;
    thisScan_.clear();
    try {
        if (job_->Area.SeveralCards)
            saveSeveralCards(Picture);
        else
            saveOneCard(Picture);
    } catch (const std::exception &Error) {
        reportSaveError(Error);
    }
    // A scan that saved nothing leaves the one before as what the next is checked against.
    if (!thisScan_.empty())
        previousScan_ = std::move(thisScan_);
}

void TScanWorkflow::reportSaveError(const std::exception &Error)
{
    const QString text = QStringLiteral("Error while saving image: ") + ErrorMessageOf(Error);
    LogError(text);
    host_.ShowError(text);
}

void TScanWorkflow::saveOneCard(const QImage &Picture)
{
    const std::optional<QImage> kept = pictureToKeep(Picture);
    if (!kept)
        return;
    host_.ShowPicture(*kept);
    const TServedCard &card = job_->Cards.front();
    if (saveCard(card, *kept, smallCopy(*kept), true))
        moveSelectionAfter(card);
}

std::optional<QImage> TScanWorkflow::pictureToKeep(const QImage &Scan)
{
    const TScanArea &area = job_->Area;
    if (!area.CropToCard)
        return Scan;
    const TCardSize size = AreaCardSize(area);
    const double dpi = area.Quality;
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
        logCut(found.front());
        return CutCard(Scan, found.front(), dpi, size);
    }

    QString doubt = _("no card was found");
    const char *logText = "no card found";
    if (doubtful) {
        doubt = DoubtText(doubtful->Unsure);
        logText = UnsureReasonText(doubtful->Unsure);
    } else if (sure > 1) {
        doubt = _("more than one card was found");
        logText = "more than one card found";
    }
    LogLine(QStringLiteral("No sure card in the scan: ") + QLatin1String(logText));
    if (host_.AskYesNo(_("No card could be cut for sure from the scan: %1. Save the whole frame?").arg(doubt))) {
        LogLine(QStringLiteral("Whole frame kept"));
        return Scan;
    }
    LogLine(QStringLiteral("Scan not saved"));
    return std::nullopt;
}

void TScanWorkflow::saveSeveralCards(const QImage &Glass)
{
    const TCardSize size = AreaCardSize(job_->Area);
    const double dpi = job_->Area.Quality;
    const std::vector<TFoundCard> found = FindCards(Glass, dpi, size);
    QStringList names;
    for (const TServedCard &card : job_->Cards)
        names << card.Copy.Name;
    const double pixelsPerMm = dpi / 25.4;
    std::vector<TPassCard> pass =
        AssignFoundCards(found, names, size.WidthMm * size.HeightMm * pixelsPerMm * pixelsPerMm);
    int unsure = 0;
    int extra = 0;
    for (const TPassCard &card : pass) {
        unsure += card.Unsure != TUnsureReason::None;
        extra += card.Extra();
    }
    LogLine(QStringLiteral("Cards found: %1, unsure %2, beyond the list %3").arg(pass.size()).arg(unsure).arg(extra));

    // Cut before the review, so that the check can show its doubts in it.
    std::vector<QImage> cuts(pass.size());
    std::vector<QImage> smalls(pass.size());
    try {
        for (size_t i = 0; i < pass.size(); ++i) {
            TPassCard &card = pass[i];
            if (!card.Savable())
                continue;
            cuts[i] = CutCard(Glass, found[i], dpi, size);
            smalls[i] = smallCopy(cuts[i]);
            if (!passCheck_)
                continue;
            const TServedCard &served = job_->Cards[size_t(card.ListIndex)];
            card.Doubt = passCheck_(TCardToSave{smalls[i], served.Copy.Name, previousScan_});
            card.Keep = card.Doubt.isEmpty();
        }
    } catch (const std::exception &Error) {
        reportSaveError(Error);
        return;
    }

    std::vector<TPassCard> reviewed = pass;
    if (!host_.ReviewCards(Glass, reviewed) || !job_) {
        LogLine(QStringLiteral("Cards not saved"));
        return;
    }
    const TServedCard *lastSaved = nullptr;
    for (size_t i = 0; i < pass.size(); ++i) {
        const TPassCard &card = pass[i];
        // The review only chooses which cards to keep.
        const bool keep = i < reviewed.size() && reviewed[i].Keep;
        if (card.Extra())
            continue;
        const TServedCard &served = job_->Cards[size_t(card.ListIndex)];
        if (!card.Savable()) {
            for (int k = 0; k < card.ListCount; ++k)
                LogLine(QStringLiteral("Card not saved, %1: ").arg(QLatin1String(UnsureReasonText(card.Unsure)))
                        + job_->Cards[size_t(card.ListIndex + k)].Copy.Name);
            continue;
        }
        if (!card.Doubt.isEmpty())
            LogLine(ScanCheckAnswerLogLine(served.Copy.Name, keep));
        if (!keep) {
            LogLine(QStringLiteral("Card left out: ") + served.Copy.Name);
            continue;
        }
        LogLine(CardInfoLine(served.Copy));
        try {
            logCut(found[i]);
            host_.ShowPicture(cuts[i]);
            // Checked before the review when a pass check is set.
            if (saveCard(served, cuts[i], smalls[i], !passCheck_))
                lastSaved = &served;
        } catch (const std::exception &Error) {
            // The same failure would meet every card after it.
            reportSaveError(Error);
            break;
        }
    }
    if (lastSaved)
        moveSelectionAfter(*lastSaved);
}

QImage TScanWorkflow::smallCopy(const QImage &Picture) const
{
    return saveCheck_ || passCheck_ ? GuardPicture(Picture) : QImage();
}

bool TScanWorkflow::saveCard(const TServedCard &Card, const QImage &Picture, const QImage &Small, bool Check)
{
    if (Check && saveCheck_
        && !saveCheck_(TCardToSave{Small, Card.Copy.Name, previousScan_}, host_))
        return false;
    const TQualityPlace place = placeOf(job_->Area.Quality, job_->Folders, Picture.size());
    const QString fileName = FromAnsi(Card.FileName);
    const QString hq = place.Folder + fileName;
    LogLine(QStringLiteral("hqName=") + hq);
    const QString web = job_->Folders.WebDir + fileName;
    LogLine(QStringLiteral("webName=") + web);
    for (const QString &file : {hq, web}) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!QDir().mkpath(folder))
            throw EAppError(_("Cannot create folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
    }
    LogLine(QStringLiteral("Folders ready"));
    const double ratio = Picture.height() > 0 ? double(Picture.width()) / double(Picture.height()) : 1.0;
    LogLine(QStringLiteral("image ratio=") + FormatTwoDecimals(ratio));
    if (!mayReplaceFiles(Card, hq, web))
        return false;

    const bool webWritten = WriteHqAndWebJpeg(Picture, hq, place.WebLongSide, kWebJpegQuality, web, ratio,
                                              job_->WatermarkText, [this](bool Written) {
                                                  if (!Written)
                                                      host_.ShowError(_("Cannot save JPEG file!"));
                                                  LogLine(QStringLiteral("HQ file saved"));
                                              });
    if (!webWritten)
        host_.ShowError(_("Cannot save scaled JPEG file!"));
    LogLine(QStringLiteral("Resized web image saved"));
    noteOwnWrite(hq);
    noteOwnWrite(web);
    markCard(Card, place.Status);
    showFileFacts(hq, Picture.size());
    if (!Small.isNull())
        thisScan_.push_back({Small, Card.Copy.Name});
    return true;
}

bool TScanWorkflow::mayReplaceFiles(const TServedCard &Card, const QString &Hq, const QString &Web)
{
    // Two cards may share a file name (a list without ids, naming by number with
    // numbers missing, naming by name with twins): a scan must not silently
    // replace another card's picture, in its quality folder or in the web folder
    // every quality shares. The file is the scanned card's own only when that card
    // has a scan and none of the others does.
    const QString existing = !Card.SharesFileName   ? QString()
                             : QFileInfo::exists(Hq)  ? Hq
                             : QFileInfo::exists(Web) ? Web
                                                      : QString();
    const bool ownFile = Card.ListCard && Card.ListCard->ScanStatus != ScanNone
                         && !AnotherCardHasFileName(cards_, Card.ListCard, Card.FileName, job_->Naming, true);
    if (!existing.isEmpty() && !ownFile) {
        if (!host_.AskYesNo(_("The file \"%1\" exists and belongs to another card of this list "
                              "as well. Replace it?").arg(QDir::toNativeSeparators(existing)))) {
            LogLine(QStringLiteral("Existing file of another card kept, card not saved: ") + existing);
            return false;
        }
        LogLine(QStringLiteral("Existing file of another card replaced: ") + existing);
        return true;
    }
    // Stations sharing the store: one of them may have scanned this card since.
    for (const QString &file : {Hq, Web}) {
        if (!writtenByAnotherStation(file))
            continue;
        if (!host_.AskYesNo(_("The file \"%1\" was written by another station after this list "
                              "was loaded. Replace it?").arg(QDir::toNativeSeparators(file)))) {
            LogLine(QStringLiteral("File of another station kept, card not saved: ") + file);
            return false;
        }
        LogLine(QStringLiteral("File of another station replaced: ") + file);
        break;
    }
    return true;
}

void TScanWorkflow::markCard(const TServedCard &Card, TScanStatus Status)
{
    // The card the scan was started for, wherever sorting has put it; cards that
    // merely share its Id (a list without ids) are other cards.
    const int row = rowOf(Card.ListCard);
    if (row < 0)
        return;
    cards_.Objects(row)->ScanStatus = Status;
    LogLine(QStringLiteral("local scan status changed"));
    host_.RepaintCards();
    LogLine(QStringLiteral("Image repainted"));
}

void TScanWorkflow::showFileFacts(const QString &Hq, QSize Size)
{
    host_.ShowFileFacts(Hq, _("Cannot read file size"));
    QFile file(Hq);
    if (!file.open(QIODevice::ReadOnly))
        throw EAppError(_("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(Hq), file.errorString()));
    LogLine(QStringLiteral("File opened"));
    const QString facts =
        QStringLiteral("%1x%2, %3kB").arg(Size.width()).arg(Size.height()).arg(file.size() / 1024);
    host_.ShowFileFacts(Hq, facts);
    LogLine(QStringLiteral("File info: ") + facts);
    file.close();
    LogLine(QStringLiteral("File closed"));
}

int TScanWorkflow::rowOf(const TGameCard *Card) const
{
    if (!Card)
        return -1;
    for (int i = 0; i < cards_.Count(); ++i)
        if (cards_.Objects(i) == Card)
            return i;
    return -1;
}

void TScanWorkflow::moveSelectionAfter(const TServedCard &LastSaved)
{
    // Only when the operator left the selection on the card the scan began with.
    const int selected = host_.SelectedRow();
    if (selected < 0 || selected >= cards_.Count() || cards_.Objects(selected) != job_->Cards.front().ListCard)
        return;
    const int row = rowOf(LastSaved.ListCard);
    if (row < 0)
        return;
    // After the list's last card there is nothing to move to: the selection goes to that card.
    const int target = row + 1 < cards_.Count() ? row + 1 : row;
    if (target == selected)
        return;
    host_.SelectRow(target);
    LogLine(QStringLiteral("Move focus to next card"));
}

bool TScanWorkflow::writtenByAnotherStation(const QString &FileName) const
{
    const QFileInfo file(FileName);
    if (!file.isFile())
        return false;
    const qint64 modified = file.lastModified().toMSecsSinceEpoch();
    // Compared with the times the store itself gave, never with this machine's
    // clock: the stations' clocks and the file server's need not agree.
    return storeAtLoad_.value(FileName, -1) != modified && ownWrites_.value(FileName, -1) != modified;
}

void TScanWorkflow::noteOwnWrite(const QString &FileName)
{
    const QFileInfo file(FileName);
    if (file.isFile())
        ownWrites_.insert(FileName, file.lastModified().toMSecsSinceEpoch());
}

// The main window's scanning: choosing the source, the acquire command, the
// scanner's events, and the configuration dialog's scanner test.
#include "app/AppForms.h"
#include "app/CardCrop.h"
#include "app/CardListModel.h"
#include "app/ImageView.h"
#include "app/Main.h"
#include "catalogue/SharedFileNames.h"
#include "output/SaveJpeg.h"
#include "output/ScanOutput.h"
#include "platform/AnsiText.h"
#include "platform/AppError.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "scanareas/DecimalText.h"
#include "scanareas/ScanArea.h"
#include "scanner/FormSelectSource.h"
#include "scanner/ScannerTest.h"
#include "scanner/TwainManager.h"
#include "settings/Configuration.h"
#include "settings/T_Log.h"

#include <QComboBox>
#include <QScopeGuard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTableView>

namespace {

void logLine(const QString &Text)
{
    if (AppLog)
        AppLog->Add(Text);
}

void logError(const QString &Text)
{
    if (AppLog)
        AppLog->AddError(Text);
}

// Where a scan of a resolution goes, which status it gives the card, and the
// long side of its web copy (the size the picture would have at 150 dpi).
struct TQualityPlace
{
    const QString *Folder = nullptr;
    TScanStatus Status = ScanMQ;
    int WebLongSide = 0;
};

// Why a source refused, in the operator's words, from the condition code it left.
QString refusalText(TW_UINT16 ConditionCode)
{
    switch (ConditionCode) {
    case TWCC_NODS: return _("it is not connected or not switched on");
    case TWCC_MAXCONNECTIONS: return _("it is in use by another program");
    case TWCC_LOWMEMORY: return _("there is not enough memory");
    case TWCC_OPERATIONERROR: return _("the scanner reported an error");
    case 16 /* TWCC_DENIED */: return _("access to it was denied");
    case 23 /* TWCC_CHECKDEVICEONLINE */: return _("it is not ready; check that it is switched on");
    default: return _("the scanner answered with condition code %1").arg(ConditionCode);
    }
}

QString sourceLabel(const QByteArray &ProductName)
{
    return QString::fromLocal8Bit(ProductName);
}

void reportMissingSource(const QString &Name)
{
    MessageDlg(_("The scanner \"%1\" was not found: %2. Connect it and try again, or choose another "
                 "scanner with Scanner, Select Source.")
                   .arg(Name, refusalText(TWCC_NODS)),
               TMsgDlgType::Error);
}

} // namespace

void TfrmMain::createTwainManager()
{
    Twain = std::make_unique<TTwainManager>(this);
    BindTwainUi(*Twain);
    using namespace std::placeholders;
    Twain->OnTwainAcquire = std::bind(&TfrmMain::TwainTwainAcquire, this, _1, _2, _3, _4);
    Twain->OnAcquireCancel = std::bind(&TfrmMain::TwainAcquireCancel, this, _1, _2);
    Twain->OnAcquireError = std::bind(&TfrmMain::TwainAcquireError, this, _1, _2, _3, _4);
    Twain->OnSourceDisable = std::bind(&TfrmMain::TwainSourceDisable, this, _1, _2);
    Twain->OnTransferComplete = std::bind(&TfrmMain::TwainTransferComplete, this, _1, _2, _3);
}

void TfrmMain::freeTwainManager()
{
    Twain.reset();
}

quint8 TfrmMain::transferModeSetting() const
{
    return forms_ && forms_->frmConfiguration ? forms_->frmConfiguration->TransferMode : quint8(1);
}

int TfrmMain::fileNamesSetting() const
{
    return forms_ && forms_->frmConfiguration ? forms_->frmConfiguration->FileNames : 0;
}

QString TfrmMain::watermarkSetting() const
{
    return forms_ && forms_->frmConfiguration ? forms_->frmConfiguration->WatermarkText() : QString();
}

void TfrmMain::actSelectSourceExecute()
{
    // An open source belongs to the scan or the test under way; a new listing
    // would close it under their feet.
    if (Twain->OpenSourceCount() > 0) {
        MessageDlg(_("A card is being scanned. Wait until it is saved or cancel the scan "
                     "(Scanner, Cancel scan), then choose the scanner."),
                   TMsgDlgType::Warning);
        return;
    }
    if (!Twain->LoadDsm()) {
        ShowMessage(_("Twain is not installed."));
        return;
    }
    Twain->OpenManager();
    // Scanners plugged in or out since the last listing are offered as they are now.
    Twain->RefreshSources();
    // Which scanners were looked for, so a missing device can be told from a missing driver.
    const QString probe = Twain->DsmModule().ProbeReport();
    if (!probe.isEmpty())
        logLine(probe);
    if (!SourceName.isEmpty())
        Twain->ChosenIndex = Twain->FindSource(SourceName);
    SourceIndex = Twain->ChooseSource();
    const TTwainSource *chosen = SourceIndex >= 0 ? Twain->SourceAt(SourceIndex) : nullptr;
    SourceName = chosen ? chosen->ProductName() : QByteArray();
}

TTwainSource *TfrmMain::rememberedSource()
{
    TTwainSource *source = SourceIndex >= 0 ? Twain->SourceAt(SourceIndex) : nullptr;
    if (source && (SourceName.isEmpty() || source->ProductName() == SourceName))
        return source;
    if (SourceName.isEmpty() || !Twain->RefreshSources())
        return nullptr;
    const int found = Twain->FindSource(SourceName);
    if (found < 0)
        return nullptr;
    SourceIndex = found;
    return Twain->SourceAt(found);
}

TTwainSource *TfrmMain::openRememberedSource(TTwainSource *Source)
{
    Source->SetLoaded(true);
    if (Source->Loaded() || SourceName.isEmpty() || !Twain->RefreshSources())
        return Source;
    // A scanner plugged in again has a new device address: a fresh listing knows
    // it. The listing retires every source object, Source among them.
    const int found = Twain->FindSource(SourceName);
    if (found < 0)
        return nullptr;
    SourceIndex = found;
    TTwainSource *again = Twain->SourceAt(found);
    again->SetLoaded(true);
    return again;
}

void TfrmMain::mnAcquireImageClick()
{
    logLine(QStringLiteral("AcquireImageClick()"));
    auto end = qScopeGuard([] { logLine(QStringLiteral("AcquireImageClick()-END")); });
    if (cbFormat->currentIndex() < 0) {
        ShowMessageBox(_("Error"), _("Please choose scan area first!"));
        logError(QStringLiteral("Scan area not chosen!"));
        end.dismiss();
        return;
    }
    logLine(QStringLiteral("Scan area is set"));
    if (ScanCard) {
        MessageDlg(_("A card is alreay scanned!"), TMsgDlgType::Error);
        logError(QStringLiteral("Card is already scanned!"));
        end.dismiss();
        return;
    }
    const TGameCard *selected = SelectedCard();
    if (!selected) {
        end.dismiss();
        return;
    }
    ScanCard = std::make_unique<TGameCard>(*selected);
    scanListCard_ = selected;
    scanNaming_ = fileNamesSetting();
    scanFileName_ = ScanCard->ScanFileName(scanNaming_);
    scanSharesFileName_ = AnotherCardHasFileName(Cards, selected, scanFileName_, scanNaming_);
    actCancelScan->setEnabled(true);
    logLine(QStringLiteral("Card info: id=%1, nr=%2, nrcol=%3, name=%4")
                .arg(ScanCard->Id).arg(ScanCard->Number).arg(ScanCard->CollectorsNo, ScanCard->Name));
    logLine(QStringLiteral("Store paths"));
    ScanWebDir = WebDir;
    ScanMqDir = MqDir;
    ScanHqDir = HqDir;
    ScanVhqDir = VhqDir;
    const TScanArea *chosenArea = ScanAreaFromData(cbFormat->currentData());
    ScanArea = std::make_unique<TScanArea>(chosenArea ? *chosenArea : TScanArea());
    const TScanArea area = *ScanArea;
    logLine(QStringLiteral("Scan area %1 with dpi %2 starting at (%3, %4), width=%5, height=%6")
                .arg(area.Name).arg(area.Quality)
                .arg(FormatTwoDecimals(area.Left), FormatTwoDecimals(area.Top),
                     FormatTwoDecimals(area.Width), FormatTwoDecimals(area.Height)));

    if (!Twain->LoadDsm()) {
        endScan();
        logError(QStringLiteral("Twain is not installed"));
        ShowMessage(_("Twain is not installed."));
        return;
    }
    logLine(QStringLiteral("Twain library loaded"));
    if (SourceIndex == -1) {
        logLine(QStringLiteral("Choosing twain source"));
        actSelectSourceExecute();
    }
    if (SourceIndex == -1) {
        endScan();
        logLine(QStringLiteral("Source not selected!"));
        ShowMessage(_("Source not selected!"));
        return;
    }
    logLine(QStringLiteral("Source is selected"));

    TTwainSource *source = rememberedSource();
    if (source)
        source = openRememberedSource(source);
    if (!source) {
        const QString name = sourceLabel(SourceName);
        // Without a name to look for, the next scan asks for the source again.
        if (SourceName.isEmpty())
            SourceIndex = -1;
        abandonScan(nullptr, QStringLiteral("Source not found!"));
        reportMissingSource(name);
        return;
    }
    // Read now: the calls below leave their own codes behind.
    const TW_UINT16 openFailure = source->Loaded() ? TWCC_SUCCESS : Twain->ManagerConditionCode();
    logLine(QStringLiteral("Loaded set to True"));
    source->TransferMode = transferModeSetting();
    logLine(QStringLiteral("Transfer mode set to %1").arg(source->TransferMode));

    if (source->SetPixelType(TWPT_RGB) != CapResult::Success)
        logError(QStringLiteral("Cannot set RGB pixel type (2)!"));
    logLine(QStringLiteral("Pixel type set 2"));
    if (source->SetUnits(area.Units) != CapResult::Success)
        logError(QStringLiteral("Cannot set Pixels as unit (%1)!").arg(area.Units));
    logLine(QStringLiteral("Cap units set %1").arg(area.Units));
    // A source reads resolutions per current unit; the area's quality is dots
    // per inch, so a centimetre area would otherwise scan 2.54 times too fine.
    const double resolution = area.Units == TWUN_CENTIMETERS ? area.Quality / 2.54 : area.Quality;
    if (source->SetXResolution(resolution) != CapResult::Success)
        logError(QStringLiteral("Cannot set X resolution %1!").arg(area.Quality));
    logLine(QStringLiteral("X resolution set %1").arg(area.Quality));
    if (source->SetYResolution(resolution) != CapResult::Success)
        logError(QStringLiteral("Cannot set Y resolution %1!").arg(area.Quality));
    logLine(QStringLiteral("Y resolution set %1").arg(area.Quality));
    const double right = area.Left + area.Width;
    const double bottom = area.Top + area.Height;
    const QString frame = QStringLiteral("(%1, %2, %3, %4)!")
                              .arg(FormatTwoDecimals(area.Left), FormatTwoDecimals(area.Top),
                                   FormatTwoDecimals(right), FormatTwoDecimals(bottom));
    if (source->SetFrame(area.Left, area.Top, right, bottom) != CapResult::Success)
        logError(QStringLiteral("Cannot set scanning area ") + frame);
    logLine(QStringLiteral("Scan area set ") + frame);

    if (source->EnableSource(false, true)) {
        logLine(QStringLiteral("Source enabled"));
        // A slow scanner shows nothing for minutes: say what it is doing and how to stop it.
        statusBar()->showMessage(_("Scanning \"%1\"; Escape cancels the scan.").arg(ScanCard->Name));
        return;
    }
    logLine(QStringLiteral("Source disabled"));
    const bool opened = source->Loaded();
    const TW_UINT16 refusal = opened ? source->ConditionCode() : openFailure;
    // No image will ever come: without this every later scan would be refused.
    abandonScan(source, QStringLiteral("Scan abandoned, source closed"));
    const QString name = sourceLabel(source->ProductName());
    MessageDlg((opened ? _("The scanner \"%1\" did not start the scan: %2.")
                       : _("The scanner \"%1\" cannot be opened: %2."))
                   .arg(name, refusalText(refusal)),
               TMsgDlgType::Error);
}

void TfrmMain::actCancelScanExecute()
{
    if (!ScanCard)
        return;
    logLine(QStringLiteral("CancelScanClick()"));
    TTwainSource *source = SourceIndex >= 0 ? Twain->SourceAt(SourceIndex) : nullptr;
    abandonScan(source, QStringLiteral("Scan cancelled, source closed"));
    logLine(QStringLiteral("CancelScanClick()-END"));
}

void TfrmMain::endScan()
{
    ScanCard.reset();
    ScanArea.reset();
    scanListCard_ = nullptr;
    scanFileName_.clear();
    scanSharesFileName_ = false;
    actCancelScan->setEnabled(false);
    statusBar()->clearMessage();
}

void TfrmMain::abandonScan(TTwainSource *Source, const QString &Reason)
{
    endScan();
    if (Source)
        Source->SetLoaded(false);
    logLine(Reason);
}

void TfrmMain::saveAcquiredImage()
{
    TQualityPlace place;
    const std::optional<QImage> kept = PictureToKeep(ImageHolder->Picture(), ScanArea ? *ScanArea : TScanArea());
    if (!kept)
        return;
    ImageHolder->SetPicture(*kept);
    const QImage &picture = ImageHolder->Picture();
    const int width = picture.width();
    const int height = picture.height();
    const int longSide = qMax(width, height);
    switch (ScanArea ? ScanArea->Quality : QualityMedium) {
    case QualityVeryHigh: place = {&ScanVhqDir, ScanVHQ, longSide / 4}; break;
    case QualityHigh: place = {&ScanHqDir, ScanHQ, longSide / 2}; break;
    default: place = {&ScanMqDir, ScanMQ, longSide}; break;
    }

    const QString fileName = FromAnsi(scanFileName_);
    const QString hq = *place.Folder + fileName;
    logLine(QStringLiteral("hqName=") + hq);
    const QString web = ScanWebDir + fileName;
    logLine(QStringLiteral("webName=") + web);
    for (const QString &file : {hq, web}) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!QDir().mkpath(folder))
            throw EAppError(_("Cannot create folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
    }
    logLine(QStringLiteral("Folders ready"));
    const double ratio = height > 0 ? double(width) / double(height) : 1.0;
    logLine(QStringLiteral("image ratio=") + FormatTwoDecimals(ratio));

    // Two cards may share a file name (a list without ids, naming by number with
    // numbers missing, naming by name with twins): a scan must not silently
    // replace another card's picture, in its quality folder or in the web folder
    // every quality shares. The file is the scanned card's own only when that card
    // has a scan and none of the others does.
    const QString existing = !scanSharesFileName_ ? QString()
                             : QFileInfo::exists(hq)  ? hq
                             : QFileInfo::exists(web) ? web
                                                      : QString();
    const bool ownFile = scanListCard_ && scanListCard_->ScanStatus != ScanNone
                         && !AnotherCardHasFileName(Cards, scanListCard_, scanFileName_,
                                                    scanNaming_, true);
    if (!existing.isEmpty() && !ownFile) {
        if (!MessageDlgYesNo(_("The file \"%1\" exists and belongs to another card of this list "
                               "as well. Replace it?").arg(QDir::toNativeSeparators(existing)))) {
            logLine(QStringLiteral("Existing file of another card kept, card not saved: ") + existing);
            return;
        }
        logLine(QStringLiteral("Existing file of another card replaced: ") + existing);
    } else {
        // Stations sharing the store: one of them may have scanned this card since.
        for (const QString &file : {hq, web}) {
            if (!writtenByAnotherStation(file))
                continue;
            if (!MessageDlgYesNo(_("The file \"%1\" was written by another station after this list "
                                   "was loaded. Replace it?").arg(QDir::toNativeSeparators(file)))) {
                logLine(QStringLiteral("File of another station kept, card not saved: ") + file);
                return;
            }
            logLine(QStringLiteral("File of another station replaced: ") + file);
            break;
        }
    }

    SaveHqAndWebJpeg(picture, hq, place.WebLongSide, kWebJpegQuality, web, ratio, watermarkSetting(),
                     [] { logLine(QStringLiteral("HQ file saved")); });
    logLine(QStringLiteral("Resized web image saved"));
    noteOwnWrite(hq);
    noteOwnWrite(web);

    // The card the scan was started for, wherever sorting has put it; cards that
    // merely share its Id (a list without ids) are other cards.
    for (int i = 0; i < Cards.Count(); ++i) {
        TGameCard *card = Cards.Objects(i);
        if (card && card == scanListCard_) {
            card->ScanStatus = place.Status;
            logLine(QStringLiteral("local scan status changed"));
            CardsModel->Repaint();
            logLine(QStringLiteral("Image repainted"));
            break;
        }
    }

    lbFileName->setText(hq);
    QFile file(hq);
    if (!file.open(QIODevice::ReadOnly))
        throw EAppError(_("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(hq), file.errorString()));
    logLine(QStringLiteral("File opened"));
    lbSize->setText(_("Cannot read file size"));
    const QString facts = QStringLiteral("%1x%2, %3kB").arg(width).arg(height).arg(file.size() / 1024);
    lbSize->setText(facts);
    logLine(QStringLiteral("File info: ") + facts);
    file.close();
    logLine(QStringLiteral("File closed"));

    const int row = SelectedRow();
    if (row >= 0 && row < Cards.Count() && Cards.Objects(row) == scanListCard_
        && row + 1 < CardsModel->rowCount()) {
        SkipImageLoad = true;
        const QModelIndex next = CardsModel->index(row + 1, TCardListModel::ColName);
        vstCards->selectionModel()->setCurrentIndex(
            next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        vstCards->scrollTo(next);
        logLine(QStringLiteral("Move focus to next card"));
    }
}

void TfrmMain::TwainTwainAcquire(TTwainManager *, int, const QImage &Image, bool &Cancel)
{
    logLine(QStringLiteral("TwainAcquire()"));
    ImageHolder->SetPicture(Image);
    logLine(QStringLiteral("Image assigned"));
    Cancel = true;
    logLine(QStringLiteral("Cancel set to true (wants only single image)"));
    if (!ScanCard) {
        logError(QStringLiteral("Cannot match acquired image to card!"));
        MessageDlg(QStringLiteral("Cannot match acquired image to card!"), TMsgDlgType::Error);
        logLine(QStringLiteral("TwainAcquire()-END"));
        return;
    }
    logLine(QStringLiteral("Saving images"));
    try {
        saveAcquiredImage();
    } catch (const std::exception &Error) {
        const QString text = QStringLiteral("Error while saving image: ") + ErrorMessageOf(Error);
        logError(text);
        MessageDlg(text, TMsgDlgType::Error);
    }
    endScan();
    if (TTwainSource *source = SourceIndex >= 0 ? Twain->SourceAt(SourceIndex) : nullptr)
        source->SetLoaded(false);
    logLine(QStringLiteral("Loaded set to False"));
    logLine(QStringLiteral("TwainAcquire()-END"));
}

void TfrmMain::TwainAcquireCancel(TTwainManager *, int)
{
    endScan();
    logLine(QStringLiteral("AcquireCancel()"));
}

void TfrmMain::TwainAcquireError(TTwainManager *, int Index, int ErrorCode, int Additional)
{
    endScan();
    logLine(QStringLiteral("AcquireError()"));
    logLine(QStringLiteral("index=%1, errorcode=%2, additional=%3").arg(Index).arg(ErrorCode).arg(Additional));
}

void TfrmMain::TwainSourceDisable(TTwainManager *, int)
{
    logLine(QStringLiteral("SourceDisable()"));
}

void TfrmMain::TwainTransferComplete(TTwainManager *, int Index, bool Canceled)
{
    logLine(QStringLiteral("TransferComplete(..., %1, %2)").arg(Index).arg(Canceled ? -1 : 0));
}

void TfrmMain::RunScannerCapabilitiesTest()
{
    // The test opens and closes the source the scan under way is waiting for.
    if (ScanCard) {
        MessageDlg(_("A card is being scanned. Wait until it is saved or cancel the scan "
                     "(Scanner, Cancel scan), then test the scanner."),
                   TMsgDlgType::Warning);
        return;
    }
    if (!Twain->LoadDsm()) {
        ShowMessage(_("Twain is not installed."));
        return;
    }
    if (SourceIndex == -1)
        actSelectSourceExecute();
    if (SourceIndex == -1 || !forms_ || !forms_->frmTest)
        return;
    TTwainSource *source = rememberedSource();
    if (!source) {
        reportMissingSource(sourceLabel(SourceName));
        return;
    }
    TfrmTest &report = *forms_->frmTest;
    report.show();
    report.raise();
    RunScannerTest(report, source);
}

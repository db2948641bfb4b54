// The main window's scanning: choosing the source, the acquire command, the
// scanner's events, and the configuration dialog's scanner test.
#include "app/AppForms.h"
#include "app/CardListModel.h"
#include "app/ImageView.h"
#include "app/Main.h"
#include "app/ReviewCards.h"
#include "cards/ScanQuestion.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "scanareas/DecimalText.h"
#include "scanareas/ScanArea.h"
#include "scanner/FormSelectSource.h"
#include "scanner/ScannerTest.h"
#include "scanner/TwainManager.h"
#include "scanning/ScanWorkflow.h"
#include "settings/Configuration.h"
#include "settings/T_Log.h"

#include <QComboBox>
#include <QLabel>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTableView>

namespace {

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

// The main window as the scanning workflow sees it: its dialogs, the image
// view, the file facts and the card list.
class TMainScanHost final : public TScanHost
{
public:
    explicit TMainScanHost(TfrmMain &Main) : main_(Main) {}

    bool AskYesNo(const QString &Text) override { return MessageDlgYesNo(Text); }
    void ShowError(const QString &Text) override { MessageDlg(Text, TMsgDlgType::Error); }
    bool ReviewCards(const QImage &Glass, std::vector<TPassCard> &Cards) override
    {
        TfrmReviewCards review(Glass, Cards, &main_);
        if (ShowModal(review) != QDialog::Accepted)
            return false;
        Cards = review.Cards();
        return true;
    }
    void ShowPicture(const QImage &Picture) override { main_.ImageHolder->SetPicture(Picture); }
    void ShowFileFacts(const QString &FileName, const QString &Facts) override
    {
        main_.lbFileName->setText(FileName);
        main_.lbSize->setText(Facts);
    }
    void RepaintCards() override { main_.CardsModel->Repaint(); }
    int SelectedRow() const override { return main_.SelectedRow(); }
    void SelectRow(int Row) override
    {
        // The selection change must keep showing the new scan, not load the next card's file.
        main_.SkipImageLoad = true;
        main_.SelectRow(Row);
    }

private:
    TfrmMain &main_;
};

} // namespace

void TfrmMain::createScanning()
{
    scanHost_ = std::make_unique<TMainScanHost>(*this);
    scanning_ = std::make_unique<TScanWorkflow>(Cards, *scanHost_);
    const auto check = [this](const TCardToSave &Card) {
        TScanQuestion question = ScanQuestion(Card.Previous, Card.Picture, Card.CardName, checkScansSetting());
        if (!question.LogLine.isEmpty())
            LogLine(question.LogLine);
        return question;
    };
    scanning_->SetSaveCheck([check](const TCardToSave &Card, TScanHost &Host) {
        const TScanQuestion question = check(Card);
        if (question.Text.isEmpty())
            return true;
        const bool save = Host.AskYesNo(question.Text);
        LogLine(question.AnswerLogLine(save));
        return save;
    });
    scanning_->SetPassCheck([check](const TCardToSave &Card) {
        const TScanQuestion question = check(Card);
        switch (question.Doubt) {
        case TScanDoubt::SameCard: return _("it looks like %1 of the scan before").arg(question.PreviousCard);
        case TScanDoubt::EmptyArea: return _("it shows no card");
        case TScanDoubt::None: break;
        }
        return QString();
    });
}

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

bool TfrmMain::checkScansSetting() const
{
    return !forms_ || !forms_->frmConfiguration || forms_->frmConfiguration->CheckScans;
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
        LogLine(probe);
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
    LogLine(QStringLiteral("AcquireImageClick()"));
    auto end = qScopeGuard([] { LogLine(QStringLiteral("AcquireImageClick()-END")); });
    if (cbFormat->currentIndex() < 0) {
        ShowMessageBox(_("Error"), _("Please choose scan area first!"));
        LogError(QStringLiteral("Scan area not chosen!"));
        end.dismiss();
        return;
    }
    LogLine(QStringLiteral("Scan area is set"));
    if (ScanCard) {
        MessageDlg(_("A card is alreay scanned!"), TMsgDlgType::Error);
        LogError(QStringLiteral("Card is already scanned!"));
        end.dismiss();
        return;
    }
    const TGameCard *selected = SelectedCard();
    if (!selected) {
        end.dismiss();
        return;
    }
    ScanCard = std::make_unique<TGameCard>(*selected);
    actCancelScan->setEnabled(true);
    LogLine(CardInfoLine(*ScanCard));
    LogLine(QStringLiteral("Store paths"));
    ScanWebDir = WebDir;
    ScanMqDir = MqDir;
    ScanHqDir = HqDir;
    ScanVhqDir = VhqDir;
    const TScanArea *chosenArea = ScanAreaFromData(cbFormat->currentData());
    ScanArea = std::make_unique<TScanArea>(chosenArea ? *chosenArea : TScanArea());
    const TScanArea area = *ScanArea;
    scanning_->Start(SelectedRow(), area, TStorePaths{ScanWebDir, ScanMqDir, ScanHqDir, ScanVhqDir},
                     fileNamesSetting(), watermarkSetting());
    LogLine(QStringLiteral("Scan area %1 with dpi %2 starting at (%3, %4), width=%5, height=%6")
                .arg(area.Name).arg(area.Quality)
                .arg(FormatTwoDecimals(area.Left), FormatTwoDecimals(area.Top),
                     FormatTwoDecimals(area.Width), FormatTwoDecimals(area.Height)));

    if (!Twain->LoadDsm()) {
        endScan();
        LogError(QStringLiteral("Twain is not installed"));
        ShowMessage(_("Twain is not installed."));
        return;
    }
    LogLine(QStringLiteral("Twain library loaded"));
    if (SourceIndex == -1) {
        LogLine(QStringLiteral("Choosing twain source"));
        actSelectSourceExecute();
    }
    if (SourceIndex == -1) {
        endScan();
        LogLine(QStringLiteral("Source not selected!"));
        ShowMessage(_("Source not selected!"));
        return;
    }
    LogLine(QStringLiteral("Source is selected"));

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
    LogLine(QStringLiteral("Loaded set to True"));
    source->TransferMode = transferModeSetting();
    LogLine(QStringLiteral("Transfer mode set to %1").arg(source->TransferMode));

    if (source->SetPixelType(TWPT_RGB) != CapResult::Success)
        LogError(QStringLiteral("Cannot set RGB pixel type (2)!"));
    LogLine(QStringLiteral("Pixel type set 2"));
    if (source->SetUnits(area.Units) != CapResult::Success)
        LogError(QStringLiteral("Cannot set Pixels as unit (%1)!").arg(area.Units));
    LogLine(QStringLiteral("Cap units set %1").arg(area.Units));
    // A source reads resolutions per current unit; the area's quality is dots
    // per inch, so a centimetre area would otherwise scan 2.54 times too fine.
    const double resolution = area.Units == TWUN_CENTIMETERS ? area.Quality / 2.54 : area.Quality;
    if (source->SetXResolution(resolution) != CapResult::Success)
        LogError(QStringLiteral("Cannot set X resolution %1!").arg(area.Quality));
    LogLine(QStringLiteral("X resolution set %1").arg(area.Quality));
    if (source->SetYResolution(resolution) != CapResult::Success)
        LogError(QStringLiteral("Cannot set Y resolution %1!").arg(area.Quality));
    LogLine(QStringLiteral("Y resolution set %1").arg(area.Quality));
    const double right = area.Left + area.Width;
    const double bottom = area.Top + area.Height;
    const QString frame = QStringLiteral("(%1, %2, %3, %4)!")
                              .arg(FormatTwoDecimals(area.Left), FormatTwoDecimals(area.Top),
                                   FormatTwoDecimals(right), FormatTwoDecimals(bottom));
    if (source->SetFrame(area.Left, area.Top, right, bottom) != CapResult::Success)
        LogError(QStringLiteral("Cannot set scanning area ") + frame);
    LogLine(QStringLiteral("Scan area set ") + frame);

    if (source->EnableSource(false, true)) {
        LogLine(QStringLiteral("Source enabled"));
        // A slow scanner shows nothing for minutes: say what it is doing and how to stop it.
        statusBar()->showMessage(_("Scanning \"%1\"; Escape cancels the scan.").arg(ScanCard->Name));
        return;
    }
    LogLine(QStringLiteral("Source disabled"));
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
    LogLine(QStringLiteral("CancelScanClick()"));
    TTwainSource *source = SourceIndex >= 0 ? Twain->SourceAt(SourceIndex) : nullptr;
    abandonScan(source, QStringLiteral("Scan cancelled, source closed"));
    LogLine(QStringLiteral("CancelScanClick()-END"));
}

void TfrmMain::endScan()
{
    ScanCard.reset();
    ScanArea.reset();
    scanning_->End();
    actCancelScan->setEnabled(false);
    statusBar()->clearMessage();
}

void TfrmMain::abandonScan(TTwainSource *Source, const QString &Reason)
{
    endScan();
    if (Source)
        Source->SetLoaded(false);
    LogLine(Reason);
}

void TfrmMain::TwainTwainAcquire(TTwainManager *, int, const QImage &Image, bool &Cancel)
{
    LogLine(QStringLiteral("TwainAcquire()"));
    ImageHolder->SetPicture(Image);
    LogLine(QStringLiteral("Image assigned"));
    Cancel = true;
    LogLine(QStringLiteral("Cancel set to true (wants only single image)"));
    if (!ScanCard) {
        LogError(QStringLiteral("Cannot match acquired image to card!"));
        MessageDlg(QStringLiteral("Cannot match acquired image to card!"), TMsgDlgType::Error);
        LogLine(QStringLiteral("TwainAcquire()-END"));
        return;
    }
    LogLine(QStringLiteral("Saving images"));
    scanning_->Save(Image);
    endScan();
    if (TTwainSource *source = SourceIndex >= 0 ? Twain->SourceAt(SourceIndex) : nullptr)
        source->SetLoaded(false);
    LogLine(QStringLiteral("Loaded set to False"));
    LogLine(QStringLiteral("TwainAcquire()-END"));
}

void TfrmMain::TwainAcquireCancel(TTwainManager *, int)
{
    endScan();
    LogLine(QStringLiteral("AcquireCancel()"));
}

void TfrmMain::TwainAcquireError(TTwainManager *, int Index, int ErrorCode, int Additional)
{
    endScan();
    LogLine(QStringLiteral("AcquireError()"));
    LogLine(QStringLiteral("index=%1, errorcode=%2, additional=%3").arg(Index).arg(ErrorCode).arg(Additional));
}

void TfrmMain::TwainSourceDisable(TTwainManager *, int)
{
    LogLine(QStringLiteral("SourceDisable()"));
}

void TfrmMain::TwainTransferComplete(TTwainManager *, int Index, bool Canceled)
{
    LogLine(QStringLiteral("TransferComplete(..., %1, %2)").arg(Index).arg(Canceled ? -1 : 0));
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

#pragma once

#include "catalogue/CardList.h"
#include "catalogue/CardSort.h"
#include "catalogue/Expansion.h"
#include "catalogue/Game.h"
#include "catalogue/ScanStore.h"
#include "platform/CardGrid.h"
#include "scanareas/ScanArea.h"

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QMainWindow>

#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QTableView;
class QWidget;
class TCardListModel;
class TImageHolder;
class TScanHost;
class TScanWorkflow;
class TTwainManager;
class TTwainSource;
struct TAppForms;

// The open-file dialog's fixed settings.
struct TOpenDialogSetup
{
    QString Filter;
    QString InitialDir;
};

// The main window: holds the current game, set and card list, the store folders
// for that list and the scan under way; every other window is opened from here.
class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *Parent = nullptr);
    ~TfrmMain() override;

    // The sibling forms, reachable once all of them exist.
    void SetForms(TAppForms *Forms) { forms_ = Forms; }

    // Store folders of the current list.
    QString WebDir;
    QString MqDir;
    QString HqDir;
    QString VhqDir;
    // Copies taken when a scan starts, so a list change during the scan cannot redirect it.
    QString ScanWebDir;
    QString ScanMqDir;
    QString ScanHqDir;
    QString ScanVhqDir;
    // The scan's own copy of its area: the areas dialog may change or remove the
    // area itself while the scanner works.
    std::unique_ptr<TScanArea> ScanArea;
    bool SkipImageLoad = false;
    // The scan status is read again when the window is activated this long
    // after it was read last: often enough to show the other stations' work,
    // seldom enough not to scan a big store at every switch of windows.
    qint64 StatusRereadAfterMs = 30000;
    int SourceIndex = -1;
    // The chosen source's product name: a scanner unplugged and plugged in again
    // may come back at another position of the list, and is found again by it.
    QByteArray SourceName;
    std::unique_ptr<TGame> Game;
    std::unique_ptr<TExpansion> Expansion;
    TCardList Cards;
    std::unique_ptr<TGameCard> ScanCard;
    std::unique_ptr<TTwainManager> Twain;

    // Controls other parts of the application use.
    QPushButton *btDownload = nullptr;
    QLabel *lbScanArea = nullptr;
    QComboBox *cbFormat = nullptr;
    QLabel *lbGameSet = nullptr;
    QTableView *vstCards = nullptr;
    QWidget *panCardInfo = nullptr;
    QLabel *lbCardName = nullptr;
    QLabel *lbNo = nullptr;
    QLabel *lbCollectorsNo = nullptr;
    QLabel *lbID = nullptr;
    QLabel *lbRarity = nullptr;
    QLabel *lbFoil = nullptr;
    QLabel *lbSubset = nullptr;
    QLabel *lbScan = nullptr;
    QLabel *lbP0 = nullptr;
    QLabel *lbP1 = nullptr;
    QPushButton *btNotes = nullptr;
    QScrollArea *sbImage = nullptr;
    TImageHolder *ImageHolder = nullptr;
    QLabel *lbFilename1 = nullptr;
    QLabel *lbSize1 = nullptr;
    QLabel *lbFileName = nullptr;
    QLabel *lbSize = nullptr;
    // The list's progress, in the status bar beside its passing messages.
    QLabel *lbProgress = nullptr;
    TOpenDialogSetup OpenDialog;
    QList<QImage> ilFlags;
    // Declared after the list and the flags it shows, so it is destroyed before them.
    std::unique_ptr<TCardListModel> CardsModel;

    QAction *actLoadFromFile = nullptr;
    QAction *actBatchJob = nullptr;
    QAction *actExit = nullptr;
    QAction *actSelectSource = nullptr;
    QAction *actConfiguration = nullptr;
    QAction *actScanSize = nullptr;
    QAction *actCancelScan = nullptr;
    QAction *actRotate90 = nullptr;
    QAction *actRotate180 = nullptr;
    QAction *actRotate270 = nullptr;
    QAction *actFitToWindow = nullptr;
    QAction *actOriginalSize = nullptr;
    QAction *actRefreshScanStatus = nullptr;
    QAction *actGoToFirstUnscanned = nullptr;
    QAction *actAbout = nullptr;
    QMenu *mnImage = nullptr;
    QMenu *pmCard = nullptr;
    QAction *mnAcquireImage = nullptr;
    QAction *mnCardInfo = nullptr;
    QAction *mnDownloadPicture = nullptr;
    QMenu *pmImage = nullptr;

    // Empties the grid and the details, then frees every card.
    void ClearCards();
    // Empties the ten detail labels; the notes button stays as it is.
    void ClearCardDetails();

    // Loads a card list file as the current list (after the open-file dialog).
    void LoadCardListFile(const QString &FileName);
    // The download dialog's hand-over: copies of the game, set and accepted cards
    // become the current list.
    void AcceptDownloadedList(const TGame &NewGame, const TExpansion &NewExpansion,
                              const std::vector<const TGameCard *> &Accepted);

    // Selects Row of the grid and scrolls it into view.
    void SelectRow(int Row);
    // The row of the selected card and the card itself; -1 / nullptr when none.
    int SelectedRow() const;
    TGameCard *SelectedCard() const;

    // Shows a picture file in the image area; a file that cannot be decoded
    // empties the area and says so in the status line.
    void LoadImageFile(const QString &FileName);

    // The list's folders; what they hold now is what "written since the list was
    // loaded" is measured against.
    void SetStorePaths(const TStorePaths &Paths);
    // No column sorted, no sort mark: the list stands in its loaded order.
    void ClearSortColumn();
    int SortColumn() const { return sortColumn_->Column(); }

    void actLoadFromFileExecute();
    void actExitExecute();
    void actConfigurationExecute();
    void actScanSizeExecute();
    void actAboutExecute();
    void actFitToWindowExecute();
    void actOriginalSizeExecute();
    // Reads every card's scan status again from the store, which other stations
    // may write to.
    void actRefreshScanStatusExecute();
    // Selects the first card in the shown order that has no scan: where a
    // stopped run picks up.
    void actGoToFirstUnscannedExecute();
    // Shows how many cards of the list have a scan, and how many of them this
    // station scanned since the program started.
    void UpdateScanProgress();
    // Puts the scan store where the setting or VELLUMORA_STORE says. A folder that
    // cannot be used leaves the default place for this run and the setting as it
    // is; the operator is told at once, or when the window first shows.
    void ApplyStoreFolder(bool ReportNow);
    void btDownloadClick();

    // Card list handlers.
    void vstCardsChange(int Row);
    void vstCardsHeaderClick(int Column);
    // Feeds typed text (or a Backspace) to the name search; time in milliseconds.
    void vstCardsIncrementalSearch(const QString &Typed, bool Backspace, qint64 NowMs);
    void vstCardsKeyUp(int Key);
    void vstCardsDblClick();
    void pmCardPopup();
    void mnCardInfoClick();
    void btNotesClick();
    // The scan of the selected card.
    void AcquireSelectedCard();

    // Scanning: choosing the source, the acquire command and the scanner's events.
    void actSelectSourceExecute();
    void mnAcquireImageClick();
    // Ends the scan under way: the source is disabled and closed, the card stays
    // unscanned and selected, and a new scan may start at once.
    void actCancelScanExecute();
    void TwainTwainAcquire(TTwainManager *Sender, int Index, const QImage &Image, bool &Cancel);
    void TwainAcquireCancel(TTwainManager *Sender, int Index);
    void TwainAcquireError(TTwainManager *Sender, int Index, int ErrorCode, int Additional);
    void TwainSourceDisable(TTwainManager *Sender, int Index);
    void TwainTransferComplete(TTwainManager *Sender, int Index, bool Canceled);
    // The configuration dialog's scanner test, run against the chosen source.
    void RunScannerCapabilitiesTest();
    // Runs once, when the window is first shown: the first-run notice and the
    // last used scan area.
    void FormShow();

signals:
    // Enter, a left double click or "Acquire Image" asked to scan the selected card.
    void acquireRequested();

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    void showEvent(QShowEvent *Event) override;
    void closeEvent(QCloseEvent *Event) override;
    void changeEvent(QEvent *Event) override;

private:
    void createActions();
    void createMenus();
    QWidget *createLeftPanel();
    QWidget *createCardInfoPanel();
    QWidget *createImagePanel();
    void placeFileFactsLabels();
    void showColumns(bool AnyNumbered, bool AnyCollectorsNo);
    void createCardMenu();
    void createImageMenu();
    void showCardDetails(const TGameCard &Card);
    // Whether this station saved Card's scan since the program started.
    bool savedInThisRun(const TGameCard &Card, int Naming) const;

    // Settings the scan uses; defaults while no configuration dialog exists.
    quint8 transferModeSetting() const;
    int fileNamesSetting() const;
    QString watermarkSetting() const;
    bool checkScansSetting() const;
    // Ends the pending scan that will never get an image, closing its source.
    void abandonScan(TTwainSource *Source, const QString &Reason);
    // Forgets the scan under way (its card, area and place in the list).
    void endScan();
    // The chosen source, looked for again by name when it is no longer where it was.
    TTwainSource *rememberedSource();
    // Opens Source; a scanner replugged since the listing is found again first.
    TTwainSource *openRememberedSource(TTwainSource *Source);
    // Tells the operator once when cards of the new list would share scan files.
    void reportSharedFileNames();

    // Call sites of the scanner, the scanning workflow and the run log.
    void createTwainManager();
    void createScanning();
    void freeTwainManager();
    void createAppLog();
    void freeAppLog();

    TAppForms *forms_ = nullptr;
    // Declared after the list it serves, so it goes first.
    std::unique_ptr<TScanHost> scanHost_;
    std::unique_ptr<TScanWorkflow> scanning_;
    std::unique_ptr<TSortColumn> sortColumn_;
    QElapsedTimer sinceStatusRead_;
    QString storeProblem_;
    TIncrementalSearch search_;
    // The name search's pauses are measured on a clock that never jumps.
    QElapsedTimer searchClock_;
    bool enterPressedOnGrid_ = false;
    bool ownsAppLog_ = false;
    bool shown_ = false;
};

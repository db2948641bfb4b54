#include "app/Main.h"

#include "app/AppForms.h"
#include "app/CardListModel.h"
#include "app/ImageView.h"
#include "catalogue/CardListFile.h"
#include "catalogue/Flags.h"
#include "catalogue/OfflineRecords.h"
#include "catalogue/SharedFileNames.h"
#include "catalogue/StoreFolder.h"
#include "scanner/TwainManager.h"
#include "scanning/ScanWorkflow.h"
#include "settings/T_Log.h"
#include "platform/AppPaths.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "platform/CardGrid.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kLeftPanelWidth = 334;
constexpr int kDefaultColumnWidth = 50;

QLabel *detailLabel(QWidget *Parent, const char *Name, const QString &ToolTip,
                    Qt::Alignment Alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *label = new QLabel(Parent);
    label->setObjectName(QLatin1String(Name));
    label->setToolTip(ToolTip);
    label->setAlignment(Alignment);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    label->setFont(font);
    // The panel keeps its height while no card is selected.
    label->setMinimumHeight(label->fontMetrics().height());
    return label;
}

QAction *namedAction(QObject *Parent, const char *Name, const QString &Text)
{
    auto *action = new QAction(Text, Parent);
    action->setObjectName(QLatin1String(Name));
    return action;
}

} // namespace

TfrmMain::TfrmMain(QWidget *Parent)
    : QMainWindow(Parent)
{
    setObjectName(QStringLiteral("frmMain"));
    // Texts pass through the message catalogue as the controls are made.
    setWindowTitle(_("Scanner"));
    ilFlags = DrawFlagImages();

    createActions();
    createMenus();

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("Splitter"));
    splitter->addWidget(createLeftPanel());
    splitter->addWidget(createImagePanel());
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kLeftPanelWidth, 1079 - kLeftPanelWidth});
    setCentralWidget(splitter);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    lbProgress = new QLabel(statusBar());
    lbProgress->setObjectName(QStringLiteral("lbProgress"));
    // Permanent: a scan's own message must not hide it, nor it the message.
    statusBar()->addPermanentWidget(lbProgress);
    createCardMenu();
    createImageMenu();

    connect(vstCards->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { RunGuarded([this] { vstCardsChange(SelectedRow()); }); });
    // Every scan, load, accept and refresh ends in a change of the grid.
    const auto updateProgress = [this] { RunGuarded([this] { UpdateScanProgress(); }); };
    connect(CardsModel.get(), &QAbstractItemModel::dataChanged, this, updateProgress);
    connect(CardsModel.get(), &QAbstractItemModel::modelReset, this, updateProgress);
    connect(vstCards->horizontalHeader(), &QHeaderView::sectionClicked, this,
            Guarded(this, &TfrmMain::vstCardsHeaderClick));
    connect(btNotes, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btNotesClick));
    vstCards->installEventFilter(this);
    vstCards->viewport()->installEventFilter(this);
    searchClock_.start();

    resize(1079, 822);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    createTwainManager();
    createScanning();
    placeFileFactsLabels();

    SourceIndex = -1;
    Game.reset();
    Expansion.reset();
    ScanCard.reset();
    ScanArea.reset();
    Cards.Clear();
    lbFileName->clear();
    lbSize->clear();
    ClearCardDetails();

    OpenDialog.Filter = _("Data Files (*.csv)") + QStringLiteral("|*.csv");
    OpenDialog.InitialDir = ScanDataDir();

    createAppLog();
}

TfrmMain::~TfrmMain()
{
    freeTwainManager();
    Game.reset();
    Expansion.reset();
    ScanCard.reset();
    ClearCards();
    freeAppLog();
}

void TfrmMain::createActions()
{
    actLoadFromFile = namedAction(this, "actLoadFromFile", _("Load From File"));
    connect(actLoadFromFile, &QAction::triggered, this, Guarded(this, &TfrmMain::actLoadFromFileExecute));

    actBatchJob = namedAction(this, "actBatchJob", _("Batch Job"));
    const QString batchHint = _("Performs operations like resize or watermark on multiple files");
    actBatchJob->setToolTip(batchHint);
    actBatchJob->setStatusTip(batchHint);
    actBatchJob->setEnabled(false);

    actExit = namedAction(this, "actExit", _("Exit"));
    connect(actExit, &QAction::triggered, this, Guarded(this, &TfrmMain::actExitExecute));

    actSelectSource = namedAction(this, "actSelectSource", _("Select Source"));
    connect(actSelectSource, &QAction::triggered, this, Guarded(this, &TfrmMain::actSelectSourceExecute));
    actConfiguration = namedAction(this, "actConfiguration", _("Configuration"));
    connect(actConfiguration, &QAction::triggered, this, Guarded(this, &TfrmMain::actConfigurationExecute));
    actScanSize = namedAction(this, "actScanSize", _("Scan size"));
    connect(actScanSize, &QAction::triggered, this, Guarded(this, &TfrmMain::actScanSizeExecute));
    actCancelScan = namedAction(this, "actCancelScan", _("Cancel scan"));
    actCancelScan->setShortcut(QKeySequence(Qt::Key_Escape));
    actCancelScan->setEnabled(false);
    connect(actCancelScan, &QAction::triggered, this, Guarded(this, &TfrmMain::actCancelScanExecute));

    actRotate90 = namedAction(this, "actRotate90", _("_rotate_90_"));
    actRotate180 = namedAction(this, "actRotate180", _("_rotate_180_"));
    actRotate270 = namedAction(this, "actRotate270", _("_rotate_270_"));
    for (QAction *rotation : {actRotate90, actRotate180, actRotate270})
        rotation->setEnabled(false);

    actFitToWindow = namedAction(this, "actFitToWindow", _("Fit Scan to Window"));
    actFitToWindow->setCheckable(true);
    actFitToWindow->setChecked(true);
    connect(actFitToWindow, &QAction::triggered, this, Guarded(this, &TfrmMain::actFitToWindowExecute));
    actOriginalSize = namedAction(this, "actOriginalSize", _("Original Size"));
    actOriginalSize->setCheckable(true);
    connect(actOriginalSize, &QAction::triggered, this, Guarded(this, &TfrmMain::actOriginalSizeExecute));

    actRefreshScanStatus = namedAction(this, "actRefreshScanStatus", _("Refresh scan status"));
    actRefreshScanStatus->setShortcut(QKeySequence(Qt::Key_F5));
    connect(actRefreshScanStatus, &QAction::triggered, this,
            Guarded(this, &TfrmMain::actRefreshScanStatusExecute));

    actGoToFirstUnscanned = namedAction(this, "actGoToFirstUnscanned", _("Go to first unscanned card"));
    actGoToFirstUnscanned->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    connect(actGoToFirstUnscanned, &QAction::triggered, this,
            Guarded(this, &TfrmMain::actGoToFirstUnscannedExecute));

    actAbout = namedAction(this, "actAbout", _("About"));
    connect(actAbout, &QAction::triggered, this, Guarded(this, &TfrmMain::actAboutExecute));
}

void TfrmMain::createMenus()
{
    QMenu *file = menuBar()->addMenu(_("File"));
    file->setObjectName(QStringLiteral("mnFile"));
    file->addAction(actLoadFromFile);
    file->addSeparator();
    file->addAction(actBatchJob);
    file->addSeparator();
    file->addAction(actExit);

    QMenu *scanner = menuBar()->addMenu(_("Scanner"));
    scanner->setObjectName(QStringLiteral("mnScanner"));
    scanner->addAction(actSelectSource);
    scanner->addAction(actConfiguration);
    scanner->addAction(actScanSize);
    scanner->addSeparator();
    scanner->addAction(actCancelScan);

    mnImage = menuBar()->addMenu(_("Image"));
    mnImage->setObjectName(QStringLiteral("mnImage"));
    mnImage->addAction(actRotate90);
    mnImage->addAction(actRotate180);
    mnImage->addAction(actRotate270);
    mnImage->setEnabled(false);
    mnImage->menuAction()->setEnabled(false);

    QMenu *view = menuBar()->addMenu(_("View"));
    view->setObjectName(QStringLiteral("mnView"));
    view->addAction(actFitToWindow);
    view->addAction(actOriginalSize);
    view->addSeparator();
    view->addAction(actRefreshScanStatus);
    view->addAction(actGoToFirstUnscanned);

    QMenu *help = menuBar()->addMenu(_("Help"));
    help->setObjectName(QStringLiteral("mnHelp"));
    help->addAction(actAbout);
}

QWidget *TfrmMain::createLeftPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("panLeft"));
    panel->setMinimumWidth(200);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 4, 4, 4);

    btDownload = new QPushButton(_("Download card list from server"), panel);
    btDownload->setObjectName(QStringLiteral("btDownload"));
    connect(btDownload, &QPushButton::clicked, this, Guarded(this, &TfrmMain::btDownloadClick));
    layout->addWidget(btDownload);

    auto *areaRow = new QHBoxLayout;
    lbScanArea = new QLabel(_("Scan Area"), panel);
    lbScanArea->setObjectName(QStringLiteral("lbScanArea"));
    cbFormat = new QComboBox(panel);
    cbFormat->setObjectName(QStringLiteral("cbFormat"));
    lbScanArea->setBuddy(cbFormat);
    areaRow->addWidget(lbScanArea);
    areaRow->addWidget(cbFormat, 1);
    layout->addLayout(areaRow);

    lbGameSet = new QLabel(_("Name"), panel);
    lbGameSet->setObjectName(QStringLiteral("lbGameSet"));
    lbGameSet->setAlignment(Qt::AlignCenter);
    lbGameSet->setWordWrap(true);
    QFont bold = lbGameSet->font();
    bold.setBold(true);
    lbGameSet->setFont(bold);
    layout->addWidget(lbGameSet);

    vstCards = new QTableView(panel);
    vstCards->setObjectName(QStringLiteral("vstCards"));
    CardsModel = std::make_unique<TCardListModel>(Cards, ilFlags);
    vstCards->setModel(CardsModel.get());
    SetUpCardGrid(vstCards);
    vstCards->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    vstCards->verticalHeader()->setDefaultSectionSize(vstCards->fontMetrics().height() + 4);
    QHeaderView *header = vstCards->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    sortColumn_ = std::make_unique<TSortColumn>(header);
    header->resizeSection(TCardListModel::ColNo, kDefaultColumnWidth);
    header->resizeSection(TCardListModel::ColCollectorsNo, 100);
    header->resizeSection(TCardListModel::ColName, 148);
    header->resizeSection(TCardListModel::ColLang, 30);
    // "Name" takes up the width the other columns leave.
    header->setSectionResizeMode(TCardListModel::ColName, QHeaderView::Stretch);
    layout->addWidget(vstCards, 1);

    layout->addWidget(createCardInfoPanel());
    return panel;
}

QWidget *TfrmMain::createCardInfoPanel()
{
    panCardInfo = new QWidget(this);
    panCardInfo->setObjectName(QStringLiteral("panCardInfo"));
    auto *layout = new QVBoxLayout(panCardInfo);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    lbCardName = detailLabel(panCardInfo, "lbCardName", QString(), Qt::AlignCenter);
    QFont nameFont(QStringLiteral("MS Sans Serif"));
    nameFont.setPixelSize(13);
    nameFont.setBold(true);
    lbCardName->setFont(nameFont);
    lbCardName->setMinimumHeight(lbCardName->fontMetrics().height());
    QPalette namePalette = lbCardName->palette();
    namePalette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    lbCardName->setPalette(namePalette);
    layout->addWidget(lbCardName);

    auto *line2 = new QHBoxLayout;
    lbNo = detailLabel(panCardInfo, "lbNo", _("Card number"));
    lbCollectorsNo = detailLabel(panCardInfo, "lbCollectorsNo", _("Collectors number"));
    lbID = detailLabel(panCardInfo, "lbID", _("Card ID in database"),
                       Qt::AlignRight | Qt::AlignVCenter);
    line2->addWidget(lbNo);
    line2->addWidget(lbCollectorsNo);
    line2->addStretch(1);
    line2->addWidget(lbID);
    layout->addLayout(line2);

    auto *line3 = new QHBoxLayout;
    lbRarity = detailLabel(panCardInfo, "lbRarity", _("Rarity"));
    lbFoil = detailLabel(panCardInfo, "lbFoil", _("Is it shiny Foil?"));
    lbSubset = detailLabel(panCardInfo, "lbSubset", _("Subset name"));
    lbScan = detailLabel(panCardInfo, "lbScan", _("Scan file name"),
                         Qt::AlignRight | Qt::AlignVCenter);
    line3->addWidget(lbRarity);
    line3->addWidget(lbFoil);
    line3->addWidget(lbSubset);
    line3->addStretch(1);
    line3->addWidget(lbScan);
    layout->addLayout(line3);

    auto *line4 = new QHBoxLayout;
    lbP0 = detailLabel(panCardInfo, "lbP0", _("1st Type"));
    lbP1 = detailLabel(panCardInfo, "lbP1", _("2nd Type"));
    btNotes = new QPushButton(QStringLiteral("I"), panCardInfo);
    btNotes->setObjectName(QStringLiteral("btNotes"));
    btNotes->setFixedSize(20, 18);
    // Hidden or shown, the button keeps its room, so the panel never changes height.
    QSizePolicy notesPolicy = btNotes->sizePolicy();
    notesPolicy.setRetainSizeWhenHidden(true);
    btNotes->setSizePolicy(notesPolicy);
    btNotes->setVisible(false);
    line4->addWidget(lbP0, 1);
    line4->addWidget(lbP1, 1);
    line4->addWidget(btNotes);
    layout->addLayout(line4);
    // Labels with and without text, one line each: the grid above must not jump
    // from card to card.
    panCardInfo->setFixedHeight(layout->sizeHint().height());
    return panCardInfo;
}

QWidget *TfrmMain::createImagePanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("panImage"));
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    sbImage = new QScrollArea(panel);
    sbImage->setObjectName(QStringLiteral("sbImage"));
    sbImage->setFrameShape(QFrame::NoFrame);
    sbImage->horizontalScrollBar()->setSingleStep(41);
    sbImage->verticalScrollBar()->setSingleStep(50);
    ImageHolder = new TImageHolder;
    sbImage->setWidget(ImageHolder);
    sbImage->setWidgetResizable(true);
    layout->addWidget(sbImage, 1);

    auto *facts = new QWidget(panel);
    facts->setObjectName(QStringLiteral("panFileFacts"));
    facts->setFixedHeight(40);
    lbFilename1 = new QLabel(_("Filename:"), facts);
    lbFilename1->setObjectName(QStringLiteral("lbFilename1"));
    lbFilename1->move(8, 4);
    lbSize1 = new QLabel(_("Size:"), facts);
    lbSize1->setObjectName(QStringLiteral("lbSize1"));
    lbSize1->move(8, 21);
    lbFileName = new QLabel(facts);
    lbFileName->setObjectName(QStringLiteral("lbFileName"));
    lbSize = new QLabel(facts);
    lbSize->setObjectName(QStringLiteral("lbSize"));
    layout->addWidget(facts);
    return panel;
}

void TfrmMain::placeFileFactsLabels()
{
    const int left = lbFilename1->x()
                     + lbFilename1->fontMetrics().horizontalAdvance(lbFilename1->text()) + 5;
    lbFileName->move(left, lbFilename1->y());
    lbFileName->resize(2000, lbFilename1->sizeHint().height());
    lbSize->move(left, lbSize1->y());
    lbSize->resize(2000, lbSize1->sizeHint().height());
}

void TfrmMain::ClearCards()
{
    // The cards go; a scan under way still saves its files, but marks no card.
    scanning_->ForgetListCards();
    CardsModel->SetRowCount(0);
    ClearCardDetails();
    Cards.Clear();
    search_.Clear();
}

void TfrmMain::ClearCardDetails()
{
    for (QLabel *label : {lbCardName, lbNo, lbCollectorsNo, lbID, lbRarity, lbFoil, lbSubset,
                          lbScan, lbP0, lbP1})
        label->clear();
}

void TfrmMain::showColumns(bool AnyNumbered, bool AnyCollectorsNo)
{
    vstCards->setColumnHidden(TCardListModel::ColNo, !AnyNumbered);
    vstCards->setColumnHidden(TCardListModel::ColCollectorsNo, !AnyCollectorsNo);
}

void TfrmMain::SetStorePaths(const TStorePaths &Paths)
{
    WebDir = Paths.WebDir;
    MqDir = Paths.MqDir;
    HqDir = Paths.HqDir;
    VhqDir = Paths.VhqDir;
    scanning_->StoreLoaded(Paths);
}

void TfrmMain::actRefreshScanStatusExecute()
{
    sinceStatusRead_.start();
    if (Cards.IsEmpty() || (!Game && !Expansion))
        return;
    MarkLocalScans(Game.get(), Expansion.get(), Cards, fileNamesSetting());
    CardsModel->Repaint();
}

void TfrmMain::ApplyStoreFolder(bool ReportNow)
{
    const QString setting =
        forms_ && forms_->frmConfiguration ? forms_->frmConfiguration->ScanStoreFolder : QString();
    const TStoreFolderChoice choice = ChooseStoreFolder(setting);
    const QString before = ScanStoreRoot();
    SetStoreFolder(choice.InUse());
    storeProblem_.clear();
    if (!choice.Problem.isEmpty()) {
        storeProblem_ = _("The scan store folder \"%1\" cannot be used: %2. Scans are kept in \"%3\" "
                          "for this run.")
                            .arg(QDir::toNativeSeparators(choice.Wanted), choice.Problem,
                                 QDir::toNativeSeparators(ScanStoreRoot()));
        LogError(QStringLiteral("Scan store folder not usable: ") + choice.Wanted);
        if (ReportNow) {
            MessageDlg(storeProblem_, TMsgDlgType::Warning);
            storeProblem_.clear();
        }
    }
    if (ScanStoreRoot() != before && (Game || Expansion)) {
        SetStorePaths(GetStorePaths(Game.get(), Expansion.get()));
        actRefreshScanStatusExecute();
    }
}

void TfrmMain::changeEvent(QEvent *Event)
{
    QMainWindow::changeEvent(Event);
    // Back at this station after a while: show what the others have scanned since.
    if (Event->type() == QEvent::ActivationChange && isActiveWindow()
        && (!sinceStatusRead_.isValid() || sinceStatusRead_.elapsed() >= StatusRereadAfterMs))
        RunGuarded([this] { actRefreshScanStatusExecute(); });
}

void TfrmMain::ClearSortColumn()
{
    sortColumn_->Clear();
}

void TfrmMain::actLoadFromFileExecute()
{
    const QString fileName =
        Dialogs().GetOpenFileName(this, OpenDialog.InitialDir, OpenDialog.Filter);
    if (fileName.isEmpty())
        return;
    LoadCardListFile(fileName);
}

void TfrmMain::LoadCardListFile(const QString &FileName)
{
    Game = std::make_unique<TGame>(OfflineGame());
    Expansion = std::make_unique<TExpansion>(TimeNamedExpansion(QDateTime::currentDateTime()));
    ClearCards();   // empties the details too

    // A file that cannot be read leaves the empty list; the error itself goes
    // to the application-wide handler.
    const QByteArray bytes = ReadCardListFile(FileName);
    const TCardLinesResult result = ReadCardLines(DecodeCardListText(bytes), Cards);
    if (result.WrongFormat) {
        MessageDlg(_("Wrong data format!"), TMsgDlgType::Error);
        return;
    }
    showColumns(result.AnyNumbered, result.AnyCollectorsNo);
    CardsModel->SetRowCount(Cards.Count());
    lbGameSet->setText(QDir::toNativeSeparators(FileName) + QStringLiteral(", ") + Expansion->Name);
    SetStorePaths(GetStorePaths(Game.get(), Expansion.get()));
    ClearSortColumn();
    actRefreshScanStatusExecute();
    reportSharedFileNames();
}

void TfrmMain::AcceptDownloadedList(const TGame &NewGame, const TExpansion &NewExpansion,
                                    const std::vector<const TGameCard *> &Accepted)
{
    Game = std::make_unique<TGame>(NewGame);
    Expansion = std::make_unique<TExpansion>(NewExpansion);
    ClearCards();   // empties the details too
    bool anyNumbered = false;
    bool anyCollectorsNo = false;
    Cards.Reserve(static_cast<int>(Accepted.size()));
    for (const TGameCard *card : Accepted) {
        anyNumbered = anyNumbered || card->Number > 0;
        anyCollectorsNo = anyCollectorsNo || !card->CollectorsNo.isEmpty();
        Cards.Add(card->Name, std::make_unique<TGameCard>(*card));
    }
    showColumns(anyNumbered, anyCollectorsNo);
    CardsModel->SetRowCount(Cards.Count());
    lbGameSet->setText(Game->Name + QStringLiteral(", ") + Expansion->Name);
}

void TfrmMain::reportSharedFileNames()
{
    const TSharedFileNames shared = FindSharedFileNames(Cards, fileNamesSetting());
    if (shared.Cards == 0)
        return;
    LogLine(QStringLiteral("Cards sharing file names: %1, for example %2").arg(shared.Cards).arg(shared.Example));
    const QString text =
        _n("%1 card shares file names under this naming, for example %2; their scans would "
           "replace each other.",
           "%1 cards share file names under this naming, for example %2; their scans would "
           "replace each other.",
           static_cast<unsigned long>(shared.Cards))
            .arg(shared.Cards)
            .arg(shared.Example);
    if (!MessageDlgYesNo(text + QStringLiteral("\n\n") + _("Select the first of them?")))
        return;
    SelectRow(shared.FirstRow);
    vstCards->setFocus();
}

void TfrmMain::btDownloadClick()
{
    if (!forms_ || !forms_->frmDownloadData)
        return;
    if (ShowModal(*forms_->frmDownloadData) != QDialog::Accepted)
        return;
    SetStorePaths(GetStorePaths(Game.get(), Expansion.get()));
    ClearSortColumn();
    vstCards->setFocus();
    // Other stations sharing the store may have scanned since the list was fetched.
    actRefreshScanStatusExecute();
    reportSharedFileNames();
}

void TfrmMain::actExitExecute()
{
    // Ends the message loop without the close handling, so the scan area
    // selected now is not remembered.
    QCoreApplication::exit(0);
}

void TfrmMain::actConfigurationExecute()
{
    if (forms_ && forms_->frmConfiguration && ShowModal(*forms_->frmConfiguration) == QDialog::Accepted)
        ApplyStoreFolder(true);
}

void TfrmMain::actScanSizeExecute()
{
    if (forms_ && forms_->frmScanAreas)
        ShowModal(*forms_->frmScanAreas);
}

void TfrmMain::actAboutExecute()
{
    if (forms_ && forms_->frmAbout)
        ShowModal(*forms_->frmAbout);
}

void TfrmMain::actFitToWindowExecute()
{
    actFitToWindow->setChecked(true);
    actOriginalSize->setChecked(false);
    ImageHolder->SetAutoSize(false);
    sbImage->setWidgetResizable(true);
}

void TfrmMain::actOriginalSizeExecute()
{
    actFitToWindow->setChecked(false);
    actOriginalSize->setChecked(true);
    sbImage->setWidgetResizable(false);
    ImageHolder->SetAutoSize(true);
}

void TfrmMain::showEvent(QShowEvent *Event)
{
    QMainWindow::showEvent(Event);
    if (shown_)
        return;
    shown_ = true;
    // After the window has appeared, so the first-run notice stands in front of it.
    QTimer::singleShot(0, this, &TfrmMain::FormShow);
}

void TfrmMain::FormShow()
{
    if (forms_ && forms_->frmConfiguration) {
        TfrmConfiguration &configuration = *forms_->frmConfiguration;
        if (!configuration.SettingsKeyExisted) {
            ShowMessageBox(_("Information"),
                           _("This is first time you run Vellumora. Please check scanner "
                             "settings and customize scan areas."));
            configuration.SaveSettings();
            if (ShowModal(configuration) == QDialog::Accepted)
                ApplyStoreFolder(false);
        }
        if (!storeProblem_.isEmpty()) {
            MessageDlg(storeProblem_, TMsgDlgType::Warning);
            storeProblem_.clear();
        }
        const QString lastUsed = configuration.LastUsedScanArea;
        cbFormat->setCurrentIndex(
            lastUsed.isEmpty() ? -1 : cbFormat->findText(lastUsed, Qt::MatchFixedString));
    }
}

void TfrmMain::closeEvent(QCloseEvent *Event)
{
    if (forms_ && forms_->frmConfiguration) {
        TfrmConfiguration &configuration = *forms_->frmConfiguration;
        configuration.LastUsedScanArea =
            cbFormat->currentIndex() >= 0 ? cbFormat->currentText() : QString();
        try {
            configuration.SaveSettings();
        } catch (...) {
            // Closing goes on whatever the settings store says.
        }
    }
    QMainWindow::closeEvent(Event);
}


void TfrmMain::createAppLog()
{
    // One log per run: a second main window (tests make them) writes into the
    // first one's log instead of leaking it.
    if (AppLog)
        return;
    AppLog = new TMyLog();
    ownsAppLog_ = true;
    AppLog->MaxLines = 1;
    AppLog->Add(QStringLiteral("Vellumora started"));
}

void TfrmMain::freeAppLog()
{
    if (!ownsAppLog_)
        return;
    AppLog->Add(QStringLiteral("Vellumora closed"));
    delete AppLog;
    AppLog = nullptr;
    ownsAppLog_ = false;
}

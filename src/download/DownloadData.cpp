#include "download/DownloadData.h"

#include "catalogue/Flags.h"
#include "catalogue/ScanStore.h"
#include "download/CatalogueText.h"
#include "download/DownloadCardModel.h"
#include "download/Loading.h"
#include "platform/AppError.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/Keys.h"
#include "platform/MessageCatalogue.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kClientWidth = 937;
constexpr int kClientHeight = 703;

template <typename W>
W *named(W *Widget, const char *Name)
{
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

// Games and sets lists keep their entries sorted by name the way users read
// them: by the locale, ignoring case. The place in that order is worked out
// once for the whole list, so sorting compares numbers.
class TNameItem : public QTreeWidgetItem
{
public:
    TNameItem(QTreeWidget *List, const QStringList &Texts, int Place)
        : QTreeWidgetItem(List, Texts), place_(Place)
    {
    }
    bool operator<(const QTreeWidgetItem &Other) const override
    {
        return place_ < static_cast<const TNameItem &>(Other).place_;
    }

private:
    int place_;
};

// The focused row keeps the grid's own colours; every other row shows the
// card's background and name colour.
class TFocusedRowDelegate : public QStyledItemDelegate
{
public:
    explicit TFocusedRowDelegate(QTableView *View) : QStyledItemDelegate(View), view_(View) {}

protected:
    void initStyleOption(QStyleOptionViewItem *Option, const QModelIndex &Index) const override
    {
        QStyledItemDelegate::initStyleOption(Option, Index);
        if (Index.row() == view_->currentIndex().row()) {
            Option->backgroundBrush = QBrush();
            Option->palette.setBrush(QPalette::Text, view_->palette().brush(QPalette::Text));
        }
    }

private:
    QTableView *view_;
};

bool isUserInput(QEvent::Type Type)
{
    switch (Type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// Drops user input to the given windows for as long as it lives. Other
// windows (a message box shown meanwhile) still take theirs.
class TInputBlock : public QObject
{
public:
    explicit TInputBlock(std::initializer_list<const QWidget *> Windows)
        : windows_(Windows)
    {
        qApp->installEventFilter(this);
    }
    ~TInputBlock() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (!isUserInput(Event->type()) || !Watched->isWidgetType())
            return false;
        const QWidget *window = static_cast<QWidget *>(Watched)->window();
        return std::find(windows_.begin(), windows_.end(), window) != windows_.end();
    }

private:
    std::vector<const QWidget *> windows_;
};

QTreeWidget *makeEntryList(QWidget *Parent, const char *Name)
{
    auto *list = named(new QTreeWidget(Parent), Name);
    // The code rides along in a second column nobody sees.
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list->setColumnWidth(1, 0);
    list->setColumnHidden(1, true);
    list->setSortingEnabled(true);
    list->sortByColumn(0, Qt::AscendingOrder);
    list->setFont(QFont(QStringLiteral("Arial"), 8));
    return list;
}

QPushButton *makeButton(QWidget *Parent, const char *Name, const QString &Text)
{
    auto *button = named(new QPushButton(Text, Parent), Name);
    // No button is the dialog's default: Enter on a list opens the game or
    // set, and only a button with the focus takes Enter (eventFilter).
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

TfrmDownloadData::TfrmDownloadData(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmDownloadData"));
    // Texts pass through the message catalogue as the controls are made.
    setWindowTitle(_("Download card list"));
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    ilIcons = DrawDownloadIcons();
    ilFlags = DrawFlagImages();
    createControls();
    resize(kClientWidth, kClientHeight);
    placeControls();
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmDownloadData::~TfrmDownloadData()
{
    // The model must not be asked for cells of cards that are gone.
    vstCards->setModel(nullptr);
    ClearCardList();
}

void TfrmDownloadData::createControls()
{
    lbGame = named(new QLabel(_("Game"), this), "lbGame");
    lvGames = makeEntryList(this, "lvGames");
    lbExpansion = named(new QLabel(_("Expansion"), this), "lbExpansion");
    lvSets = makeEntryList(this, "lvSets");

    gbFilter = named(new QGroupBox(_(" Filter options "), this), "gbFilter");
    lbSubsets = named(new QLabel(_("Subsets"), gbFilter), "lbSubsets");
    cbSubsets = named(new QComboBox(gbFilter), "cbSubsets");
    lbRarity = named(new QLabel(_("Rarity"), gbFilter), "lbRarity");
    cbRarity = named(new QComboBox(gbFilter), "cbRarity");
    lbLanguages = named(new QLabel(_("Language"), gbFilter), "lbLanguages");
    cbLanguages = named(new QComboBox(gbFilter), "cbLanguages");
    for (QComboBox *list : {cbSubsets, cbRarity, cbLanguages}) {
        list->setModel(new TFilterListModel(list));
        // Its place is fixed: no measuring of every entry, for the box or its popup.
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        if (auto *view = qobject_cast<QListView *>(list->view()))
            view->setUniformItemSizes(true);
    }
    cbWithoutScan = named(new QCheckBox(_("Only cards without scans"), gbFilter), "cbWithoutScan");
    btFilter = makeButton(gbFilter, "btFilter", _("Filter"));
    btResetFilter = makeButton(gbFilter, "btResetFilter", _("Reset"));
    btFilter->setIcon(QIcon(QPixmap::fromImage(ilIcons[iconFilter])));
    btResetFilter->setIcon(QIcon(QPixmap::fromImage(ilIcons[iconResetFilter])));
    lbSubsets->setGeometry(8, 24, 60, 17);
    cbSubsets->setGeometry(72, 20, 180, 21);
    lbRarity->setGeometry(8, 48, 60, 17);
    cbRarity->setGeometry(72, 44, 180, 21);
    lbLanguages->setGeometry(8, 72, 60, 17);
    cbLanguages->setGeometry(72, 68, 180, 21);
    cbWithoutScan->setGeometry(8, 144, 241, 17);
    btFilter->setGeometry(32, 168, 81, 25);
    btResetFilter->setGeometry(144, 168, 81, 25);
    // A longer translation ("Zurücksetzen") widens its button rather than lose its end.
    for (QPushButton *button : {btFilter, btResetFilter})
        button->resize(std::max(button->width(), button->sizeHint().width()), button->height());
    for (QLabel *label : {lbSubsets, lbRarity, lbLanguages})
        label->setBuddy(label == lbSubsets ? cbSubsets : label == lbRarity ? cbRarity : cbLanguages);
    EnableFilterGroup(false);

    lbCardList = named(new QLabel(_("Card List"), this), "lbCardList");
    lbResults = named(new QLabel(QStringLiteral("0"), this), "lbResults");
    lbResults->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    vstCards = named(new QTableView(this), "vstCards");
    vstCards->setFont(QFont(QStringLiteral("Arial"), 8));
    CardsModel = new TDownloadCardModel(Cards, FilteredCards, ilIcons, ilFlags, this);
    vstCards->setModel(CardsModel);
    vstCards->setItemDelegate(new TFocusedRowDelegate(vstCards));
    SetUpCardGrid(vstCards);
    vstCards->verticalHeader()->setDefaultSectionSize(18);
    QHeaderView *header = vstCards->horizontalHeader();
    sortColumn_ = std::make_unique<TSortColumn>(header);
    header->setFixedHeight(21);
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(false);
    header->setMinimumSectionSize(16);
    const int widths[dcColumnCount] = {35, 80, 491, 30, 70, 40, 70, 70, 30};
    for (int column = 0; column < dcColumnCount; ++column)
        vstCards->setColumnWidth(column, widths[column]);
    // The name takes whatever width the window gives.
    header->setSectionResizeMode(dcName, QHeaderView::Stretch);
    vstCards->installEventFilter(this);

    Bevel = named(new QFrame(this), "Bevel");
    Bevel->setFrameShape(QFrame::HLine);
    Bevel->setFrameShadow(QFrame::Sunken);
    btAccept = makeButton(this, "btAccept", _("Accept"));
    btAccept->setIcon(QIcon(QPixmap::fromImage(ilIcons[iconTick])));
    btAccept->setEnabled(false);
    btCancel = makeButton(this, "btCancel", _("Cancel"));
    btCancel->setIcon(QIcon(QPixmap::fromImage(ilIcons[iconCross])));

    connect(lvGames, &QTreeWidget::itemDoubleClicked, this, [this] { RunGuarded([this] { lvGamesDblClick(); }); });
    connect(lvSets, &QTreeWidget::itemDoubleClicked, this, [this] { RunGuarded([this] { lvSetsDblClick(); }); });
    lvGames->installEventFilter(this);
    lvSets->installEventFilter(this);
    connect(btFilter, &QPushButton::clicked, this, [this] { RunGuarded([this] { btFilterClick(); }); });
    connect(btResetFilter, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { btResetFilterClick(); }); });
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int Column) { RunGuarded([this, Column] { vstCardsHeaderClick(Column); }); });
    connect(btAccept, &QPushButton::clicked, this, [this] { RunGuarded([this] { btAcceptClick(); }); });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton *button : {btFilter, btResetFilter, btAccept, btCancel})
        button->installEventFilter(this);
}

void TfrmDownloadData::placeControls()
{
    const int dx = width() - kClientWidth;
    const int dy = height() - kClientHeight;
    lbGame->setGeometry(8, 8, 250, 16);
    lvGames->setGeometry(8, 24, 250, 201);
    lbExpansion->setGeometry(264, 8, 250, 16);
    lvSets->setGeometry(264, 24, 393 + dx, 201);
    gbFilter->setGeometry(663 + dx, 24, 265, 201);
    lbCardList->setGeometry(8, 232, 200, 16);
    lbResults->setGeometry(728 + dx, 232, 200, 16);
    vstCards->setGeometry(8, 248, 920 + dx, 407 + dy);
    Bevel->setGeometry(8, 660 + dy, 920 + dx, 2);
    btAccept->setGeometry(679 + dx, 670 + dy, 105, 25);
    btCancel->setGeometry(815 + dx, 669 + dy, 105, 25);
}

void TfrmDownloadData::resizeEvent(QResizeEvent *Event)
{
    QDialog::resizeEvent(Event);
    placeControls();
}

void TfrmDownloadData::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    RunGuarded([this] { FormShow(); });
}

bool TfrmDownloadData::eventFilter(QObject *Watched, QEvent *Event)
{
    const bool list = Watched == lvGames || Watched == lvSets;
    if (list && (Event->type() == QEvent::KeyPress || Event->type() == QEvent::KeyRelease)) {
        // X11 sends a release with every auto-repeat, and a message box closed
        // by Enter leaves its release to the list: only a stroke that went
        // down here opens the game or set, once.
        auto *key = static_cast<QKeyEvent *>(Event);
        if (IsEnterKey(key->key()) && !key->isAutoRepeat()) {
            if (Event->type() == QEvent::KeyPress) {
                enterPressedOn_ = Watched;
            } else if (enterPressedOn_ == Watched) {
                enterPressedOn_ = nullptr;
                if (Watched == lvGames)
                    RunGuarded([this] { lvGamesDblClick(); });
                else
                    RunGuarded([this] { lvSetsDblClick(); });
            }
        }
    } else if (list && Event->type() == QEvent::FocusOut) {
        if (enterPressedOn_ == Watched)
            enterPressedOn_ = nullptr;
    } else if (Event->type() == QEvent::KeyPress && qobject_cast<QPushButton *>(Watched)) {
        auto *key = static_cast<QKeyEvent *>(Event);
        auto *button = static_cast<QPushButton *>(Watched);
        if (IsEnterKey(key->key()) && !key->isAutoRepeat() && button->isEnabled()) {
            button->click();
            return true;
        }
    } else if (Watched == vstCards && Event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(Event);
        const QString text = key->text();
        if (!text.isEmpty() && text[0].isPrint()
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            RunGuarded([&] { vstCardsIncrementalSearch(text, now); });
            return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}

bool TfrmDownloadData::systemReportsNetwork() const
{
    // A catalogue on this machine (the demo server) needs no network at all.
    if (const auto address = ParseCatalogueAddress(CatalogueHostSetting())) {
        const QString host = QString::fromUtf8(address->Host);
        if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0
            || QHostAddress(host).isLoopback())
            return true;
    }
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        const auto reachability = QNetworkInformation::instance()->reachability();
        if (reachability != QNetworkInformation::Reachability::Unknown)
            return reachability != QNetworkInformation::Reachability::Disconnected;
    }
    for (const QNetworkInterface &face : QNetworkInterface::allInterfaces()) {
        const auto flags = face.flags();
        if ((flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning)
            && !(flags & QNetworkInterface::IsLoopBack) && !face.addressEntries().isEmpty())
            return true;
    }
    return false;
}

void TfrmDownloadData::FormShow()
{
    if (lvGames->topLevelItemCount() > 0)
        return;
    const bool connected = networkCheck_ ? networkCheck_() : systemReportsNetwork();
    if (connected)
        exclusive([this] { LoadGames(); });
}

void TfrmDownloadData::exclusive(const std::function<void()> &Operation)
{
    if (busy_)
        return;
    busy_ = true;
    const TInputBlock block{this, frmLoading_};
    const auto done = qScopeGuard([this] { busy_ = false; });
    Operation();
}

void TfrmDownloadData::withNotice(const std::function<void()> &Body)
{
    if (!frmLoading_) {
        Body();
        return;
    }
    // A window manager that hands the notice the focus anyway must give it
    // back, or the keyboard would be lost once the notice is gone.
    const QPointer<QWidget> active = QApplication::activeWindow();
    const auto hide = qScopeGuard([this, active] {
        frmLoading_->hide();
        if (active && active->isVisible() && QApplication::activeWindow() != active)
            active->activateWindow();
    });
    frmLoading_->show();
    frmLoading_->raise();
    // The request blocks the event loop: the notice is drawn now or never.
    // Paint only: input waits, and what reaches this dialog is dropped.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    Body();
}

TCatalogueAnswer TfrmDownloadData::request(const QByteArray &Target)
{
    const std::optional<TCatalogueAddress> address = ParseCatalogueAddress(CatalogueHostSetting());
    if (!address)
        return RequestCatalogue(Target);   // gives the message for the bad setting
    return RequestCatalogue(*address, Target, limits_);
}

void TfrmDownloadData::fillEntries(QTreeWidget *List, const TCatalogueEntries &Entries)
{
    // Sorting once at the end keeps a long list from resorting per entry.
    List->setSortingEnabled(false);
    List->clear();
    std::vector<QString> names;
    names.reserve(Entries.Entries.size());
    for (const TCatalogueEntry &entry : Entries.Entries)
        names.push_back(entry.Name);
    const std::vector<int> order = CatalogueTextOrder(names, Qt::CaseInsensitive);
    for (size_t place = 0; place < order.size(); ++place) {
        const TCatalogueEntry &entry = Entries.Entries[static_cast<size_t>(order[place])];
        auto *item = new TNameItem(List, QStringList{entry.Name, entry.Code}, static_cast<int>(place));
        item->setData(0, Qt::UserRole, entry.Id);
    }
    List->setSortingEnabled(true);
    List->sortByColumn(0, Qt::AscendingOrder);
}

void TfrmDownloadData::LoadGames()
{
    const QString site = CatalogueSiteName();
    try {
        ClearCardList();
        lvGames->clear();
        lvSets->clear();
        Game.reset();
        Expansion.reset();
        lbCardList->setText(_("Card List"));
        withNotice([&] {
            const QString prefix = _("Error while downloading card list from server ") + site
                                   + QStringLiteral(": ");
            const TCatalogueAnswer answer = request(GamesListTarget());
            if (!answer.Ok) {
                MessageDlg(prefix + answer.Error, TMsgDlgType::Error);
                return;
            }
            const TCatalogueEntries entries = ReadCatalogueEntries(answer.Body, limits_.MaxRecords);
            fillEntries(lvGames, entries);
            if (!entries.Error.isEmpty()) {
                MessageDlg(prefix + entries.Error, TMsgDlgType::Error);
                return;
            }
            if (lvGames->topLevelItemCount() > 0) {
                lvGames->setFocus();
                lvGames->setCurrentItem(lvGames->topLevelItem(0));
            }
        });
    } catch (const std::exception &error) {
        MessageDlg(_("Cannot connect to server ") + site + QStringLiteral(": ")
                       + ErrorMessageOf(error),
                   TMsgDlgType::Error);
    }
}

void TfrmDownloadData::lvGamesDblClick()
{
    exclusive([this] { openGame(); });
}

void TfrmDownloadData::openGame()
{
    const QList<QTreeWidgetItem *> selected = lvGames->selectedItems();
    if (selected.isEmpty())
        return;
    const QTreeWidgetItem *item = selected.first();
    Expansion.reset();
    Game = std::make_unique<TGame>();
    Game->Id = item->data(0, Qt::UserRole).toInt();
    Game->Name = item->text(0);
    Game->Code = item->text(1);
    LoadSets(Game->Id);
    lvSets->setFocus();
    btAccept->setEnabled(false);
    EnableFilterGroup(false);
}

void TfrmDownloadData::LoadSets(int GameId)
{
    ClearCardList();
    lvSets->clear();
    Expansion.reset();
    lbCardList->setText(_("Card List"));
    withNotice([&] {
        const TCatalogueAnswer answer = request(SetsListTarget(GameId));
        if (!answer.Ok) {
            MessageDlg(answer.Error, TMsgDlgType::Error);
            return;
        }
        const TCatalogueEntries entries = ReadCatalogueEntries(answer.Body, limits_.MaxRecords);
        fillEntries(lvSets, entries);
        if (!entries.Error.isEmpty()) {
            MessageDlg(entries.Error, TMsgDlgType::Error);
            return;
        }
        if (lvSets->topLevelItemCount() > 0)
            lvSets->setCurrentItem(lvSets->topLevelItem(0));
    });
}

void TfrmDownloadData::lvSetsDblClick()
{
    exclusive([this] { openSet(); });
}

void TfrmDownloadData::openSet()
{
    const QList<QTreeWidgetItem *> selected = lvSets->selectedItems();
    if (selected.isEmpty())
        return;
    const QTreeWidgetItem *item = selected.first();
    EnableFilterGroup(false);
    Expansion = std::make_unique<TExpansion>();
    Expansion->Id = item->data(0, Qt::UserRole).toInt();
    Expansion->Name = item->text(0);
    Expansion->Code = item->text(1);
    btAccept->setEnabled(false);
    LoadCards(Expansion->Id);
    if (Cards.Count() > 0)
        btAccept->setFocus();
    ShowResultCount();
}

void TfrmDownloadData::LoadCards(int SetId)
{
    ClearCardList();

    // Read into a list of its own and put in place whole: a load replaces the
    // list, never adds to it.
    TCatalogueCards read;
    withNotice([&] {
        TCatalogueAnswer answer = request(CardsListTarget(SetId));
        if (!answer.Ok) {
            MessageDlg(answer.Error, TMsgDlgType::Error);
            return;
        }
        read = ReadCatalogueCards(std::exchange(answer.Body, QByteArray()), limits_.MaxRecords);
        if (read.TooMany)
            MessageDlg(_("The set has more than %1 cards; its list was not loaded.")
                           .arg(limits_.MaxRecords),
                       TMsgDlgType::Error);
    });
    Cards = std::move(read.Cards);
    const TDistinctValues &distinct = read.Distinct;
    MarkLocalScans(Game.get(), Expansion.get(), Cards, fileNames_ ? fileNames_() : 0);

    cbWithoutScan->setEnabled(true);
    fillFilterList(cbLanguages, lbLanguages, distinct.Languages, {});
    fillFilterList(cbRarity, lbRarity, distinct.Rarities, {});
    QStringList subsetNames;
    for (const int code : distinct.Subsets)
        subsetNames << FromAnsi(TGameCard::SubsetName(code));
    fillFilterList(cbSubsets, lbSubsets, subsetNames, distinct.Subsets);
    if (gbFilter->isEnabled()) {
        btFilter->setEnabled(true);
        btResetFilter->setEnabled(true);
    }
    sortColumn_->Clear();
    CardsModel->SetRowCount(Cards.Count());
    btAccept->setEnabled(Cards.Count() > 0);
}

void TfrmDownloadData::fillFilterList(QComboBox *List, QLabel *Label, const QStringList &Texts,
                                      const QList<int> &Codes)
{
    auto *entries = static_cast<TFilterListModel *>(List->model());
    if (Texts.size() < 2) {
        entries->Set({}, {});
        return;
    }
    gbFilter->setEnabled(true);
    const std::vector<int> order =
        CatalogueTextOrder(std::vector<QString>(Texts.begin(), Texts.end()), Qt::CaseInsensitive);
    QStringList sortedTexts{_("-- All --")};
    QList<int> sortedCodes;
    if (!Codes.isEmpty())
        sortedCodes << 0;
    for (const int i : order) {
        sortedTexts << Texts[i];
        if (!Codes.isEmpty())
            sortedCodes << Codes[i];
    }
    entries->Set(std::move(sortedTexts), std::move(sortedCodes));
    List->setEnabled(true);
    Label->setEnabled(true);
    List->setCurrentIndex(0);
}

void TfrmDownloadData::ClearCardList()
{
    FilteredCards.clear();
    CardsModel->SetRowCount(0);
    Cards.Clear();
    search_.Clear();
    ShowResultCount();
}

void TfrmDownloadData::EnableFilterGroup(bool On)
{
    gbFilter->setEnabled(On);
    for (QWidget *child : gbFilter->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->setEnabled(On);
}

void TfrmDownloadData::ShowResultCount()
{
    lbResults->setText(QString::number(CardsModel->CurrentCount()));
}

TCardFilter TfrmDownloadData::filterChoice() const
{
    TCardFilter filter;
    // Entry 0 is "-- All --"; an empty list has none selected.
    if (cbSubsets->currentIndex() > 0)
        filter.SubsetId = cbSubsets->currentData().toInt();
    if (cbLanguages->currentIndex() > 0)
        filter.Language = cbLanguages->currentText();
    if (cbRarity->currentIndex() > 0)
        filter.Rarity = cbRarity->currentText();
    filter.WithoutScan = cbWithoutScan->isChecked();
    return filter;
}

void TfrmDownloadData::btFilterClick()
{
    const TCardFilter filter = filterChoice();
    vstCards->setUpdatesEnabled(false);
    FilteredCards.clear();
    CardsModel->SetRowCount(Cards.Count());
    for (const TCardItem &item : Cards.Items())
        if (PassesFilter(*item.Card, filter))
            FilteredCards.push_back({item.Text, item.Card.get()});
    if (!FilteredCards.empty())
        CardsModel->SetRowCount(static_cast<int>(FilteredCards.size()));
    vstCards->setUpdatesEnabled(true);
    if (FilteredCards.empty())
        MessageDlg(_("No results. Filter will not be used."), TMsgDlgType::Warning);
    ShowResultCount();
}

void TfrmDownloadData::btResetFilterClick()
{
    FilteredCards.clear();
    CardsModel->SetRowCount(Cards.Count());
    ShowResultCount();
}

void TfrmDownloadData::vstCardsHeaderClick(int Column)
{
    sortColumn_->Click(Column);
    const std::vector<int> order =
        DownloadSortOrder(CardsModel->CurrentCards(), sortColumn_->Column(), sortColumn_->Descending());
    if (FilteredCards.empty())
        ApplyOrder(Cards.Items(), order);
    else
        ApplyOrder(FilteredCards, order);
    CardsModel->Repaint();
}

void TfrmDownloadData::vstCardsIncrementalSearch(const QString &Typed, qint64 NowMs)
{
    const QString candidate = search_.Typed(Typed, NowMs);
    search_.Accept(candidate);
    const int focused = vstCards->currentIndex().isValid() ? vstCards->currentIndex().row() : 0;
    const int row = FindNameFrom(CardsModel->CurrentCards(), focused, candidate);
    if (row < 0)
        return;
    const QModelIndex index = CardsModel->index(row, dcName);
    vstCards->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    vstCards->scrollTo(index);
}

void TfrmDownloadData::btAcceptClick()
{
    if (Game && Expansion && Cards.Count() > 0 && handOver_)
        handOver_(*Game, *Expansion, CardsModel->CurrentCards());
    accept();
}

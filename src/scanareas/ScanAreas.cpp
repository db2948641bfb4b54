#include "scanareas/ScanAreas.h"

#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "scanareas/CustomizeFormat.h"
#include "scanareas/ScanAreaStore.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { ColName, ColDpi, ColSize };

TScanArea *areaOf(const QTreeWidgetItem *Item)
{
    return Item ? ScanAreaFromData(Item->data(ColName, Qt::UserRole)) : nullptr;
}

} // namespace

TfrmScanAreas::TfrmScanAreas(QWidget *Parent, QComboBox *cbFormat, TfrmCustomizeFormat *Editor)
    : QDialog(Parent), cbFormat_(cbFormat), editor_(Editor)
{
    setObjectName(QStringLiteral("frmScanAreas"));
    setWindowTitle(_("Scan Areas"));
    setSizeGripEnabled(true);

    lbAreas = new QLabel(_("Defined scan areas:"), this);
    lbAreas->setObjectName(QStringLiteral("lbAreas"));

    lvAreas = new QTreeWidget(this);
    lvAreas->setObjectName(QStringLiteral("lvAreas"));
    lbAreas->setBuddy(lvAreas);
    lvAreas->setColumnCount(3);
    lvAreas->setHeaderLabels({_("Name"), _("DPI"), _("Size")});
    lvAreas->setRootIsDecorated(false);
    lvAreas->setItemsExpandable(false);
    lvAreas->setUniformRowHeights(true);
    lvAreas->setAllColumnsShowFocus(true);
    lvAreas->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvAreas->setSelectionMode(QAbstractItemView::SingleSelection);
    lvAreas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The entries are placed in name order as they are added.
    lvAreas->setSortingEnabled(false);
    QHeaderView *header = lvAreas->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(ColName, QHeaderView::Stretch);
    header->resizeSection(ColDpi, 40);
    header->resizeSection(ColSize, 200);
    connect(lvAreas, &QTreeWidget::itemDoubleClicked, this, [this] { RunGuarded([this] { btChangeClick(); }); });

    btChange = new QPushButton(_("Change"), this);
    btChange->setObjectName(QStringLiteral("btChange"));
    btAdd = new QPushButton(_("Add"), this);
    btAdd->setObjectName(QStringLiteral("btAdd"));
    btRemove = new QPushButton(_("Remove"), this);
    btRemove->setObjectName(QStringLiteral("btRemove"));
    btClose = new QPushButton(_("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    connect(btChange, &QPushButton::clicked, this, Guarded(this, &TfrmScanAreas::btChangeClick));
    connect(btAdd, &QPushButton::clicked, this, Guarded(this, &TfrmScanAreas::btAddClick));
    connect(btRemove, &QPushButton::clicked, this, Guarded(this, &TfrmScanAreas::btRemoveClick));
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(btChange);
    buttons->addWidget(btAdd);
    buttons->addWidget(btRemove);
    buttons->addStretch(1);
    buttons->addWidget(btClose);

    auto *layout = new QGridLayout(this);
    layout->addWidget(lbAreas, 0, 0);
    layout->addWidget(lvAreas, 1, 0);
    layout->addLayout(buttons, 1, 1);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(0, 1);
    resize(520, 300);

    if (editor_)
        editor_->SetAreaList(lvAreas);
}

TfrmScanAreas::~TfrmScanAreas()
{
    // The main window's list outlives us; it must not keep pointers to freed areas.
    clearFormat();
}

void TfrmScanAreas::LoadScanAreas()
{
    const QString dir = ScanAreaStoreDir();
    // A folder that cannot be made simply holds no store yet.
    ForceScanAreaStoreDir(dir);
    ClearScanAreas();
    for (TScanArea &area : ReadScanAreaStore(dir + ScanAreaStoreName()))
        Areas.Add(std::make_unique<TScanArea>(std::move(area)));
    RefreshLists();
}

void TfrmScanAreas::SaveScanAreas()
{
    std::vector<const TScanArea *> areas;
    areas.reserve(static_cast<size_t>(lvAreas->topLevelItemCount()));
    for (int i = 0; i < lvAreas->topLevelItemCount(); ++i)
        if (const TScanArea *area = areaOf(lvAreas->topLevelItem(i)))
            areas.push_back(area);
    WriteScanAreaStore(ScanAreaStoreDir(), areas);
}

void TfrmScanAreas::ClearScanAreas()
{
    lvAreas->clear();
    clearFormat();
    Areas.Clear();
}

void TfrmScanAreas::RefreshLists()
{
    lvAreas->setUpdatesEnabled(false);
    lvAreas->clear();
    for (int i = 0; i < Areas.Count(); ++i)
        AddListItem(Areas.At(i));
    lvAreas->setUpdatesEnabled(true);

    if (!cbFormat_)
        return;
    TScanArea *selected =
        cbFormat_->currentIndex() >= 0 ? ScanAreaFromData(cbFormat_->currentData()) : nullptr;
    clearFormat();
    for (int i = 0; i < lvAreas->topLevelItemCount(); ++i)
        if (TScanArea *area = areaOf(lvAreas->topLevelItem(i)))
            addFormatItem(area);
    cbFormat_->setCurrentIndex(selected ? formatIndexOf(selected) : -1);
}

void TfrmScanAreas::setEntryTexts(QTreeWidgetItem *Item, const TScanArea &Area)
{
    Item->setText(ColName, Area.Name);
    Item->setText(ColDpi, QString::number(Area.Quality));
    Item->setText(ColSize, ScanAreaSizeText(Area));
}

void TfrmScanAreas::AddListItem(TScanArea *Area)
{
    if (!Area)
        return;
    auto *item = new QTreeWidgetItem;
    item->setData(ColName, Qt::UserRole, ScanAreaData(Area));
    setEntryTexts(item, *Area);
    int position = 0;
    const int count = lvAreas->topLevelItemCount();
    while (position < count
           && CompareAreaNames(lvAreas->topLevelItem(position)->text(ColName), Area->Name) <= 0)
        ++position;
    lvAreas->insertTopLevelItem(position, item);
}

void TfrmScanAreas::UpdateListItem(TScanArea *Area)
{
    QTreeWidgetItem *item = entryOf(Area);
    if (!item) {
        ShowMessageBox(_("Error"), _("Cannot match changed data!"));
        return;
    }
    setEntryTexts(item, *Area);
    const int index = formatIndexOf(Area);
    if (index >= 0)
        cbFormat_->setItemText(index, Area->Name);
}

TScanArea *TfrmScanAreas::SelectedArea() const
{
    const QList<QTreeWidgetItem *> selected = lvAreas->selectedItems();
    return selected.isEmpty() ? nullptr : areaOf(selected.first());
}

QTreeWidgetItem *TfrmScanAreas::entryOf(const TScanArea *Area) const
{
    if (!Area)
        return nullptr;
    for (int i = 0; i < lvAreas->topLevelItemCount(); ++i)
        if (areaOf(lvAreas->topLevelItem(i)) == Area)
            return lvAreas->topLevelItem(i);
    return nullptr;
}

int TfrmScanAreas::formatIndexOf(const TScanArea *Area) const
{
    if (!cbFormat_ || !Area)
        return -1;
    for (int i = 0; i < cbFormat_->count(); ++i)
        if (ScanAreaFromData(cbFormat_->itemData(i)) == Area)
            return i;
    return -1;
}

void TfrmScanAreas::addFormatItem(TScanArea *Area)
{
    if (!cbFormat_)
        return;
    // QComboBox selects the first item put into an empty list; the selection is the user's.
    TScanArea *selected =
        cbFormat_->currentIndex() >= 0 ? ScanAreaFromData(cbFormat_->currentData()) : nullptr;
    int position = 0;
    while (position < cbFormat_->count()
           && CompareAreaNames(cbFormat_->itemText(position), Area->Name) <= 0)
        ++position;
    cbFormat_->insertItem(position, Area->Name, ScanAreaData(Area));
    cbFormat_->setCurrentIndex(selected ? formatIndexOf(selected) : -1);
}

void TfrmScanAreas::clearFormat()
{
    if (cbFormat_)
        cbFormat_->clear();
}

void TfrmScanAreas::btAddClick()
{
    if (!editor_)
        return;
    auto area = std::make_unique<TScanArea>();
    editor_->setWindowTitle(_("New scan area"));
    editor_->Tag = 1;
    editor_->PrepareNew(area.get());
    const int result = ShowModal(*editor_);
    editor_->EditedArea = nullptr;
    if (result != QDialog::Accepted)
        return;   // the new record goes with `area`
    TScanArea *added = Areas.Add(std::move(area));
    AddListItem(added);
    addFormatItem(added);
    SaveScanAreas();
}

void TfrmScanAreas::btChangeClick()
{
    TScanArea *area = SelectedArea();
    if (!area || !editor_)
        return;
    editor_->setWindowTitle(_("Edit scan area"));
    editor_->Tag = 0;
    editor_->PrepareEdit(area);
    const int result = ShowModal(*editor_);
    editor_->EditedArea = nullptr;
    if (result != QDialog::Accepted)
        return;
    UpdateListItem(area);
    SaveScanAreas();
}

void TfrmScanAreas::btRemoveClick()
{
    TScanArea *area = SelectedArea();
    if (!area)
        return;
    // Matched by record rather than by text, so no item can outlive its area.
    const int index = formatIndexOf(area);
    if (index >= 0) {
        TScanArea *selected = ScanAreaFromData(cbFormat_->currentData());
        cbFormat_->removeItem(index);
        // QComboBox would move the selection to a neighbour; scanning with an
        // area the user did not choose is worse than none.
        cbFormat_->setCurrentIndex(selected && selected != area ? formatIndexOf(selected) : -1);
    }
    delete entryOf(area);
    Areas.Delete(area);
    SaveScanAreas();
}

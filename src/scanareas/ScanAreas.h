#pragma once

#include "scanareas/ScanArea.h"

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TfrmCustomizeFormat;

// Lists, adds, changes and removes the scan areas; owns every area of the run.
// Each confirmed change is written to the store at once.
class TfrmScanAreas : public QDialog
{
    Q_OBJECT
public:
    // cbFormat is the main window's scan area list, kept in step with this one.
    TfrmScanAreas(QWidget *Parent, QComboBox *cbFormat, TfrmCustomizeFormat *Editor);
    ~TfrmScanAreas() override;

    // Replaces all areas by those of the store and refills both lists.
    void LoadScanAreas();
    // Writes the areas of lvAreas, in list order; throws EAppError when it cannot.
    void SaveScanAreas();
    // Frees every area; the lists that show them are emptied first.
    void ClearScanAreas();
    // Refills lvAreas from Areas and cbFormat from lvAreas, keeping cbFormat's selection.
    void RefreshLists();
    void AddListItem(TScanArea *Area);
    void UpdateListItem(TScanArea *Area);

    // The area of the selected lvAreas entry, or nullptr.
    TScanArea *SelectedArea() const;

    void btAddClick();
    void btChangeClick();
    void btRemoveClick();

    // Every area of the dialog: those read by loading and those added since.
    TScanAreaList Areas;

    QLabel *lbAreas = nullptr;
    QTreeWidget *lvAreas = nullptr;
    QPushButton *btChange = nullptr;
    QPushButton *btAdd = nullptr;
    QPushButton *btRemove = nullptr;
    QPushButton *btClose = nullptr;

private:
    void setEntryTexts(QTreeWidgetItem *Item, const TScanArea &Area);
    QTreeWidgetItem *entryOf(const TScanArea *Area) const;
    int formatIndexOf(const TScanArea *Area) const;
    void addFormatItem(TScanArea *Area);
    void clearFormat();

    QPointer<QComboBox> cbFormat_;
    QPointer<TfrmCustomizeFormat> editor_;
};

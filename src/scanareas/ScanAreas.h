#pragma once

#include <QDialog>

class QComboBox;
class TfrmCustomizeFormat;

// Lists, adds, changes and removes the scan areas; owns every area of the run.
class TfrmScanAreas : public QDialog
{
    Q_OBJECT
public:
    // cbFormat is the main window's scan area list, kept in step with this one.
    TfrmScanAreas(QWidget *Parent, QComboBox *cbFormat, TfrmCustomizeFormat *Editor);

    void LoadScanAreas();
    void SaveScanAreas();

private:
    QComboBox *cbFormat_;
    TfrmCustomizeFormat *editor_;
};

#include "scanareas/ScanAreas.h"

TfrmScanAreas::TfrmScanAreas(QWidget *Parent, QComboBox *cbFormat, TfrmCustomizeFormat *Editor)
    : QDialog(Parent), cbFormat_(cbFormat), editor_(Editor)
{
    setObjectName(QStringLiteral("frmScanAreas"));
}

void TfrmScanAreas::LoadScanAreas()
{
}

void TfrmScanAreas::SaveScanAreas()
{
}

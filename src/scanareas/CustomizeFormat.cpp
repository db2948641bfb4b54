#include "scanareas/CustomizeFormat.h"

TfrmCustomizeFormat::TfrmCustomizeFormat(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmCustomizeFormat"));
}

#include "download/DownloadData.h"

TfrmDownloadData::TfrmDownloadData(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmDownloadData"));
}

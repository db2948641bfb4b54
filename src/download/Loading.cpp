#include "download/Loading.h"

TfrmLoading::TfrmLoading(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmLoading"));
}

#include "settings/About.h"

TfrmAbout::TfrmAbout(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmAbout"));
}

#include "scanner/ScannerTest.h"

TfrmTest::TfrmTest(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmTest"));
}

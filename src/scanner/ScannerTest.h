#pragma once

#include "scanner/TwainSource.h"

#include <QDialog>
#include <QString>

class QPlainTextEdit;

// The report of the scanner capabilities test. Shown without blocking the
// configuration dialog; each run replaces the text.
class TfrmTest : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmTest(QWidget *Parent = nullptr);

    QPlainTextEdit *Log;
};

// The name of a capability result as the report shows it.
QString CapResultText(CapResult Result);

// Opens Source, lists its identity, tries the settings scanning relies on, and
// closes it again, one line per step into Window's Log. Without a source the
// report stays empty.
void RunScannerTest(TfrmTest &Window, TTwainSource *Source);

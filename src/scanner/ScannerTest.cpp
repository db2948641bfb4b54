#include "scanner/ScannerTest.h"

#include "platform/AnsiText.h"
#include "platform/MessageCatalogue.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

TfrmTest::TfrmTest(QWidget *Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmTest"));
    setWindowTitle(_("Scanner test"));
    setModal(false);
    Log = new QPlainTextEdit(this);
    Log->setObjectName(QStringLiteral("Log"));
    Log->setReadOnly(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Log);
    setFixedSize(381, 606);
}

QString CapResultText(CapResult Result)
{
    switch (Result) {
    case CapResult::Success: return _("Ok");
    case CapResult::Unsupported: return _("UNSUPPORTED");
    case CapResult::BadOperation: return _("BAD OPERATION");
    case CapResult::DependencyError: return _("DEPENDENCY ERROR");
    case CapResult::LowMemory: return _("LOW MEMORY");
    case CapResult::InvalidState: return _("INVALID STATE");
    case CapResult::InvalidContainer: return _("INVALID CONTAINER");
    }
    return _("UNKNOWN RESPONSE CODE");
}

void RunScannerTest(TfrmTest &Window, TTwainSource *Source)
{
    Window.Log->clear();
    if (!Source)
        return;
    const auto line = [&](const QString &Text) { Window.Log->appendPlainText(Text); };
    Source->SetLoaded(true);
    const TW_IDENTITY &identity = *Source->Record();
    line(QStringLiteral("Version info: ") + FromAnsi(Source->VersionInfo()));
    line(QStringLiteral("Manufacturer: ") + FromAnsi(Source->Manufacturer()));
    line(QStringLiteral("Product: ") + FromAnsi(Source->ProductName()));
    line(QStringLiteral("Family: ") + FromAnsi(Source->ProductFamily()));
    line(QStringLiteral("Application version: %1.%2")
             .arg(identity.Version.MajorNum).arg(identity.Version.MinorNum));
    line(QStringLiteral("--- Capabilities test ---"));
    line(QStringLiteral("Loaded: ") + (Source->Loaded() ? QStringLiteral("True") : QStringLiteral("False")));
    line(QStringLiteral("RGB pixel type: ") + CapResultText(Source->SetPixelType(TWPT_RGB)));
    line(QStringLiteral("Centimeter measure units: ") + CapResultText(Source->SetUnits(TWUN_CENTIMETERS)));
    line(QStringLiteral("Inch measure units: ") + CapResultText(Source->SetUnits(TWUN_INCHES)));
    line(QStringLiteral("Pixel measure units: ") + CapResultText(Source->SetUnits(TWUN_PIXELS)));
    line(QStringLiteral("X resolution: ") + CapResultText(Source->SetXResolution(300)));
    line(QStringLiteral("Y resolution: ") + CapResultText(Source->SetYResolution(300)));
    line(QStringLiteral("Programmable scan area: ") + CapResultText(Source->SetFrame(0, 0, 10, 10)));
    Source->SetLoaded(false);
}

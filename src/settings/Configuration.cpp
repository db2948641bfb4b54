#include "settings/Configuration.h"

TfrmConfiguration::TfrmConfiguration(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmConfiguration"));
}

QString TfrmConfiguration::WatermarkText() const
{
    return {};
}

void TfrmConfiguration::LoadSettings()
{
}

void TfrmConfiguration::SaveSettings()
{
}

void TfrmConfiguration::SetScanSizeAction(QAction *Action)
{
    Q_UNUSED(Action);
}

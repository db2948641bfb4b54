#pragma once

#include <QDialog>
#include <QString>

class QAction;

// The configuration dialog. Its one instance holds the settings for the whole run.
class TfrmConfiguration : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmConfiguration(QWidget *Parent = nullptr);

    quint8 TransferMode = 1;
    int FileNames = 0;
    bool SettingsKeyExisted = false;
    QString LastUsedScanArea;

    // The watermark of the web copy; empty means none.
    QString WatermarkText() const;

    void LoadSettings();
    void SaveSettings();

    // The main window's "Scan size" command, run by the Manage button.
    void SetScanSizeAction(QAction *Action);
};

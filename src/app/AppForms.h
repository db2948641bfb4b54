#pragma once

#include "app/Main.h"
#include "download/DownloadData.h"
#include "download/Loading.h"
#include "scanareas/CustomizeFormat.h"
#include "scanareas/ScanAreas.h"
#include "scanner/ScannerTest.h"
#include "settings/About.h"
#include "settings/Configuration.h"

#include <QStringList>

#include <memory>

// The application's eight windows, created once in a fixed order and destroyed
// in reverse, the main window last.
struct TAppForms
{
    std::unique_ptr<TfrmMain> frmMain;
    std::unique_ptr<TfrmLoading> frmLoading;
    std::unique_ptr<TfrmCustomizeFormat> frmCustomizeFormat;
    std::unique_ptr<TfrmDownloadData> frmDownloadData;
    std::unique_ptr<TfrmAbout> frmAbout;
    std::unique_ptr<TfrmConfiguration> frmConfiguration;
    std::unique_ptr<TfrmScanAreas> frmScanAreas;
    std::unique_ptr<TfrmTest> frmTest;

    TAppForms() = default;
    TAppForms(const TAppForms &) = delete;
    TAppForms &operator=(const TAppForms &) = delete;
    ~TAppForms();

    void CreateAll();
    // Object names of the forms in the order they were created.
    QStringList CreationOrder;
};

// Start-up after the application object exists: forms, settings, scan areas.
void StartUp(TAppForms &Forms);

#include "app/AppForms.h"

#include <QComboBox>

namespace {
template <typename Form>
void noteCreated(QStringList &Order, const std::unique_ptr<Form> &F)
{
    Order << F->objectName();
}
} // namespace

void TAppForms::CreateAll()
{
    frmMain = std::make_unique<TfrmMain>();
    noteCreated(CreationOrder, frmMain);
    frmMain->SetForms(this);
    QWidget *main = frmMain.get();

    frmLoading = std::make_unique<TfrmLoading>(main);
    noteCreated(CreationOrder, frmLoading);
    frmCustomizeFormat = std::make_unique<TfrmCustomizeFormat>(main);
    noteCreated(CreationOrder, frmCustomizeFormat);
    frmDownloadData = std::make_unique<TfrmDownloadData>(main);
    noteCreated(CreationOrder, frmDownloadData);
    frmAbout = std::make_unique<TfrmAbout>(main);
    noteCreated(CreationOrder, frmAbout);
    frmConfiguration = std::make_unique<TfrmConfiguration>(main);
    noteCreated(CreationOrder, frmConfiguration);
    frmConfiguration->SetScanSizeAction(frmMain->actScanSize);
    frmConfiguration->TestScanner = [main = frmMain.get()] { main->RunScannerCapabilitiesTest(); };
    frmDownloadData->SetHandOver([main = frmMain.get()](const TGame &Game, const TExpansion &Expansion,
                                                        const std::vector<const TGameCard *> &Cards) {
        main->AcceptDownloadedList(Game, Expansion, Cards);
    });
    frmDownloadData->SetLoadingNotice(frmLoading.get());
    frmDownloadData->SetFileNamesSetting(
        [configuration = frmConfiguration.get()] { return configuration->FileNames; });
    frmScanAreas = std::make_unique<TfrmScanAreas>(main, frmMain->cbFormat, frmCustomizeFormat.get());
    noteCreated(CreationOrder, frmScanAreas);
    frmTest = std::make_unique<TfrmTest>(main);
    noteCreated(CreationOrder, frmTest);
}

TAppForms::~TAppForms()
{
    frmTest.reset();
    frmScanAreas.reset();
    frmConfiguration.reset();
    frmAbout.reset();
    frmDownloadData.reset();
    frmCustomizeFormat.reset();
    frmLoading.reset();
    frmMain.reset();
}

void StartUp(TAppForms &Forms)
{
    Forms.CreateAll();
    Forms.frmConfiguration->LoadSettings();
    Forms.frmMain->ApplyStoreFolder(false);
    Forms.frmScanAreas->LoadScanAreas();
}

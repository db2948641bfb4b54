// The TWAIN layer against the real data source manager library.

#include "DsmFixture.h"

#include "scanner/FormSelectSource.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Records every event as a line and keeps a copy of each delivered image.
struct TEventLog
{
    std::vector<std::string> Lines;
    std::vector<QImage> Images;
    bool CancelInAcquire = false;
    bool CloseInAcquire = false;
    bool ThrowInAcquire = false;
    bool PollInAcquire = false; // as the timer does under a handler's modal loop

    void Bind(TTwainManager &Manager)
    {
        Manager.OnTwainAcquire = [this](TTwainManager *Sender, int Index, const QImage &Image,
                                        bool &Cancel) {
            Lines.push_back("acquire " + std::to_string(Index));
            Images.push_back(Image.copy());
            Cancel = Cancel || CancelInAcquire;
            if (CloseInAcquire)
                Sender->SourceAt(Index)->SetLoaded(false);
            if (PollInAcquire)
                Sender->Poll();
            if (ThrowInAcquire)
                throw std::runtime_error("handler failed");
        };
        Manager.OnAcquireCancel = [this](TTwainManager *, int Index) {
            Lines.push_back("cancel " + std::to_string(Index));
        };
        Manager.OnAcquireError = [this](TTwainManager *, int Index, int Code, int Additional) {
            Lines.push_back("error " + std::to_string(Index) + " " + std::to_string(Code) + " "
                            + std::to_string(Additional));
        };
        Manager.OnSourceDisable = [this](TTwainManager *, int Index) {
            Lines.push_back("disabled " + std::to_string(Index));
        };
        Manager.OnTransferComplete = [this](TTwainManager *, int Index, bool Canceled) {
            Lines.push_back("complete " + std::to_string(Index) + (Canceled ? " canceled" : ""));
        };
        Manager.ErrorReporter = [this](const std::exception &e) {
            Lines.push_back(std::string("reported ") + e.what());
        };
    }
};

using Lines = std::vector<std::string>;

TTwainSource *openSource(TTwainManager &Manager, int Index = 0)
{
    if (!Manager.LoadDsm() || !Manager.OpenManager())
        return nullptr;
    TTwainSource *source = Manager.SourceAt(Index);
    if (source)
        source->SetLoaded(true);
    return source;
}

// A small page: 50 dpi over 1 x 1.2 inches, 50 x 60 pixels (RGB rows padded).
void configure(TTwainSource &Source, TW_UINT16 PixelType)
{
    EXPECT_EQ(Source.SetPixelType(PixelType), CapResult::Success);
    EXPECT_EQ(Source.SetUnits(TWUN_INCHES), CapResult::Success);
    EXPECT_EQ(Source.SetXResolution(50), CapResult::Success);
    EXPECT_EQ(Source.SetYResolution(50), CapResult::Success);
    EXPECT_EQ(Source.SetFrame(0, 0, 1, 1.2), CapResult::Success);
}

void expectSameImage(const TDsmFixture &Dsm, const QImage &Image, const char *What)
{
    VfbImage rendered{};
    ASSERT_TRUE(Dsm.LastImage(rendered)) << What;
    ASSERT_EQ(Image.size(), QSize(rendered.Width, rendered.Height)) << What;
    for (int y = 0; y < rendered.Height; ++y)
        for (int x = 0; x < rendered.Width; ++x)
            ASSERT_EQ(Image.pixel(x, y), RenderedPixel(rendered, x, y)) << What << " at " << x << "," << y;
}

// Runs one acquisition up to the rebuilt connection; the poll stands for the timer.
void acquire(TTwainManager &Manager, TTwainSource &Source)
{
    ASSERT_TRUE(Source.EnableSource(false, true));
    Manager.Poll();
}

} // namespace

TEST(TwainLayer, LoadsTheFirstFolderHoldingTheManager)
{
    TTestEnvironment env;
    const QString real = TDsmFixture::LibraryDir() + QLatin1Char('/') + QLatin1String(DsmFileName);
    const QString a = env.Path(QStringLiteral("a/")), b = env.Path(QStringLiteral("b/"));
    QDir().mkpath(a);
    QDir().mkpath(b + QLatin1String(DsmFileName));          // a folder of that name
    ASSERT_TRUE(QFile::copy(real, a + QLatin1String(DsmFileName)));
    const QString noEntry = env.WriteFile(QStringLiteral("c/") + QLatin1String(DsmFileName), {});
    ASSERT_TRUE(QFile::remove(noEntry));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/lib/x86_64-linux-gnu/libm.so.6"), noEntry));
    const QString junk = env.WriteFile(QStringLiteral("d/") + QLatin1String(DsmFileName), "not a library");

    const struct { QStringList Folders; bool Loads; QString From; } cases[] = {
        {{b, a, TDsmFixture::LibraryDir()}, true, a + QLatin1String(DsmFileName)},
        {{env.Path(QStringLiteral("missing")), b}, false, {}},
        {{env.Path(QStringLiteral("c"))}, false, {}},
        {{env.Path(QStringLiteral("d"))}, false, {}},
    };
    for (const auto &c : cases) {
        QObject window;
        TTwainManager manager(&window);
        manager.DsmSearchFolders = c.Folders;
        EXPECT_EQ(manager.LoadDsm(), c.Loads) << c.Folders.join(u',').toStdString();
        EXPECT_EQ(manager.DsmLoaded(), c.Loads);
        EXPECT_EQ(manager.DsmModule().FileName(), c.From);
    }
    SetExeDirOverride(b);
    EXPECT_EQ(DefaultDsmSearchFolders(),
              (QStringList{QStringLiteral("/usr/local/lib/"), QStringLiteral("/usr/lib/"),
                           QDir::currentPath() + u'/', b, QDir::tempPath() + u'/'}));
    SetExeDirOverride({});
}

TEST(TwainLayer, ListsSourcesAndFindsTheDefault)
{
    TDsmFixture dsm;
    QObject window;
    dsm.Set("sources", "3");
    auto manager = dsm.MakeManager(&window);
    EXPECT_EQ(manager->NumSources(), 0);
    EXPECT_EQ(manager->SourceAt(0), nullptr);
    EXPECT_EQ(manager->ChooseSource(), -1);
    ASSERT_TRUE(manager->LoadDsm());
    EXPECT_EQ(manager->FindDefaultSource(), 0) << "manager not open";
    ASSERT_TRUE(manager->OpenManager());
    ASSERT_EQ(manager->NumSources(), 3);
    EXPECT_EQ(manager->SourceAt(1)->ProductName(), "Virtual Flatbed 2");
    EXPECT_EQ(manager->SourceAt(2)->Index, 2);
    EXPECT_EQ(manager->SourceAt(2)->TransferMode, TransferNative);
    EXPECT_EQ(manager->SourceAt(3), nullptr);

    const struct { const char *Default; int Found; int AtMinusOne; } cases[] = {
        {"2", 2, 2}, {"-1", 0, 0},
    };
    for (const auto &c : cases) {
        dsm.Set("default_source", c.Default);
        EXPECT_EQ(manager->FindDefaultSource(), c.Found) << c.Default;
        EXPECT_EQ(manager->SourceAt(-1), manager->SourceAt(c.AtMinusOne)) << c.Default;
    }

    // No source installed: nothing listed, nothing shown.
    TDialogRecorder dialogs;
    BindTwainUi(*manager);
    dsm.Set("fail 1 3 4", "7 0");
    manager->ResetConnection();
    EXPECT_EQ(manager->NumSources(), 0);
    EXPECT_EQ(manager->ChooseSource(), -1);
    EXPECT_TRUE(dialogs.ModalForms.isEmpty());
}

TEST(TwainLayer, ChoosingThroughTheDialog)
{
    TDsmFixture dsm;
    TDialogRecorder dialogs;
    QObject window;
    dsm.Set("sources", "3");
    auto manager = dsm.MakeManager(&window);
    BindTwainUi(*manager);
    ASSERT_TRUE(openSource(*manager, 0));

    QStringList shown;
    int preselected = -2;
    auto pick = [&](int Row, int Result) {
        return [&, Row, Result](QDialog &d) {
            auto &form = static_cast<TFormSelectSource &>(d);
            shown.clear();
            for (int i = 0; i < form.lbSources->count(); ++i)
                shown << form.lbSources->item(i)->text();
            preselected = form.SelectedIndex();
            EXPECT_EQ(form.windowTitle(), QStringLiteral("Select source"));
            EXPECT_EQ(form.size(), QSize(300, 200));
            EXPECT_EQ(form.btCancel->geometry().right() + 1, 300 - 6);
            EXPECT_EQ(form.btOk->geometry().right() + 1, form.btCancel->x() - 6);
            EXPECT_EQ(form.btOk->y(), (41 - 25) / 2);
            EXPECT_TRUE(form.btOk->isDefault());
            form.lbSources->setCurrentRow(Row);
            return Result;
        };
    };
    dialogs.QueueModal(pick(2, QDialog::Accepted));
    EXPECT_EQ(manager->ChooseSource(), 2);
    EXPECT_EQ(shown, (QStringList{"Virtual Flatbed", "Virtual Flatbed 2", "Virtual Flatbed 3"}));
    EXPECT_EQ(preselected, 0);
    dialogs.QueueModal(pick(1, QDialog::Accepted));
    EXPECT_EQ(manager->ChooseSource(), 1);
    EXPECT_EQ(preselected, 2) << "the last choice is preselected";
    dialogs.QueueModal(pick(0, QDialog::Rejected));
    EXPECT_EQ(manager->ChooseSource(), -1);
    EXPECT_EQ(manager->ChosenIndex, -1);

    // A choice beyond a shorter list preselects the first entry.
    manager->ChosenIndex = 7;
    dialogs.QueueModal(pick(0, QDialog::Accepted));
    EXPECT_EQ(manager->ChooseSource(), 0);
    EXPECT_EQ(preselected, 0);
    EXPECT_EQ(dialogs.ModalForms.size(), 4);
}

TEST(TwainLayer, OpenEnableDisableCloseKeepTheFlags)
{
    TDsmFixture dsm;
    QObject window;
    dsm.Set("sources", "2");
    dsm.Set("scan_ms", "100000");
    auto manager = dsm.MakeManager(&window);
    TEventLog log;
    log.Bind(*manager);
    TTwainSource *first = openSource(*manager, 0);
    TTwainSource *second = openSource(*manager, 1);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->Loaded() && second->Loaded());
    EXPECT_EQ(manager->OpenSourceCount(), 2);
    EXPECT_TRUE(first->Open()) << "already open";
    EXPECT_EQ(manager->OpenSourceCount(), 2);
    first->SetEnabled(true);
    EXPECT_TRUE(first->Enabled());
    EXPECT_TRUE(manager->PollTimer().isActive());
    EXPECT_TRUE(first->DisableSource());
    EXPECT_FALSE(first->Enabled());
    EXPECT_FALSE(manager->PollTimer().isActive());
    EXPECT_EQ(log.Lines, Lines{"disabled 0"});
    second->SetLoaded(false);
    EXPECT_FALSE(second->Loaded());
    EXPECT_EQ(manager->OpenSourceCount(), 1);
    manager->CloseManager();
    EXPECT_FALSE(manager->ManagerOpen());
    EXPECT_EQ(manager->OpenSourceCount(), 0);
    EXPECT_TRUE(manager->UnloadDsm());
    EXPECT_FALSE(manager->DsmLoaded());
}

TEST(TwainLayer, EveryRefusalLeavesTheStateTheRulesGive)
{
    TDsmFixture dsm;
    dsm.Set("scan_ms", "100000");
    const struct { const char *Fail; const char *Name; } cases[] = {
        {"fail 1 4 0x301", "open manager"}, {"fail 1 3 0x401", "open source"},
        {"fail 1 9 0x502", "enable"}, {"fail 1 9 0x501", "disable"},
        {"fail 1 3 0x402", "close"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        dsm.Set(c.Fail, "1 4");
        QObject window;
        auto manager = dsm.MakeManager(&window);
        TEventLog log;
        log.Bind(*manager);
        ASSERT_TRUE(manager->LoadDsm());
        const bool managerOpen = manager->OpenManager();
        EXPECT_EQ(managerOpen, std::string(c.Name) != "open manager");
        if (!managerOpen) {
            EXPECT_EQ(manager->NumSources(), 0);
            EXPECT_EQ(manager->SourceAt(0), nullptr);
            EXPECT_EQ(manager->ChooseSource(), -1);
            dsm.Set(c.Fail, "");
            continue;
        }
        TTwainSource *source = manager->SourceAt(0);
        source->SetLoaded(true);
        const bool opened = std::string(c.Name) != "open source";
        EXPECT_EQ(source->Loaded(), opened);
        const size_t before = dsm.Triplets().size();
        const bool enabled = source->EnableSource(false, true);
        EXPECT_EQ(enabled, opened && std::string(c.Name) != "enable");
        EXPECT_EQ(source->Enabled(), enabled);
        if (!opened) {
            EXPECT_EQ(source->SetUnits(TWUN_INCHES), CapResult::InvalidState);
            EXPECT_EQ(source->SetFrame(0, 0, 1, 1), CapResult::InvalidState);
            EXPECT_EQ(dsm.Triplets().size(), before) << "nothing sent for a closed source";
            dsm.Set(c.Fail, "");
            continue;
        }
        EXPECT_TRUE(manager->PollTimer().isActive()) << "started before the answer";
        const bool disabled = source->DisableSource();
        EXPECT_EQ(disabled, std::string(c.Name) != "disable");
        EXPECT_FALSE(source->Enabled());
        EXPECT_EQ(log.Lines.size(), size_t(enabled && disabled ? 1 : 0));
        source->SetLoaded(false);
        EXPECT_FALSE(source->Loaded());
        EXPECT_EQ(manager->OpenSourceCount(), std::string(c.Name) == "close" ? 1 : 0);
        dsm.Set(c.Fail, "");
    }
}

TEST(TwainLayer, PumpOffersMessagesOnlyToOpenSourcesFirstClaimWins)
{
    TDsmFixture dsm;
    QObject window;
    dsm.Set("sources", "2");
    dsm.Set("scan_ms", "100000");
    auto manager = dsm.MakeManager(&window);
    TEventLog log;
    log.Bind(*manager);
    ASSERT_TRUE(manager->LoadDsm() && manager->OpenManager());
    ASSERT_EQ(manager->NumSources(), 2);
    size_t before = dsm.Triplets().size();
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&window, &event);
    manager->Poll();
    EXPECT_EQ(dsm.Triplets().size(), before) << "no open source: nothing offered";

    TTwainSource *first = openSource(*manager, 0);
    TTwainSource *second = openSource(*manager, 1);
    const TW_UINT32 firstId = first->Record()->Id, secondId = second->Record()->Id;
    ASSERT_TRUE(first->EnableSource(false, true) && second->EnableSource(false, true));
    before = dsm.Triplets().size();
    manager->Poll();
    auto offeredTo = [&](size_t From) {
        std::vector<uint32_t> ids;
        const auto all = dsm.Triplets();
        for (size_t i = From; i < all.size(); ++i)
            if (all[i].Dat == DAT_EVENT)
                ids.push_back(all[i].DestId);
        return ids;
    };
    EXPECT_EQ(offeredTo(before), (std::vector<uint32_t>{firstId, secondId})) << "unclaimed: both see it";

    first->DisableSource();
    second->DisableSource();
    dsm.Set("scan_ms", "0");
    ASSERT_TRUE(first->EnableSource(false, true) && second->EnableSource(false, true));
    before = dsm.Triplets().size();
    manager->Poll();
    EXPECT_EQ(offeredTo(before), (std::vector<uint32_t>{firstId})) << "the first claims it";
    EXPECT_EQ(log.Lines, (Lines{"disabled 0", "disabled 1", "acquire 0", "disabled 0", "complete 0",
                                "disabled 1"}));
}

TEST(TwainLayer, CapabilityResults)
{
    TDsmFixture dsm;
    QObject window;
    auto manager = dsm.MakeManager(&window);
    TTwainSource *source = openSource(*manager);
    ASSERT_TRUE(source);
    const struct { const char *Answer; CapResult Result; } cases[] = {
        {"", CapResult::Success}, {"1 13", CapResult::Unsupported}, {"2 0", CapResult::BadOperation},
        {"1 14", CapResult::BadOperation}, {"1 15", CapResult::DependencyError},
        {"1 2", CapResult::LowMemory}, {"1 11", CapResult::InvalidState}, {"1 5", CapResult::BadOperation},
    };
    for (const auto &c : cases) {
        dsm.Set("capfail 0x102 6", c.Answer);
        EXPECT_EQ(source->SetUnits(TWUN_CENTIMETERS), c.Result) << c.Answer;
    }
    dsm.Set("capfail 0x102 6", "");

    TW_UINT16 unit = 99;
    EXPECT_EQ(source->SetUnits(TWUN_CENTIMETERS), CapResult::Success);
    EXPECT_EQ(source->ReadCurrentUInt16(ICAP_UNITS, 0, unit), CapResult::Success);
    EXPECT_EQ(unit, TWUN_CENTIMETERS);
    dsm.Set("units_container", "onevalue");
    TEnumCapability read;
    EXPECT_EQ(source->ReadEnumCapability(ICAP_UNITS, 0, read), CapResult::InvalidContainer);
    TTwainMemory container;
    EXPECT_EQ(source->GetCapability(ICAP_UNITS, 9, container, unit), CapResult::BadOperation);

    source->SetLoaded(false);
    const size_t before = dsm.Triplets().size();
    EXPECT_EQ(source->SetUnits(TWUN_INCHES), CapResult::InvalidState);
    EXPECT_EQ(source->ReadEnumCapability(ICAP_UNITS, 0, read), CapResult::InvalidState);
    EXPECT_EQ(source->ConditionCode(), 0);
    EXPECT_EQ(dsm.Triplets().size(), before);
}

TEST(TwainLayer, TransfersDeliverWhatTheSourceRendered)
{
    TDsmFixture dsm;
    dsm.Set("preferred", "1000"); // strips that split rows
    const struct { uint8_t Mode; TW_UINT16 PixelType; const char *Flavor; QImage::Format Memory; } cases[] = {
        {TransferNative, TWPT_RGB, "0", QImage::Format_RGB32},
        {TransferNative, TWPT_GRAY, "0", QImage::Format_RGB32},
        {TransferNative, TWPT_BW, "1", QImage::Format_RGB32},
        {TransferNative, TWPT_PALETTE, "0", QImage::Format_RGB32},
        {TransferMemory, TWPT_RGB, "0", QImage::Format_BGR888},
        {TransferMemory, TWPT_GRAY, "0", QImage::Format_Indexed8},
        {TransferMemory, TWPT_BW, "0", QImage::Format_Mono},
        {TransferMemory, TWPT_BW, "1", QImage::Format_Mono},
        {TransferMemory, TWPT_PALETTE, "0", QImage::Format_Indexed8},
        {TransferFile, TWPT_RGB, "0", QImage::Format_Invalid},
    };
    for (const auto &c : cases) {
        const std::string what = "mode " + std::to_string(c.Mode) + " type " + std::to_string(c.PixelType)
                                 + " flavour " + c.Flavor;
        SCOPED_TRACE(what);
        dsm.Set("pixel_flavor", c.Flavor);
        QObject window;
        auto manager = dsm.MakeManager(&window);
        TEventLog log;
        log.Bind(*manager);
        QString fileName;
        manager->OnAfterFileTransfer = [&](TTwainManager *, int, const QString &Name, int) { fileName = Name; };
        TTwainSource *source = openSource(*manager);
        ASSERT_TRUE(source);
        source->TransferMode = c.Mode;
        configure(*source, c.PixelType);
        acquire(*manager, *source);
        ASSERT_EQ(log.Images.size(), 1u);
        if (c.Memory != QImage::Format_Invalid)
            EXPECT_EQ(log.Images[0].format(), c.Memory);
        else
            EXPECT_FALSE(fileName.isEmpty());
        if (c.Mode == TransferMemory) {
            EXPECT_EQ(log.Images[0].dotsPerMeterX(), 1968); // 50 dpi
        }
        expectSameImage(dsm, log.Images[0], what.c_str());
    }
}

TEST(TwainLayer, PendingImagesCancelAndFailures)
{
    TDsmFixture dsm;
    const struct {
        const char *Name, *Pending, *Unknown, *Result1;
        bool Cancel, Close;
        Lines Expected;
        bool Reset;
    } cases[] = {
        {"one, cancel and close", "1", "0", "", true, true,
         {"acquire 0", "disabled 0", "complete 0 canceled"}, false},
        {"two, neither", "2", "0", "", false, false,
         {"acquire 0", "acquire 0", "disabled 0", "complete 0"}, false},
        {"two of an open number", "2", "1", "", false, false,
         {"acquire 0", "acquire 0", "disabled 0", "complete 0"}, false},
        {"two, cancel only", "2", "0", "", true, false,
         {"acquire 0", "disabled 0", "complete 0 canceled"}, true},
        {"source cancels", "2", "0", "3 0", false, false,
         {"cancel 0", "disabled 0", "complete 0 canceled"}, false},
        {"low memory", "1", "0", "1 2", false, false,
         {"error 0 1 2", "disabled 0", "complete 0"}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        dsm.Set("pending", c.Pending);
        dsm.Set("pending_unknown", c.Unknown);
        dsm.Set("xfer_result 1", c.Result1);
        QObject window;
        auto manager = dsm.MakeManager(&window);
        TEventLog log;
        log.Bind(*manager);
        log.CancelInAcquire = c.Cancel;
        log.CloseInAcquire = c.Close;
        TTwainSource *source = openSource(*manager);
        ASSERT_TRUE(source);
        const size_t from = dsm.Triplets().size();
        acquire(*manager, *source);
        EXPECT_EQ(log.Lines, c.Expected);
        const Lines sent = dsm.TripletTexts(from);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "1/5/7=0"), c.Reset ? 1 : 0) << "MSG_RESET";
        if (std::string(c.Result1) == "3 0") {
            EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string &s) {
                          return s.rfind("1/5/701", 0) == 0; }), 0) << "no MSG_ENDXFER after a cancel";
        }
    }
}

TEST(TwainLayer, CloseRequestEndsTheSequence)
{
    TDsmFixture dsm;
    dsm.Set("event", "closereq");
    QObject window;
    auto manager = dsm.MakeManager(&window);
    TEventLog log;
    log.Bind(*manager);
    TTwainSource *source = openSource(*manager);
    ASSERT_TRUE(source);
    acquire(*manager, *source);
    EXPECT_EQ(log.Lines, (Lines{"cancel 0", "complete 0 canceled", "disabled 0"}));
    EXPECT_TRUE(manager->ManagerOpen());
    EXPECT_FALSE(manager->SourcesListed());
    EXPECT_EQ(manager->OpenSourceCount(), 0);
}

TEST(TwainLayer, OneWholeAcquisitionFromLoadToRebuiltConnection)
{
    TDsmFixture dsm;
    dsm.Set("preferred", "4000"); // three strips
    QObject window;
    auto manager = dsm.MakeManager(&window);
    TEventLog log;
    log.Bind(*manager);
    log.CancelInAcquire = log.CloseInAcquire = true;
    manager->ChosenIndex = 0;
    TTwainSource *source = openSource(*manager);
    ASSERT_TRUE(source);
    source->TransferMode = TransferMemory;
    configure(*source, TWPT_RGB);
    acquire(*manager, *source);

    EXPECT_EQ(log.Lines, (Lines{"acquire 0", "disabled 0", "complete 0 canceled"}));
    ASSERT_EQ(log.Images.size(), 1u);
    expectSameImage(dsm, log.Images[0], "memory RGB");
    EXPECT_EQ(dsm.TripletTexts(), (Lines{
        "1/4/301=0",                                   // open the manager
        "1/3/4=0", "1/3/5=7",                          // list the one source
        "1/3/401=0",                                   // open it
        "1/1/6=0", "1/1/6=0", "1/1/6=0", "1/1/6=0",    // pixel type, unit, resolutions
        "2/102/6=0",                                   // frame
        "1/9/502=0",                                   // enable
        "1/2/601=4",                                   // the poll: transfer ready
        "2/101/1=0", "1/6/1=0", "1/1/1=0", "1/6/1=0",  // image info, buffer, unit, buffer
        "2/103/1=0", "2/103/1=0", "2/103/1=6",         // strips
        "1/9/501=0", "1/3/402=0",                      // the handler closes the source
        "1/5/701=1",                                   // end of transfer refused: closed
        "1/4/302=0",                                   // the connection rebuilt
        "1/4/301=0",
    }));
    EXPECT_TRUE(manager->DsmLoaded());
    EXPECT_TRUE(manager->ManagerOpen());
    EXPECT_FALSE(manager->SourcesListed());
    EXPECT_EQ(manager->OpenSourceCount(), 0);
    EXPECT_EQ(manager->ChosenIndex, 0);
    ASSERT_NE(manager->SourceAt(0), nullptr);
    EXPECT_EQ(manager->SourceAt(0)->ProductName(), "Virtual Flatbed");
}

TEST(TwainLayer, BrokenSourcesCostTheImageNotTheProgram)
{
    TDsmFixture dsm;
    const struct { const char *Bad; uint8_t Mode; } cases[] = {
        {"native_bisize", TransferNative}, {"native_clrused", TransferNative},
        {"native_bitcount", TransferNative}, {"native_width0", TransferNative},
        {"mem_byteswritten", TransferMemory}, {"mem_extra", TransferMemory},
        {"info_zero", TransferMemory}, {"info_negative", TransferMemory},
        {"info_huge", TransferMemory},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Bad);
        dsm.Set("bad", c.Bad);
        QObject window;
        auto manager = dsm.MakeManager(&window);
        TEventLog log;
        log.Bind(*manager);
        TTwainSource *source = openSource(*manager);
        ASSERT_TRUE(source);
        source->TransferMode = c.Mode;
        configure(*source, TWPT_RGB);
        acquire(*manager, *source);
        EXPECT_TRUE(log.Images.empty());
        ASSERT_FALSE(log.Lines.empty());
        EXPECT_EQ(log.Lines[0].rfind("error 0 1 ", 0), 0u) << log.Lines[0];
        EXPECT_EQ(log.Lines.back(), "complete 0");
        EXPECT_TRUE(manager->ManagerOpen());
    }

    // A negative height is a top-down DIB, which the format allows: one row is read.
    dsm.Set("bad", "native_height_neg");
    QObject window;
    auto manager = dsm.MakeManager(&window);
    TEventLog log;
    log.Bind(*manager);
    TTwainSource *source = openSource(*manager);
    ASSERT_TRUE(source);
    configure(*source, TWPT_RGB);
    acquire(*manager, *source);
    ASSERT_EQ(log.Images.size(), 1u);
    EXPECT_EQ(log.Images[0].height(), 1);
}

TEST(TwainLayer, HandlersThatThrowOrPollDoNotDisturbTheSequence)
{
    TDsmFixture dsm;
    dsm.Set("pending", "2");
    const struct { bool Throw, Poll; Lines Expected; } cases[] = {
        {true, false, {"acquire 0", "reported handler failed", "acquire 0", "reported handler failed",
                       "disabled 0", "complete 0"}},
        {false, true, {"acquire 0", "acquire 0", "disabled 0", "complete 0"}},
    };
    for (const auto &c : cases) {
        QObject window;
        auto manager = dsm.MakeManager(&window);
        TEventLog log;
        log.Bind(*manager);
        log.ThrowInAcquire = c.Throw;
        log.PollInAcquire = c.Poll;
        TTwainSource *source = openSource(*manager);
        ASSERT_TRUE(source);
        const size_t from = dsm.Triplets().size();
        acquire(*manager, *source);
        EXPECT_EQ(log.Lines, c.Expected);
        const Lines sent = dsm.TripletTexts(from);
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string &t) {
                      return t.rfind("1/2/601", 0) == 0; }), 1) << "one message offered";
        EXPECT_FALSE(manager->SourcesListed());
    }
}

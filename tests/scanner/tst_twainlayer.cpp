// The TWAIN layer against the real data source manager library.

#include "DsmFixture.h"

#include "platform/AppPaths.h"
#include "scanner/FormSelectSource.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using Lines = std::vector<std::string>;

class TwainLayer : public ::testing::Test
{
protected:
    TwainLayer() { Fresh(); }
    ~TwainLayer() override { Manager.reset(); }

    static QString dir() { return TDsmFixture::LibraryDir(); }
    void Set(const char *Key, const char *Value) { Dsm.Set(Key, Value); }
    size_t SentCount() const { return Dsm.Triplets().size(); }
    Lines Sent(size_t From = 0) const { return Dsm.TripletTexts(From); }
    // Destinations of the DAT_EVENT calls from From on.
    std::vector<uint32_t> Offered(size_t From) const
    {
        std::vector<uint32_t> ids;
        const std::vector<VfbTriplet> all = Dsm.Triplets();
        for (size_t i = From; i < all.size(); ++i)
            if (all[i].Dat == DAT_EVENT)
                ids.push_back(all[i].DestId);
        return ids;
    }

    // A new manager on Window with every event written to Log.
    void Fresh()
    {
        Manager.reset();
        Log.clear();
        Images.clear();
        Manager = std::make_unique<TTwainManager>(&Window);
        Manager->DsmSearchFolders = {dir()};
        Manager->OnTwainAcquire = [this](TTwainManager *Sender, int Index, const QImage &Image,
                                         bool &Cancel) {
            Log.push_back("acquire " + std::to_string(Index));
            Images.push_back(Image.copy());
            Cancel = Cancel || CancelInAcquire;
            if (CloseInAcquire)
                Sender->SourceAt(Index)->SetLoaded(false);
            if (PollInAcquire) // as the timer does under a handler's modal loop
                Sender->Poll();
            if (ThrowInAcquire)
                throw std::runtime_error("handler failed");
        };
        auto line = [this](const char *What) {
            return [this, What](TTwainManager *, int Index) {
                Log.push_back(What + std::to_string(Index));
            };
        };
        Manager->OnAcquireCancel = line("cancel ");
        Manager->OnSourceDisable = line("disabled ");
        Manager->OnAcquireError = [this](TTwainManager *, int Index, int Code, int Additional) {
            Log.push_back("error " + std::to_string(Index) + " " + std::to_string(Code) + " "
                          + std::to_string(Additional));
        };
        Manager->OnTransferComplete = [this](TTwainManager *, int Index, bool Canceled) {
            Log.push_back("complete " + std::to_string(Index) + (Canceled ? " canceled" : ""));
        };
        Manager->ErrorReporter = [this](const std::exception &e) {
            Log.push_back(std::string("reported ") + e.what());
        };
    }

    TTwainSource *Open(int Index = 0)
    {
        if (!Manager->LoadDsm() || !Manager->OpenManager())
            return nullptr;
        TTwainSource *source = Manager->SourceAt(Index);
        if (source)
            source->SetLoaded(true);
        return source;
    }

    // A small page: 50 dpi over 1 x 1.2 inches, 50 x 60 pixels (RGB rows padded).
    static void Configure(TTwainSource &Source, TW_UINT16 PixelType)
    {
        EXPECT_EQ(Source.SetPixelType(PixelType), CapResult::Success);
        EXPECT_EQ(Source.SetUnits(TWUN_INCHES), CapResult::Success);
        EXPECT_EQ(Source.SetXResolution(50), CapResult::Success);
        EXPECT_EQ(Source.SetYResolution(50), CapResult::Success);
        EXPECT_EQ(Source.SetFrame(0, 0, 1, 1.2), CapResult::Success);
    }

    // Enables the source and polls once, as the timer would: the whole sequence runs.
    void Acquire(TTwainSource &Source)
    {
        ASSERT_TRUE(Source.EnableSource(false, true));
        Manager->Poll();
    }

    // The manager answers every call out of the standard's order with TWCC_SEQERROR:
    // the layer's own order must never meet one.
    void ExpectNoSequenceErrors(size_t From = 0) const
    {
        const std::vector<VfbTriplet> all = Dsm.Triplets();
        for (size_t i = From; i < all.size(); ++i)
            EXPECT_NE(all[i].Cc, TWCC_SEQERROR) << "triplet " << Dsm.TripletTexts(i)[0];
    }

    // Compares pixel by pixel with the image exactly as the source handed it out.
    void ExpectRendered(const QImage &Image) const
    {
        VfbImage rendered{};
        ASSERT_TRUE(Dsm.LastImage(rendered));
        ASSERT_EQ(Image.size(), QSize(rendered.Width, rendered.Height));
        for (int y = 0; y < rendered.Height; ++y)
            for (int x = 0; x < rendered.Width; ++x)
                ASSERT_EQ(Image.pixel(x, y), RenderedPixel(rendered, x, y)) << x << "," << y;
    }

    TDsmFixture Dsm;
    QObject Window;
    std::unique_ptr<TTwainManager> Manager;
    Lines Log;
    std::vector<QImage> Images;
    bool CancelInAcquire = false, CloseInAcquire = false, ThrowInAcquire = false,
         PollInAcquire = false;
};

} // namespace

TEST_F(TwainLayer, LoadsTheFirstFolderHoldingTheManager)
{
    TTestEnvironment env;
    const QString name = QLatin1String(DsmFileName);
    const QString a = env.Path(QStringLiteral("a/")), b = env.Path(QStringLiteral("b/"));
    QDir().mkpath(b + name); // a folder of that name
    QDir().mkpath(a);
    ASSERT_TRUE(QFile::copy(dir() + u'/' + name, a + name));
    const QString noEntry = env.Path(QStringLiteral("c/")) + name;
    QDir().mkpath(env.Path(QStringLiteral("c")));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/lib/x86_64-linux-gnu/libm.so.6"), noEntry));
    env.WriteFile(QStringLiteral("d/") + name, "not a library");

    const struct { QStringList Folders; QString From; } cases[] = {
        {{b, a, dir()}, a + name},
        {{env.Path(QStringLiteral("missing")), b}, {}},
        {{env.Path(QStringLiteral("c"))}, {}},
        {{env.Path(QStringLiteral("d"))}, {}},
    };
    for (const auto &c : cases) {
        Fresh();
        Manager->DsmSearchFolders = c.Folders;
        EXPECT_EQ(Manager->LoadDsm(), !c.From.isEmpty()) << c.Folders.join(u',').toStdString();
        EXPECT_EQ(Manager->DsmLoaded(), !c.From.isEmpty());
        EXPECT_EQ(Manager->DsmModule().FileName(), c.From);
    }
    SetExeDirOverride(b);
    EXPECT_EQ(DefaultDsmSearchFolders(),
              (QStringList{QStringLiteral("/usr/local/lib/"), QStringLiteral("/usr/lib/"),
                           QDir::currentPath() + u'/', b, env.Path(QStringLiteral("lib/vellumora/")),
                           QDir::tempPath() + u'/'}));
    SetExeDirOverride({});
}

TEST_F(TwainLayer, ListsSourcesAndFindsTheDefault)
{
    Set("sources", "3");
    EXPECT_EQ(Manager->NumSources(), 0);
    EXPECT_EQ(Manager->SourceAt(0), nullptr);
    EXPECT_EQ(Manager->ChooseSource(), -1);
    ASSERT_TRUE(Manager->LoadDsm());
    EXPECT_EQ(Manager->FindDefaultSource(), 0) << "manager not open";
    ASSERT_TRUE(Manager->OpenManager());
    ASSERT_EQ(Manager->NumSources(), 3);
    EXPECT_EQ(Manager->SourceAt(1)->ProductName(), "Virtual Flatbed 2");
    EXPECT_EQ(Manager->SourceAt(2)->Index, 2);
    EXPECT_EQ(Manager->SourceAt(2)->TransferMode, TransferNative);
    EXPECT_EQ(Manager->SourceAt(3), nullptr);
    for (const auto &[reported, found] : {std::pair{"2", 2}, {"-1", 0}}) {
        Set("default_source", reported);
        EXPECT_EQ(Manager->FindDefaultSource(), found) << reported;
        EXPECT_EQ(Manager->SourceAt(-1), Manager->SourceAt(found)) << reported;
    }

    // No source installed: nothing listed, nothing shown.
    TDialogRecorder dialogs;
    BindTwainUi(*Manager);
    Set("sources", "0");
    Manager->ResetConnection();
    EXPECT_EQ(Manager->NumSources(), 0);
    EXPECT_EQ(Manager->ChooseSource(), -1);
    EXPECT_TRUE(dialogs.ModalForms.isEmpty());
}

TEST_F(TwainLayer, ChoosingThroughTheDialog)
{
    TDialogRecorder dialogs;
    Set("sources", "3");
    BindTwainUi(*Manager);
    ASSERT_TRUE(Open());
    QStringList shown;
    int preselected = -2;
    auto pick = [&](int Row, int Result) {
        dialogs.QueueModal([&, Row, Result](QDialog &d) {
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
        });
    };
    const struct { int Before, Row, Result, Preselected, Chosen; } cases[] = {
        {-1, 2, QDialog::Accepted, 0, 2},
        {2, 1, QDialog::Accepted, 2, 1},   // the last choice is preselected
        {1, 0, QDialog::Rejected, 1, -1},  // cancelling forgets the choice
        {7, 0, QDialog::Accepted, 0, 0},   // beyond the list: the first entry
    };
    for (const auto &c : cases) {
        Manager->ChosenIndex = c.Before;
        pick(c.Row, c.Result);
        EXPECT_EQ(Manager->ChooseSource(), c.Chosen);
        EXPECT_EQ(Manager->ChosenIndex, c.Chosen);
        EXPECT_EQ(preselected, c.Preselected);
    }
    EXPECT_EQ(shown, (QStringList{"Virtual Flatbed", "Virtual Flatbed 2", "Virtual Flatbed 3"}));
}

TEST_F(TwainLayer, EveryRefusalLeavesTheStateTheRulesGive)
{
    const struct { const char *Fail; bool Opens, Enables, Disables; int OpenAfterClose; } cases[] = {
        {nullptr, true, true, true, 0},
        {"fail 1 3 0x401", false, false, true, 0}, // open the source
        {"fail 1 9 0x502", true, false, true, 0},  // enable
        {"fail 1 9 0x501", true, true, false, 1},  // disable: still enabled, so it cannot close
        {"fail 1 3 0x402", true, true, true, 1},   // close
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Fail ? c.Fail : "none");
        // A source that refused to go leaves its session behind in the manager.
        Manager.reset();
        Dsm.ResetManager();
        Set("scan_ms", "100000");
        if (c.Fail)
            Set(c.Fail, "1 4");
        Fresh();
        TTwainSource *source = Open();
        ASSERT_TRUE(source);
        EXPECT_EQ(source->Loaded(), c.Opens);
        EXPECT_EQ(Manager->OpenSourceCount(), c.Opens ? 1 : 0);
        const size_t before = SentCount();
        EXPECT_EQ(source->EnableSource(false, true), c.Enables);
        EXPECT_EQ(source->Enabled(), c.Enables);
        if (!c.Opens) {
            EXPECT_EQ(source->SetUnits(TWUN_INCHES), CapResult::InvalidState);
            EXPECT_EQ(source->SetFrame(0, 0, 1, 1), CapResult::InvalidState);
            EXPECT_EQ(source->ConditionCode(), 0);
            EXPECT_EQ(SentCount(), before) << "nothing sent for a closed source";
        } else {
            EXPECT_TRUE(Manager->PollTimer().isActive()) << "started before the answer";
            EXPECT_EQ(source->DisableSource(), c.Disables);
            EXPECT_FALSE(source->Enabled());
            EXPECT_FALSE(Manager->PollTimer().isActive());
            EXPECT_EQ(Log, c.Enables && c.Disables ? Lines{"disabled 0"} : Lines{});
            source->SetLoaded(false);
            EXPECT_FALSE(source->Loaded());
            EXPECT_EQ(Manager->OpenSourceCount(), c.OpenAfterClose);
        }
    }
    Manager.reset();
    Dsm.ResetManager();
    Set("fail 1 4 0x301", "1 4");
    Fresh();
    ASSERT_TRUE(Manager->LoadDsm());
    EXPECT_FALSE(Manager->OpenManager());
    EXPECT_EQ(Manager->NumSources(), 0);
    EXPECT_EQ(Manager->SourceAt(0), nullptr);
    EXPECT_EQ(Manager->ChooseSource(), -1);
    EXPECT_TRUE(Manager->UnloadDsm());
    EXPECT_FALSE(Manager->DsmLoaded());
}

TEST_F(TwainLayer, PumpOffersMessagesOnlyToOpenSourcesFirstClaimWins)
{
    Set("sources", "2");
    Set("scan_ms", "100000");
    ASSERT_TRUE(Manager->LoadDsm() && Manager->OpenManager());
    ASSERT_EQ(Manager->NumSources(), 2);
    size_t before = SentCount();
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&Window, &event);
    Manager->Poll();
    EXPECT_EQ(SentCount(), before) << "no open source: nothing offered";

    TTwainSource *first = Open(0), *second = Open(1);
    const uint32_t firstId = first->Record()->Id, secondId = second->Record()->Id;
    EXPECT_EQ(Manager->OpenSourceCount(), 2);
    ASSERT_TRUE(first->EnableSource(false, true) && second->EnableSource(false, true));
    before = SentCount();
    Manager->Poll();
    EXPECT_EQ(Offered(before), (std::vector<uint32_t>{firstId, secondId})) << "unclaimed: both see it";

    first->DisableSource();
    second->DisableSource();
    Set("scan_ms", "0");
    ASSERT_TRUE(first->EnableSource(false, true) && second->EnableSource(false, true));
    before = SentCount();
    Manager->Poll();
    EXPECT_EQ(Offered(before), (std::vector<uint32_t>{firstId})) << "the first claims it";
    EXPECT_EQ(Log, (Lines{"disabled 0", "disabled 1", "acquire 0", "disabled 0", "complete 0",
                          "disabled 1"}));
}

TEST_F(TwainLayer, CapabilityResults)
{
    TTwainSource *source = Open();
    ASSERT_TRUE(source);
    const struct { const char *Answer; CapResult Result; } cases[] = {
        {"", CapResult::Success}, {"1 13", CapResult::Unsupported}, {"2 0", CapResult::BadOperation},
        {"1 14", CapResult::BadOperation}, {"1 15", CapResult::DependencyError},
        {"1 2", CapResult::LowMemory}, {"1 11", CapResult::InvalidState}, {"1 5", CapResult::BadOperation},
    };
    for (const auto &c : cases) {
        Set("capfail 0x102 6", c.Answer);
        EXPECT_EQ(source->SetUnits(TWUN_CENTIMETERS), c.Result) << c.Answer;
    }
    Set("capfail 0x102 6", "");
    TW_UINT16 unit = 99;
    EXPECT_EQ(source->SetUnits(TWUN_CENTIMETERS), CapResult::Success);
    EXPECT_EQ(source->ReadCurrentUInt16(ICAP_UNITS, 0, unit), CapResult::Success);
    EXPECT_EQ(unit, TWUN_CENTIMETERS);
    Set("units_container", "onevalue");
    TEnumCapability read;
    EXPECT_EQ(source->ReadEnumCapability(ICAP_UNITS, 0, read), CapResult::InvalidContainer);
    TTwainMemory container;
    EXPECT_EQ(source->GetCapability(ICAP_UNITS, 9, container, unit), CapResult::BadOperation);
}

TEST_F(TwainLayer, TransfersDeliverWhatTheSourceRendered)
{
    Set("preferred", "1000"); // strips of a few whole rows
    const struct {
        uint8_t Mode;
        TW_UINT16 PixelType;
        const char *Flavor;
        QImage::Format Format;
        const char *RowBytes = "dib";
    } cases[] = {
        {TransferNative, TWPT_RGB, "0", QImage::Format_RGB32},
        {TransferNative, TWPT_GRAY, "0", QImage::Format_RGB32},
        {TransferNative, TWPT_BW, "1", QImage::Format_RGB32},
        {TransferNative, TWPT_PALETTE, "0", QImage::Format_RGB32},
        {TransferMemory, TWPT_RGB, "0", QImage::Format_BGR888},
        {TransferMemory, TWPT_GRAY, "0", QImage::Format_Indexed8},
        {TransferMemory, TWPT_BW, "0", QImage::Format_Mono},
        {TransferMemory, TWPT_BW, "1", QImage::Format_Mono},
        {TransferMemory, TWPT_PALETTE, "0", QImage::Format_Indexed8},
        // Rows of 150 bytes for 50 pixels, not the DIB's 152: placed by BytesPerRow.
        {TransferMemory, TWPT_RGB, "0", QImage::Format_BGR888, "tight"},
        {TransferFile, TWPT_RGB, "0", QImage::Format_Invalid},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.Mode) + " type " + std::to_string(c.PixelType)
                     + " flavour " + c.Flavor + " rows " + c.RowBytes);
        Set("pixel_flavor", c.Flavor);
        Set("row_bytes", c.RowBytes);
        Fresh();
        QString fileName;
        Manager->OnAfterFileTransfer = [&](TTwainManager *, int, const QString &Name, int) { fileName = Name; };
        TTwainSource *source = Open();
        ASSERT_TRUE(source);
        source->TransferMode = c.Mode;
        Configure(*source, c.PixelType);
        Acquire(*source);
        ASSERT_EQ(Images.size(), 1u);
        if (c.Format != QImage::Format_Invalid)
            EXPECT_EQ(Images[0].format(), c.Format);
        else
            EXPECT_FALSE(fileName.isEmpty());
        EXPECT_EQ(Images[0].dotsPerMeterX(), c.Mode == TransferMemory ? 1968 : Images[0].dotsPerMeterX());
        ExpectRendered(Images[0]);
        ExpectNoSequenceErrors();
    }
}

TEST_F(TwainLayer, PendingImagesCancelAndFailures)
{
    const struct {
        const char *Pending, *Unknown, *Result1, *Event;
        bool Cancel, Close;
        Lines Expected;
        int Resets, EndXfers;
    } cases[] = {
        {"1", "0", "", "xferready", true, true, {"acquire 0", "disabled 0", "complete 0 canceled"}, 0, 1},
        {"2", "0", "", "xferready", false, false, {"acquire 0", "acquire 0", "disabled 0", "complete 0"}, 0, 2},
        {"2", "1", "", "xferready", false, false, {"acquire 0", "acquire 0", "disabled 0", "complete 0"}, 0, 2},
        {"2", "0", "", "xferready", true, false, {"acquire 0", "disabled 0", "complete 0 canceled"}, 1, 1},
        // Closed from the handler with an image left: ended and reset before disabling.
        {"2", "0", "", "xferready", true, true, {"acquire 0", "disabled 0", "complete 0 canceled"}, 1, 1},
        // A cancelled transfer still ends with MSG_ENDXFER; the image left is dropped.
        {"2", "0", "3 0", "xferready", false, false, {"cancel 0", "disabled 0", "complete 0 canceled"}, 1, 1},
        {"1", "0", "1 2", "xferready", false, false, {"error 0 1 2", "disabled 0", "complete 0"}, 0, 1},
        {"1", "0", "", "closereq", false, false, {"cancel 0", "complete 0 canceled", "disabled 0"}, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.Expected));
        Set("pending", c.Pending);
        Set("pending_unknown", c.Unknown);
        Set("xfer_result 1", c.Result1);
        Set("event", c.Event);
        Fresh();
        CancelInAcquire = c.Cancel;
        CloseInAcquire = c.Close;
        TTwainSource *source = Open();
        ASSERT_TRUE(source);
        const size_t from = SentCount();
        Acquire(*source);
        EXPECT_EQ(Log, c.Expected);
        const Lines sent = Sent(from);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "1/5/7=0"), c.Resets) << "MSG_RESET";
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string &s) {
                      return s.rfind("1/5/701=", 0) == 0; }), c.EndXfers) << "MSG_ENDXFER";
        EXPECT_TRUE(Manager->ManagerOpen());
        EXPECT_FALSE(Manager->SourcesListed());
        EXPECT_EQ(Manager->OpenSourceCount(), 0);
        ExpectNoSequenceErrors(from);
    }
}

TEST_F(TwainLayer, OneWholeAcquisitionFromLoadToRebuiltConnection)
{
    Set("preferred", "4000"); // three strips
    CancelInAcquire = CloseInAcquire = true;
    Manager->ChosenIndex = 0;
    TTwainSource *source = Open();
    ASSERT_TRUE(source);
    source->TransferMode = TransferMemory;
    Configure(*source, TWPT_RGB);
    Acquire(*source);

    EXPECT_EQ(Log, (Lines{"acquire 0", "disabled 0", "complete 0 canceled"}));
    ASSERT_EQ(Images.size(), 1u);
    ExpectRendered(Images[0]);
    EXPECT_EQ(Sent(), (Lines{
        "1/4/301=0",                                   // open the manager
        "1/3/4=0", "1/3/5=7",                          // list the one source
        "1/3/401=0",                                   // open it
        "1/1/6=0", "1/1/6=0", "1/1/6=0", "1/1/6=0",    // pixel type, unit, resolutions
        "2/102/6=0",                                   // frame
        "1/9/502=0",                                   // enable
        "1/2/601=4",                                   // the poll: transfer ready
        "2/101/1=0", "1/6/1=0", "1/1/1=0", "1/6/1=0",  // image info, buffer, unit, buffer
        "2/103/1=0", "2/103/1=0", "2/103/1=6",         // strips
        "1/5/701=0", "1/9/501=0", "1/3/402=0",         // the handler closes the source
        "1/4/302=0",                                   // the connection rebuilt
        "1/4/301=0",
    }));
    EXPECT_TRUE(Manager->DsmLoaded() && Manager->ManagerOpen());
    EXPECT_FALSE(Manager->SourcesListed());
    EXPECT_EQ(Manager->OpenSourceCount(), 0);
    EXPECT_EQ(Manager->ChosenIndex, 0);
    ASSERT_NE(Manager->SourceAt(0), nullptr);
    EXPECT_EQ(Manager->SourceAt(0)->ProductName(), "Virtual Flatbed");
}

TEST_F(TwainLayer, BrokenSourcesCostTheImageNotTheProgram)
{
    const struct { const char *Bad; uint8_t Mode; int Height; } cases[] = {
        {"native_bisize", TransferNative, 0}, {"native_clrused", TransferNative, 0},
        {"native_bitcount", TransferNative, 0}, {"native_width0", TransferNative, 0},
        {"mem_byteswritten", TransferMemory, 0}, {"mem_extra", TransferMemory, 0},
        {"mem_rowbytes_short", TransferMemory, 0}, {"mem_compressed", TransferMemory, 0},
        {"mem_short", TransferMemory, 0},
        {"info_zero", TransferMemory, 0}, {"info_negative", TransferMemory, 0},
        {"info_huge", TransferMemory, 0},
        {"native_height_neg", TransferNative, 1}, // a top-down DIB, which the format allows
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Bad);
        Set("bad", c.Bad);
        Fresh();
        TTwainSource *source = Open();
        ASSERT_TRUE(source);
        source->TransferMode = c.Mode;
        Configure(*source, TWPT_RGB);
        Acquire(*source);
        ASSERT_FALSE(Log.empty());
        if (c.Height) {
            ASSERT_EQ(Images.size(), 1u);
            EXPECT_EQ(Images[0].height(), c.Height);
        } else {
            EXPECT_TRUE(Images.empty());
            EXPECT_EQ(Log[0].rfind("error 0 1 ", 0), 0u) << Log[0];
        }
        EXPECT_EQ(Log.back(), "complete 0");
        EXPECT_TRUE(Manager->ManagerOpen());
        ExpectNoSequenceErrors();
    }
}

TEST_F(TwainLayer, HandlersThatThrowOrPollDoNotDisturbTheSequence)
{
    Set("pending", "2");
    const struct { bool Throw, Poll; Lines Expected; } cases[] = {
        {true, false, {"acquire 0", "reported handler failed", "acquire 0", "reported handler failed",
                       "disabled 0", "complete 0"}},
        {false, true, {"acquire 0", "acquire 0", "disabled 0", "complete 0"}},
    };
    for (const auto &c : cases) {
        Fresh();
        ThrowInAcquire = c.Throw;
        PollInAcquire = c.Poll;
        TTwainSource *source = Open();
        ASSERT_TRUE(source);
        const size_t from = SentCount();
        Acquire(*source);
        EXPECT_EQ(Log, c.Expected);
        const Lines sent = Sent(from);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "1/2/601=4"), 1) << "one message offered";
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "1/2/601=5"), 0);
    }
}

// An application written from the TWAIN standard alone (StandardTwain.h, none of the
// program's own TWAIN code) drives the data source manager as any other application
// would: the states and their errors, the capabilities every image source must
// answer, memory strips of whole rows, two applications side by side, and a TWAIN 2
// application told by callback.

#include "StandardTwain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <dlfcn.h>

namespace {

using namespace tw;

// What a TWAIN 2 application's callback was told.
struct TNotices
{
    std::mutex Mutex;
    std::condition_variable Arrived;
    std::vector<UInt16> Messages;
    UInt32 Origin = 0;
    UInt32 Destination = 0;
};

TNotices &notices()
{
    static TNotices instance;
    return instance;
}

UInt16 onNotice(Identity *Origin, Identity *Dest, UInt32, UInt16, UInt16 Msg, void *)
{
    TNotices &n = notices();
    const std::lock_guard guard(n.Mutex);
    n.Messages.push_back(Msg);
    n.Origin = Origin ? Origin->Id : 0;
    n.Destination = Dest ? Dest->Id : 0;
    n.Arrived.notify_all();
    return RcSuccess;
}

class Conformance : public ::testing::Test
{
protected:
    struct TApp
    {
        Identity Self{};
        Identity Source{};
    };

    void SetUp() override
    {
        // The flatbed scans at once, and alone whatever scanners the machine has.
        setenv("VELLUMORA_VFB_SCAN_MS", "0", 1);
        setenv("VELLUMORA_SANE", "0", 1);
        library_ = dlopen(VFB_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        entry_ = reinterpret_cast<EntryProc>(dlsym(library_, "DSM_Entry"));
        ASSERT_NE(entry_, nullptr);
    }

    void TearDown() override
    {
        // Each application backs out step by step, whatever state it was left in.
        for (const auto &app : apps_) {
            PendingXfers pending{};
            UserInterface ui{};
            ds(*app, DgControl, DatPendingXfers, MsgEndXfer, &pending);
            ds(*app, DgControl, DatPendingXfers, MsgReset, &pending);
            ds(*app, DgControl, DatUserInterface, MsgDisableDs, &ui);
            dsm(*app, DatIdentity, MsgCloseDs, &app->Source);
            dsm(*app, DatParent, MsgCloseDsm, nullptr);
        }
        if (library_)
            dlclose(library_);
    }

    TApp &newApp(const char *Name, bool Twain2 = false)
    {
        TApp *app = apps_.emplace_back(std::make_unique<TApp>()).get();
        app->Self.Version = Version{1, 0, 0xFFFF, 1, "conformance"};
        app->Self.ProtocolMajor = Twain2 ? 2 : 1;
        app->Self.ProtocolMinor = Twain2 ? 4 : 9;
        app->Self.SupportedGroups = DgControl | DgImage | (Twain2 ? DfApp2 : 0);
        std::strcpy(app->Self.ProductName, Name);
        return *app;
    }

    UInt16 dsm(TApp &App, UInt16 Dat, UInt16 Msg, void *Data)
    {
        return entry_(&App.Self, nullptr, DgControl, Dat, Msg, Data);
    }
    UInt16 ds(TApp &App, UInt32 Dg, UInt16 Dat, UInt16 Msg, void *Data)
    {
        return entry_(&App.Self, &App.Source, Dg, Dat, Msg, Data);
    }
    UInt16 status(TApp &App, bool OfSource)
    {
        Status status{0xEEEE, 0};
        EXPECT_EQ(entry_(&App.Self, OfSource ? &App.Source : nullptr, DgControl, DatStatus, MsgGet, &status),
                  RcSuccess);
        return status.ConditionCode;
    }

    void open(TApp &App)
    {
        ASSERT_EQ(dsm(App, DatParent, MsgOpenDsm, nullptr), RcSuccess);
        ASSERT_EQ(dsm(App, DatIdentity, MsgGetDefault, &App.Source), RcSuccess);
        ASSERT_EQ(dsm(App, DatIdentity, MsgOpenDs, &App.Source), RcSuccess);
    }
    UInt16 setOne(TApp &App, UInt16 Cap, UInt16 Type, UInt32 Item)
    {
        OneValue one{Type, Item};
        Capability capability{Cap, OnOneValue, &one};
        return ds(App, DgControl, DatCapability, MsgSet, &capability);
    }
    UInt16 setFix32(TApp &App, UInt16 Cap, double Value)
    {
        const Fix32 fix = ToFix32(Value);
        UInt32 bits;
        std::memcpy(&bits, &fix, sizeof bits);
        return setOne(App, Cap, TyFix32, bits);
    }
    // 100 dpi RGB over Width x 1 inches, then enabled.
    void enable(TApp &App, double Width = 2.5)
    {
        ASSERT_EQ(setOne(App, IcapPixelType, TyUInt16, PtRgb), RcSuccess);
        ASSERT_EQ(setFix32(App, IcapXResolution, 100), RcSuccess);
        ASSERT_EQ(setFix32(App, IcapYResolution, 100), RcSuccess);
        ImageLayout layout{{ToFix32(0), ToFix32(0), ToFix32(Width), ToFix32(1)}, 0, 0, 0};
        ASSERT_EQ(ds(App, DgImage, DatImageLayout, MsgSet, &layout), RcSuccess);
        UserInterface ui{0, 0, nullptr};
        ASSERT_EQ(ds(App, DgControl, DatUserInterface, MsgEnableDs, &ui), RcSuccess);
    }
    // Offers events as a 1.9 application's loop does; the deadline only keeps a broken
    // manager from hanging the test.
    UInt16 poll(TApp &App)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            Event event{nullptr, MsgNull};
            if (ds(App, DgControl, DatEvent, MsgProcessEvent, &event) == RcDsEvent)
                return event.TWMessage;
        }
        return MsgNull;
    }
    UInt16 endXfer(TApp &App)
    {
        PendingXfers pending{0xEEEE, 0};
        EXPECT_EQ(ds(App, DgControl, DatPendingXfers, MsgEndXfer, &pending), RcSuccess);
        return pending.Count;
    }

    void *library_ = nullptr;
    EntryProc entry_ = nullptr;
    std::vector<std::unique_ptr<TApp>> apps_;
};

} // namespace

TEST_F(Conformance, StatesAndTheirErrorsFollowTheStandard)
{
    TApp &app = newApp("Conformance 1.9");
    EXPECT_EQ(status(app, false), CcSuccess) << "the status is there before MSG_OPENDSM";
    open(app);
    UserInterface ui{};
    EXPECT_EQ(ds(app, DgControl, DatUserInterface, MsgDisableDs, &ui), RcFailure) << "state 4";
    EXPECT_EQ(status(app, true), CcSeqError);

    Identity chosen{};
    EXPECT_EQ(dsm(app, DatIdentity, MsgUserSelect, &chosen), RcSuccess) << "a manager without a window";
    EXPECT_STREQ(chosen.ProductName, app.Source.ProductName);

    enable(app);
    EXPECT_EQ(dsm(app, DatIdentity, MsgCloseDs, &app.Source), RcFailure) << "state 5";
    EXPECT_EQ(status(app, false), CcSeqError);
    ASSERT_EQ(poll(app), MsgXferReady);
    EXPECT_EQ(ds(app, DgControl, DatUserInterface, MsgDisableDs, &ui), RcFailure) << "state 6";
    EXPECT_EQ(status(app, true), CcSeqError);
    void *handle = nullptr;
    ASSERT_EQ(ds(app, DgImage, DatImageNativeXfer, MsgGet, &handle), RcXferDone);
    std::free(handle);
    EXPECT_EQ(ds(app, DgControl, DatUserInterface, MsgDisableDs, &ui), RcFailure) << "state 7";
    EXPECT_EQ(endXfer(app), 0);
    EXPECT_EQ(ds(app, DgControl, DatUserInterface, MsgDisableDs, &ui), RcSuccess);
    EXPECT_EQ(dsm(app, DatIdentity, MsgCloseDs, &app.Source), RcSuccess);
    EXPECT_EQ(dsm(app, DatParent, MsgCloseDsm, nullptr), RcSuccess);
}

TEST_F(Conformance, EveryRequiredCapabilityAnswers)
{
    // The five operations, the three reads, and MSG_GET alone, as the standard asks of
    // every image source.
    const UInt16 settable[] = {CapXferCount, IcapBitDepth,  IcapBitOrder,    IcapPixelType,
                               IcapUnits,    IcapXferMech,  IcapXResolution, IcapYResolution};
    const UInt16 readable[] = {IcapCompression, IcapPlanarChunky, IcapPhysicalHeight, IcapPhysicalWidth,
                               IcapPixelFlavor};
    const UInt16 listed[] = {CapSupportedCaps, CapUiControllable};
    TApp &app = newApp("Conformance caps");
    open(app);
    auto ask = [&](UInt16 Cap, UInt16 Msg) {
        Capability capability{Cap, OnDontCare16, nullptr};
        const UInt16 rc = ds(app, DgControl, DatCapability, Msg, &capability);
        EXPECT_EQ(rc, RcSuccess) << std::hex << "capability 0x" << Cap << " message 0x" << Msg;
        return capability;
    };
    for (UInt16 cap : listed)
        std::free(ask(cap, MsgGet).hContainer);
    for (UInt16 cap : readable)
        for (UInt16 msg : {MsgGet, MsgGetCurrent, MsgGetDefault})
            std::free(ask(cap, msg).hContainer);
    for (UInt16 cap : settable) {
        for (UInt16 msg : {MsgGet, MsgGetDefault, MsgReset})
            std::free(ask(cap, msg).hContainer);
        // The current value set again is taken.
        Capability current = ask(cap, MsgGetCurrent);
        ASSERT_EQ(current.ConType, OnOneValue) << std::hex << cap;
        EXPECT_EQ(ds(app, DgControl, DatCapability, MsgSet, &current), RcSuccess) << std::hex << cap;
        std::free(current.hContainer);
        Capability query = ask(cap, MsgQuerySupport);
        const Int32 operations = static_cast<OneValue *>(query.hContainer)->Item;
        EXPECT_EQ(operations & (QcGet | QcSet), QcGet | QcSet) << std::hex << cap;
        std::free(query.hContainer);
    }

    Capability supported = ask(CapSupportedCaps, MsgGet);
    ASSERT_EQ(supported.ConType, OnArray);
    const auto *array = static_cast<const Array *>(supported.hContainer);
    std::vector<UInt16> caps(array->NumItems);
    std::memcpy(caps.data(), array->ItemList, caps.size() * sizeof(UInt16));
    std::free(supported.hContainer);
    for (const auto &group : {std::vector<UInt16>(std::begin(settable), std::end(settable)),
                              std::vector<UInt16>(std::begin(readable), std::end(readable)),
                              std::vector<UInt16>(std::begin(listed), std::end(listed))})
        for (UInt16 cap : group)
            EXPECT_NE(std::find(caps.begin(), caps.end(), cap), caps.end()) << std::hex << cap;

    EXPECT_EQ(setOne(app, CapXferCount, TyInt16, 1), RcSuccess);
    Capability count = ask(CapXferCount, MsgGetCurrent);
    EXPECT_EQ(Int16(static_cast<OneValue *>(count.hContainer)->Item), 1);
    std::free(count.hContainer);
    Capability compression = ask(IcapCompression, MsgGetCurrent);
    EXPECT_EQ(UInt16(static_cast<OneValue *>(compression.hContainer)->Item), CpNone);
    std::free(compression.hContainer);
}

// Placed by their own fields, the strips make the whole image, whatever buffer the
// application offers: whole rows each, one after the other.
TEST_F(Conformance, MemoryStripsHoldWholeRows)
{
    TApp &app = newApp("Conformance memory");
    open(app);
    SetupMemXfer setup{};
    for (bool smallest : {false, true}) {
        SCOPED_TRACE(smallest ? "the smallest buffer" : "the preferred buffer");
        // 251 pixels: rows of 753 bytes, not a multiple of four.
        enable(app, 2.51);
        ASSERT_EQ(poll(app), MsgXferReady);
        ImageInfo info{};
        ASSERT_EQ(ds(app, DgImage, DatImageInfo, MsgGet, &info), RcSuccess);
        ASSERT_EQ(info.ImageWidth, 251);
        ASSERT_EQ(ds(app, DgControl, DatSetupMemXfer, MsgGet, &setup), RcSuccess);
        std::vector<uint8_t> buffer(smallest ? setup.MinBufSize : setup.Preferred);
        Int32 rows = 0;
        int strips = 0;
        UInt16 rc = RcSuccess;
        while (rc == RcSuccess) {
            ImageMemXfer strip;
            std::memset(&strip, 0xFF, sizeof strip);
            strip.Memory = Memory{MfAppOwns | MfPointer, UInt32(buffer.size()), buffer.data()};
            rc = ds(app, DgImage, DatImageMemXfer, MsgGet, &strip);
            ASSERT_TRUE(rc == RcSuccess || rc == RcXferDone) << rc;
            const UInt32 perRow = strip.BytesPerRow, count = strip.Rows, written = strip.BytesWritten;
            EXPECT_EQ(UInt16(strip.Compression), CpNone);
            EXPECT_EQ(UInt32(strip.Columns), 251u);
            EXPECT_EQ(UInt32(strip.XOffset), 0u);
            EXPECT_EQ(UInt32(strip.YOffset), UInt32(rows));
            EXPECT_GE(perRow, 753u);
            EXPECT_EQ(written, count * perRow);
            EXPECT_LE(written, buffer.size());
            ASSERT_GT(count, 0u);
            rows += Int32(count);
            ++strips;
        }
        EXPECT_EQ(rows, info.ImageLength);
        if (smallest) {
            EXPECT_EQ(strips, info.ImageLength) << "one row a strip";
        }
        EXPECT_EQ(endXfer(app), 0);
        UserInterface ui{};
        ASSERT_EQ(ds(app, DgControl, DatUserInterface, MsgDisableDs, &ui), RcSuccess);
    }
}

TEST_F(Conformance, AnotherApplicationCannotTouchTheSource)
{
    TApp &first = newApp("Conformance first");
    TApp &second = newApp("Conformance second");
    open(first);
    enable(first);
    ASSERT_EQ(dsm(second, DatParent, MsgOpenDsm, nullptr), RcSuccess);
    second.Source = first.Source;
    UserInterface ui{};
    Capability capability{IcapUnits, OnDontCare16, nullptr};
    EXPECT_EQ(ds(second, DgControl, DatUserInterface, MsgDisableDs, &ui), RcFailure);
    EXPECT_EQ(status(second, false), CcBadDest);
    EXPECT_EQ(ds(second, DgControl, DatCapability, MsgGet, &capability), RcFailure);
    EXPECT_EQ(dsm(second, DatIdentity, MsgCloseDs, &second.Source), RcFailure);
    EXPECT_EQ(dsm(second, DatIdentity, MsgOpenDs, &second.Source), RcFailure);
    EXPECT_EQ(status(second, false), CcMaxConnections);
    EXPECT_EQ(dsm(second, DatParent, MsgCloseDsm, nullptr), RcSuccess);

    // The first application's source went on as if nothing had happened.
    EXPECT_EQ(status(first, true), CcSuccess);
    ASSERT_EQ(poll(first), MsgXferReady);
    void *handle = nullptr;
    ASSERT_EQ(ds(first, DgImage, DatImageNativeXfer, MsgGet, &handle), RcXferDone);
    std::free(handle);
    EXPECT_EQ(endXfer(first), 0);
}

TEST_F(Conformance, Twain2ApplicationIsToldByCallback)
{
    TApp &app = newApp("Conformance 2", true);
    ASSERT_EQ(dsm(app, DatParent, MsgOpenDsm, nullptr), RcSuccess);
    EXPECT_TRUE(app.Self.SupportedGroups & DfDsm2);
    EntryPoint entry{};
    entry.Size = sizeof entry;
    ASSERT_EQ(dsm(app, DatEntryPoint, MsgGet, &entry), RcSuccess);
    const EntryProc given = entry.DSM_Entry; // a packed field: no reference to it
    EXPECT_EQ(given, entry_);
    ASSERT_TRUE(entry.DSM_MemAllocate && entry.DSM_MemFree && entry.DSM_MemLock && entry.DSM_MemUnlock);
    ASSERT_EQ(dsm(app, DatIdentity, MsgGetDefault, &app.Source), RcSuccess);
    ASSERT_EQ(dsm(app, DatIdentity, MsgOpenDs, &app.Source), RcSuccess);
    Callback callback{reinterpret_cast<void *>(&onNotice), 0, 0};
    ASSERT_EQ(ds(app, DgControl, DatCallback, MsgRegisterCallback, &callback), RcSuccess);
    enable(app);

    TNotices &n = notices();
    {
        std::unique_lock lock(n.Mutex);
        // The bound only keeps a broken manager from hanging the test.
        ASSERT_TRUE(n.Arrived.wait_for(lock, std::chrono::seconds(10), [&] { return !n.Messages.empty(); }));
        EXPECT_EQ(n.Messages, std::vector<UInt16>{MsgXferReady});
        const UInt32 sourceId = app.Source.Id, selfId = app.Self.Id;
        EXPECT_EQ(n.Origin, sourceId);
        EXPECT_EQ(n.Destination, selfId);
    }
    void *handle = nullptr;
    ASSERT_EQ(ds(app, DgImage, DatImageNativeXfer, MsgGet, &handle), RcXferDone);
    const auto *header = static_cast<const BitmapInfoHeader *>(entry.DSM_MemLock(handle));
    EXPECT_EQ(header->biWidth, 250);
    entry.DSM_MemUnlock(handle);
    entry.DSM_MemFree(handle);
    EXPECT_EQ(endXfer(app), 0);
    UserInterface ui{};
    EXPECT_EQ(ds(app, DgControl, DatUserInterface, MsgDisableDs, &ui), RcSuccess);
    EXPECT_EQ(dsm(app, DatIdentity, MsgCloseDs, &app.Source), RcSuccess);
    EXPECT_EQ(dsm(app, DatParent, MsgCloseDsm, nullptr), RcSuccess);
    const std::lock_guard guard(n.Mutex);
    EXPECT_EQ(n.Messages.size(), 1u) << "told once";
}

#include "Manager.h"

#include "Entry.h"

#include <chrono>
#include <cstring>
#include <string>

namespace {

// Source Ids live far from the application Ids (1 to 0xFFFF), so a test can tell them apart.
constexpr TW_UINT32 FirstSourceId = 0x10001;

// Enough for a day of polling at ten events a second; later triplets are not kept,
// so a demo left running does not grow without end.
constexpr size_t MaxTriplets = 1000000;

// SANE devices take the Ids after every possible flatbed.
constexpr TW_UINT32 FirstSaneId = FirstSourceId + MaxSources;

// Local backends answer within a tenth of a second; a bus or network that takes
// longer than this is given up on, so opening the manager never freezes the application.
constexpr std::chrono::milliseconds SaneProbeBound{4000};

// How often an enabled source with a callback is asked whether its scan is done.
constexpr std::chrono::milliseconds CallbackPollInterval{10};
// How long leaving waits for an application's callback to return.
constexpr std::chrono::milliseconds CallbackReturnBound{2000};

// TWAIN 2's memory entry points: the very calloc blocks every source hands out.
TW_HANDLE memAllocate(TW_UINT32 Size)
{
    return TwainAlloc(Size);
}
void memFree(TW_HANDLE Handle)
{
    TwainFree(Handle);
}
TW_MEMREF memLock(TW_HANDLE Handle)
{
    return TwainLock(Handle);
}
void memUnlock(TW_HANDLE Handle)
{
    TwainUnlock(Handle);
}

void copyText(TW_STR32 &Field, const std::string &Text)
{
    std::memset(Field, 0, sizeof Field);
    std::memcpy(Field, Text.data(), std::min(Text.size(), sizeof Field - 1));
}

TW_IDENTITY flatbedIdentity(int Index)
{
    TW_IDENTITY identity{};
    identity.Id = FirstSourceId + static_cast<TW_UINT32>(Index);
    identity.Version.MajorNum = 1;
    identity.Version.MinorNum = 0;
    identity.Version.Language = 2; // TWLG_ENGLISH
    identity.Version.Country = 1;  // TWCY_USA
    copyText(identity.Version.Info, "1.0 simulated A4 flatbed");
    identity.ProtocolMajor = 1;
    identity.ProtocolMinor = 9;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    copyText(identity.Manufacturer, "Quorvath");
    copyText(identity.ProductFamily, "Virtual Flatbed");
    copyText(identity.ProductName,
             Index == 0 ? std::string("Virtual Flatbed") : "Virtual Flatbed " + std::to_string(Index + 1));
    return identity;
}

// Vendor and model name a device the same after a replug, unlike SANE's device
// name (which holds the USB bus and device numbers). Devices alike are numbered in
// their sorted order.
TW_IDENTITY saneIdentity(const TSaneDevice &Device, int Index, int Twin)
{
    TW_IDENTITY identity{};
    identity.Id = FirstSaneId + static_cast<TW_UINT32>(Index);
    identity.Version.MajorNum = 1;
    identity.Version.MinorNum = 0;
    identity.Version.Language = 2; // TWLG_ENGLISH
    identity.Version.Country = 1;  // TWCY_USA
    const std::string backend = Device.Name.substr(0, Device.Name.find(':'));
    copyText(identity.Version.Info, "SANE " + backend);
    identity.ProtocolMajor = 1;
    identity.ProtocolMinor = 9;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    copyText(identity.Manufacturer, Device.Vendor);
    copyText(identity.ProductFamily, Device.Model);
    const std::string suffix = Twin > 1 ? " " + std::to_string(Twin) : std::string();
    std::string name = Device.Vendor.empty() ? Device.Model : Device.Vendor + " " + Device.Model;
    if (name.empty())
        name = backend;
    name = name.substr(0, sizeof identity.ProductName - 1 - suffix.size());
    copyText(identity.ProductName, name + suffix);
    return identity;
}

} // namespace

TDsm::TDsm() : script_(TScript::Defaults())
{
    for (int i = 0; i < MaxSources; ++i) {
        flatbeds_[i] = std::make_unique<TVirtualFlatbed>(flatbedIdentity(i), *this);
        sources_.push_back(flatbeds_[i].get());
    }
}

TDsm::~TDsm()
{
    std::unique_lock lock(Mutex());
    stopNotifier(lock);
    endAllSessions();
}

std::mutex &TDsm::Mutex()
{
    static auto *mutex = new std::mutex; // never destroyed: see the header
    return *mutex;
}

TW_UINT16 TDsm::Entry(TW_IDENTITY *Origin, TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                      TW_MEMREF Data)
{
    TDataSource *reached = nullptr;
    const TReply reply = route(Origin, Dest, Dg, Dat, Msg, Data, reached);
    keepConditionCode(Origin, reached, Dat, reply.Cc);
    if (triplets_.size() < MaxTriplets)
        triplets_.push_back(VfbTriplet{Dg, Dat, Msg, reply.Rc, reply.Cc, Dest ? Dest->Id : 0});
    // An enable or a registration may have given the callback thread work.
    if (notifier_)
        notifier_->Wake.notify_one();
    return reply.Rc;
}

void TDsm::keepConditionCode(TW_IDENTITY *Origin, TDataSource *Reached, TW_UINT16 Dat, TW_UINT16 Cc)
{
    // Reading the status leaves it for the next reader.
    if (Dat == DAT_STATUS)
        return;
    if (Reached) {
        Reached->SetConditionCode(Cc);
        return;
    }
    const auto session = Origin ? sessions_.find(Origin->Id) : sessions_.end();
    if (session != sessions_.end())
        session->second.ConditionCode = Cc;
    else
        conditionCode_ = Cc;
}

TReply TDsm::route(TW_IDENTITY *Origin, TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                   TW_MEMREF Data, TDataSource *&Reached)
{
    if (!Origin)
        return Failure(TWCC_BADVALUE);
    const auto found = Origin->Id != 0 ? sessions_.find(Origin->Id) : sessions_.end();
    TSession *session = found != sessions_.end() ? &found->second : nullptr;
    TDataSource *source = Dest ? sourceWithId(Dest->Id) : nullptr;
    // A source answers only the application that opened it, and keeps its status for it.
    const bool owned = source && session && source->IsOpen() && source->Owner() == Origin->Id;
    if (owned)
        Reached = source;

    const auto scripted = script_.FailFor(Dg, Dat, Msg);
    if (scripted && !scripted->RunsTheCall())
        return {scripted->Rc, scripted->Cc};

    TReply reply;
    if (!Dest) {
        reply = Dg == DG_CONTROL ? toManager(*Origin, session, Dat, Msg, Data) : Failure(TWCC_BADPROTOCOL);
    } else if (!session) {
        reply = Failure(TWCC_SEQERROR);
    } else if (!source || (source->IsOpen() && !owned)) {
        reply = Failure(TWCC_BADDEST);
    } else if (!source->IsOpen()) {
        // A closed source never claims an event; anything else is out of sequence.
        if (Dg == DG_CONTROL && Dat == DAT_EVENT && Msg == MSG_PROCESSEVENT && Data) {
            static_cast<TW_EVENT *>(Data)->TWMessage = MSG_NULL;
            reply = {TWRC_NOTDSEVENT, TWCC_SUCCESS};
        } else {
            reply = Failure(TWCC_SEQERROR);
        }
    } else if (Dg == DG_CONTROL && (Dat == DAT_CALLBACK || Dat == DAT_CALLBACK2)) {
        reply = Msg == MSG_REGISTER_CALLBACK ? registerCallback(*source, Dat, Data) : Failure(TWCC_BADPROTOCOL);
    } else {
        reply = toSource(*source, Dg, Dat, Msg, Data);
    }
    return scripted ? TReply{scripted->Rc, scripted->Cc} : reply;
}

TReply TDsm::toSource(TDataSource &Source, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data)
{
    std::optional<TScriptedAnswer> scripted;
    if (Dg == DG_CONTROL && Dat == DAT_CAPABILITY && Data)
        scripted = script_.CapFailFor(static_cast<TW_CAPABILITY *>(Data)->Cap, Msg);
    if (scripted && !scripted->RunsTheCall())
        return {scripted->Rc, scripted->Cc};
    // A scripted TWRC_CHECKSTATUS stands for a source that takes a value only roughly.
    const bool approximate = scripted && scripted->Rc == TWRC_CHECKSTATUS;
    const TReply reply = Source.Dispatch(Dg, Dat, Msg, Data, approximate);
    return scripted ? TReply{scripted->Rc, scripted->Cc} : reply;
}

TReply TDsm::toManager(TW_IDENTITY &Origin, TSession *Session, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data)
{
    if (Dat == DAT_PARENT && Msg == MSG_OPENDSM)
        return openDsm(Origin);
    // The status is there from the moment the manager is loaded, session or not.
    if (Dat == DAT_STATUS && Msg == MSG_GET) {
        if (!Data)
            return Failure(TWCC_BADVALUE);
        *static_cast<TW_STATUS *>(Data) = TW_STATUS{Session ? Session->ConditionCode : conditionCode_, 0};
        return {};
    }
    if (!Session)
        return Failure(TWCC_SEQERROR);
    if (Dat == DAT_PARENT && Msg == MSG_CLOSEDSM)
        return closeDsm(Origin.Id);
    if (Dat == DAT_ENTRYPOINT && Msg == MSG_GET) {
        auto *entry = static_cast<TW_ENTRYPOINT *>(Data);
        if (!entry || (entry->Size != 0 && entry->Size < sizeof(TW_ENTRYPOINT)))
            return Failure(TWCC_BADVALUE);
        *entry = TW_ENTRYPOINT{sizeof(TW_ENTRYPOINT), &DSM_Entry, &memAllocate, &memFree, &memLock, &memUnlock};
        return {};
    }
    if (Dat == DAT_IDENTITY) {
        if (!Data)
            return Failure(TWCC_BADVALUE);
        auto &identity = *static_cast<TW_IDENTITY *>(Data);
        return Msg == MSG_USERSELECT ? userSelect(identity) : this->identity(*Session, Msg, identity);
    }
    return Failure(TWCC_BADPROTOCOL);
}

TReply TDsm::openDsm(TW_IDENTITY &Origin)
{
    if (Origin.Id != 0 && sessions_.count(Origin.Id))
        return Failure(TWCC_SEQERROR);
    if (sessions_.size() >= 0xFFFF)
        return Failure(TWCC_MAXCONNECTIONS);
    // Devices are listed afresh for the first application only: another one opening
    // the manager must not pull the sources from under the first.
    if (sessions_.empty())
        beginSane();
    do
        lastAppId_ = lastAppId_ % 0xFFFF + 1;
    while (sessions_.count(lastAppId_));
    Origin.Id = lastAppId_;
    if (Origin.SupportedGroups & DF_APP2)
        Origin.SupportedGroups |= DF_DSM2;
    TSession session;
    session.Identity = Origin;
    sessions_[Origin.Id] = session;
    return {};
}

TReply TDsm::closeDsm(TW_UINT32 Application)
{
    bool holdsSource = false;
    forEachSource([&](TDataSource &Source) { holdsSource = holdsSource || Source.Owner() == Application; });
    if (holdsSource)
        return Failure(TWCC_SEQERROR);
    sessions_.erase(Application);
    if (sessions_.empty())
        endSane();
    return {};
}

void TDsm::endAllSessions()
{
    forEachSource([](TDataSource &Source) { Source.ForceClose(); });
    sessions_.clear();
    endSane();
}

void TDsm::beginSane()
{
    endSane();
    const std::vector<TSaneDevice> devices = saneProbe_.Begin(SaneListingFromEnvironment(), SaneProbeBound);
    for (size_t i = 0; i < devices.size(); ++i) {
        int twin = 1;
        for (size_t j = 0; j < i; ++j)
            if (devices[j].Vendor == devices[i].Vendor && devices[j].Model == devices[i].Model)
                ++twin;
        sane_.push_back(std::make_unique<TSaneSource>(saneIdentity(devices[i], static_cast<int>(i), twin),
                                                      devices[i].Name, *this));
    }
}

void TDsm::endSane()
{
    sane_.clear();
    saneProbe_.End();
}

TReply TDsm::identity(TSession &Session, TW_UINT16 Msg, TW_IDENTITY &Identity)
{
    switch (Msg) {
    case MSG_GETFIRST:
        Session.ListCursor = 0;
        [[fallthrough]];
    case MSG_GETNEXT:
        if (Session.ListCursor >= listedCount())
            return {TWRC_ENDOFLIST, TWCC_SUCCESS};
        Identity = listed(Session.ListCursor++)->Identity();
        return {};
    case MSG_GETDEFAULT:
        if (!defaultSource())
            return Failure(TWCC_NODS);
        Identity = defaultSource()->Identity();
        return {};
    case MSG_OPENDS: {
        TDataSource *source = nullptr;
        if (Identity.Id != 0) {
            source = sourceWithId(Identity.Id);
        } else if (Identity.ProductName[0] != '\0') {
            source = listedNamed(Identity.ProductName);
        } else {
            source = defaultSource();
        }
        // Only a listed source can be opened, and by one application at a time.
        if (!source || !isListed(source))
            return Failure(TWCC_NODS);
        if (source->IsOpen())
            return Failure(source->Owner() == Session.Identity.Id ? TWCC_SEQERROR : TWCC_MAXCONNECTIONS);
        const TReply reply = source->Open(Session.Identity.Id);
        if (reply.Rc == TWRC_SUCCESS)
            Identity = source->Identity();
        return reply;
    }
    case MSG_CLOSEDS: {
        TDataSource *source = sourceWithId(Identity.Id);
        if (!source)
            return Failure(TWCC_NODS);
        if (source->IsOpen() && source->Owner() != Session.Identity.Id)
            return Failure(TWCC_BADDEST);
        return source->Close();
    }
    default:
        return Failure(TWCC_BADPROTOCOL);
    }
}

// There is no window to choose in: the source the application names, or the default.
TReply TDsm::userSelect(TW_IDENTITY &Identity)
{
    TDataSource *source = Identity.ProductName[0] != '\0' ? listedNamed(Identity.ProductName) : nullptr;
    if (!source)
        source = defaultSource();
    if (!source)
        return Failure(TWCC_NODS);
    Identity = source->Identity();
    return {};
}

TReply TDsm::registerCallback(TDataSource &Source, TW_UINT16 Dat, TW_MEMREF Data)
{
    if (!Data)
        return Failure(TWCC_BADVALUE);
    if (Source.State() != StateOpen)
        return Failure(TWCC_SEQERROR);
    const TW_MEMREF proc = Dat == DAT_CALLBACK ? static_cast<TW_CALLBACK *>(Data)->CallBackProc
                                               : static_cast<TW_CALLBACK2 *>(Data)->CallBackProc;
    if (!proc)
        return Failure(TWCC_BADVALUE);
    Source.SetCallback(proc);
    startNotifier();
    return {};
}

void TDsm::startNotifier()
{
    if (notifier_)
        return;
    auto state = std::make_shared<TNotifier>();
    state->Running = true;
    try {
        notifierThread_ = std::thread([this, state] { notifierLoop(*state); });
    } catch (const std::system_error &) {
        return; // the application can still poll
    }
    notifier_ = std::move(state);
}

void TDsm::stopNotifier(std::unique_lock<std::mutex> &Lock)
{
    if (!notifier_)
        return;
    const std::shared_ptr<TNotifier> state = std::move(notifier_);
    state->Stopping = true;
    state->Wake.notify_all();
    // A thread stuck in an application's callback is left to return on its own; it
    // touches nothing of the manager once it sees Stopping.
    const bool done = state->Done.wait_for(Lock, CallbackReturnBound, [&] { return !state->Running; });
    if (done)
        notifierThread_.join();
    else
        notifierThread_.detach();
}

void TDsm::notifierLoop(TNotifier &State)
{
    std::unique_lock lock(Mutex());
    while (!State.Stopping) {
        const std::vector<TNotice> due = dueNotices();
        if (!due.empty()) {
            // Called without the lock: an application may call DSM_Entry from its callback.
            lock.unlock();
            for (TNotice notice : due)
                reinterpret_cast<DSMENTRYPROC>(notice.Proc)(&notice.Source, &notice.Application, DG_CONTROL,
                                                            DAT_NULL, notice.Msg, nullptr);
            lock.lock();
            continue;
        }
        if (callbacksWaiting())
            State.Wake.wait_for(lock, CallbackPollInterval);
        else
            State.Wake.wait(lock);
    }
    State.Running = false;
    State.Done.notify_all();
}

std::vector<TDsm::TNotice> TDsm::dueNotices()
{
    std::vector<TNotice> due;
    forEachSource([&](TDataSource &Source) {
        if (!Source.Callback() || Source.State() != StateEnabled)
            return;
        const auto session = sessions_.find(Source.Owner());
        if (session == sessions_.end())
            return;
        const TW_UINT16 msg = Source.PollEvent();
        if (msg != MSG_NULL)
            due.push_back({Source.Callback(), Source.Identity(), session->second.Identity, msg});
    });
    return due;
}

bool TDsm::callbacksWaiting()
{
    bool waiting = false;
    forEachSource([&](TDataSource &Source) { waiting = waiting || (Source.Callback() && Source.State() == StateEnabled); });
    return waiting;
}

template <typename F>
void TDsm::forEachSource(F &&Visit)
{
    for (TDataSource *source : sources_)
        Visit(*source);
    for (auto &device : sane_)
        Visit(*device);
}

int TDsm::listedCount() const
{
    return script_.Sources + static_cast<int>(sane_.size());
}

TDataSource *TDsm::listed(int Index)
{
    if (Index >= 0 && Index < script_.Sources)
        return sources_[Index];
    const int device = Index - script_.Sources;
    return device >= 0 && device < static_cast<int>(sane_.size()) ? sane_[device].get() : nullptr;
}

TDataSource *TDsm::listedNamed(const TW_STR32 &ProductName)
{
    for (int i = 0; i < listedCount(); ++i)
        if (std::strncmp(listed(i)->Identity().ProductName, ProductName, sizeof ProductName) == 0)
            return listed(i);
    return nullptr;
}

TDataSource *TDsm::defaultSource()
{
    return listed(script_.DefaultSource);
}

bool TDsm::isListed(const TDataSource *Source)
{
    for (int i = 0; i < listedCount(); ++i)
        if (listed(i) == Source)
            return true;
    return false;
}

TDataSource *TDsm::sourceWithId(TW_UINT32 Id)
{
    // A source that is no longer listed stays reachable while it is open.
    for (int i = 0; i < MaxSources; ++i)
        if (sources_[i]->Identity().Id == Id && (i < script_.Sources || sources_[i]->IsOpen()))
            return sources_[i];
    for (auto &device : sane_)
        if (device->Identity().Id == Id)
            return device.get();
    return nullptr;
}

void TDsm::Reset()
{
    script_ = TScript::Defaults();
    triplets_.clear();
    lastImage_.reset();
    endAllSessions();
    conditionCode_ = TWCC_SUCCESS;
}

bool TDsm::Set(const std::string &Key, const std::string &Value)
{
    if (!script_.Set(Key, Value))
        return false;
    if (Key == "pixel_flavor")
        for (auto &flatbed : flatbeds_)
            if (flatbed->IsOpen())
                flatbed->SetPixelFlavor(script_.PixelFlavor);
    return true;
}

bool TDsm::TripletAt(size_t Index, VfbTriplet &Out) const
{
    if (Index >= triplets_.size())
        return false;
    Out = triplets_[Index];
    return true;
}

bool TDsm::LastImage(VfbImage &Out) const
{
    if (!lastImage_)
        return false;
    const TRenderedImage &image = *lastImage_;
    Out = VfbImage{};
    Out.Width = image.Width;
    Out.Height = image.Height;
    Out.BitsPerPixel = image.BitsPerPixel;
    Out.PixelType = image.PixelType;
    Out.PixelFlavor = image.PixelFlavor;
    Out.RowBytes = image.RowBytes;
    Out.Rows = image.Rows.get();
    Out.PaletteCount = static_cast<int32_t>(image.Palette.size() / 3);
    Out.Palette = image.Palette.empty() ? nullptr : image.Palette.data();
    Out.XResolution = image.XDpi;
    Out.YResolution = image.YDpi;
    return true;
}

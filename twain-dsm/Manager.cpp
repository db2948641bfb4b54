#include "Manager.h"

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

TW_UINT16 TDsm::Entry(TW_IDENTITY *Origin, TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                      TW_MEMREF Data)
{
    const TReply reply = route(Origin, Dest, Dg, Dat, Msg, Data);
    if (triplets_.size() < MaxTriplets)
        triplets_.push_back(VfbTriplet{Dg, Dat, Msg, reply.Rc, reply.Cc, Dest ? Dest->Id : 0});
    return reply.Rc;
}

void TDsm::keepConditionCode(TDataSource *Source, TW_UINT16 Dat, TW_UINT16 Cc)
{
    // Reading the status leaves it for the next reader.
    if (Dat == DAT_STATUS)
        return;
    if (Source && Source->IsOpen())
        Source->SetConditionCode(Cc);
    else
        conditionCode_ = Cc;
}

TReply TDsm::route(TW_IDENTITY *Origin, TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                   TW_MEMREF Data)
{
    TDataSource *source = Dest ? sourceWithId(Dest->Id) : nullptr;
    auto answer = [&](TReply Reply) {
        keepConditionCode(source, Dat, Reply.Cc);
        return Reply;
    };
    if (!Origin)
        return answer(Failure(TWCC_BADVALUE));

    const auto scripted = script_.FailFor(Dg, Dat, Msg);
    if (scripted && !scripted->RunsTheCall())
        return answer({scripted->Rc, scripted->Cc});

    TReply reply;
    if (!Dest)
        reply = Dg == DG_CONTROL ? toManager(*Origin, Dat, Msg, Data) : Failure(TWCC_BADPROTOCOL);
    else if (!open_)
        reply = Failure(TWCC_SEQERROR);
    else if (!source)
        reply = Failure(TWCC_BADDEST);
    else
        reply = toSource(*source, Dg, Dat, Msg, Data);
    return answer(scripted ? TReply{scripted->Rc, scripted->Cc} : reply);
}

TReply TDsm::toSource(TDataSource &Source, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data)
{
    if (!Source.IsOpen()) {
        // A closed source never claims an event; anything else is out of sequence.
        if (Dg == DG_CONTROL && Dat == DAT_EVENT && Msg == MSG_PROCESSEVENT && Data) {
            static_cast<TW_EVENT *>(Data)->TWMessage = MSG_NULL;
            return {TWRC_NOTDSEVENT, TWCC_SUCCESS};
        }
        return Failure(TWCC_SEQERROR);
    }
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

TReply TDsm::toManager(TW_IDENTITY &Origin, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data)
{
    if (Dat == DAT_PARENT && Msg == MSG_OPENDSM)
        return openDsm(Origin);
    if (!open_)
        return Failure(TWCC_SEQERROR);
    if (Dat == DAT_PARENT && Msg == MSG_CLOSEDSM)
        return closeDsm();
    if (Dat == DAT_STATUS && Msg == MSG_GET) {
        if (!Data)
            return Failure(TWCC_BADVALUE);
        *static_cast<TW_STATUS *>(Data) = TW_STATUS{conditionCode_, 0};
        return {};
    }
    if (Dat == DAT_IDENTITY && Msg != MSG_USERSELECT) {
        if (!Data)
            return Failure(TWCC_BADVALUE);
        return identity(Msg, *static_cast<TW_IDENTITY *>(Data));
    }
    return Failure(TWCC_BADPROTOCOL);
}

TReply TDsm::openDsm(TW_IDENTITY &Origin)
{
    if (open_) {
        if (Origin.Id != 0 && Origin.Id == appId_)
            return Failure(TWCC_SEQERROR);
        // A new application identity while a session is open: the earlier one unloaded
        // the manager without closing it. It is gone, so its sources are closed and the
        // newcomer takes over, rather than being locked out for the rest of the run.
        for (TDataSource *source : sources_)
            if (source->IsOpen())
                source->Close();
        for (auto &device : sane_)
            if (device->IsOpen())
                device->Close();
    }
    beginSane();
    open_ = true;
    lastAppId_ = lastAppId_ % 0xFFFF + 1;
    appId_ = lastAppId_;
    Origin.Id = appId_;
    listCursor_ = EndOfList;
    return {};
}

TReply TDsm::closeDsm()
{
    if (anySourceOpen())
        return Failure(TWCC_SEQERROR);
    endSane();
    open_ = false;
    appId_ = 0;
    return {};
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

TReply TDsm::identity(TW_UINT16 Msg, TW_IDENTITY &Identity)
{
    switch (Msg) {
    case MSG_GETFIRST:
        listCursor_ = 0;
        [[fallthrough]];
    case MSG_GETNEXT:
        if (listCursor_ >= listedCount())
            return {TWRC_ENDOFLIST, TWCC_SUCCESS};
        Identity = listed(listCursor_++)->Identity();
        return {};
    case MSG_GETDEFAULT:
        if (!listed(script_.DefaultSource))
            return Failure(TWCC_NODS);
        Identity = listed(script_.DefaultSource)->Identity();
        return {};
    case MSG_OPENDS: {
        TDataSource *source = nullptr;
        if (Identity.Id != 0) {
            source = sourceWithId(Identity.Id);
        } else if (Identity.ProductName[0] != '\0') {
            for (int i = 0; i < listedCount() && !source; ++i)
                if (std::strncmp(listed(i)->Identity().ProductName, Identity.ProductName,
                                 sizeof Identity.ProductName) == 0)
                    source = listed(i);
        } else {
            source = listed(script_.DefaultSource);
        }
        // Only a listed source can be opened.
        if (!source || !isListed(source))
            return Failure(TWCC_NODS);
        const TReply reply = source->Open();
        if (reply.Rc == TWRC_SUCCESS)
            Identity = source->Identity();
        return reply;
    }
    case MSG_CLOSEDS: {
        TDataSource *source = sourceWithId(Identity.Id);
        return source ? source->Close() : Failure(TWCC_NODS);
    }
    default:
        return Failure(TWCC_BADPROTOCOL);
    }
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
        if (sources_[i]->Identity().Id == Id && (listed(i) || sources_[i]->IsOpen()))
            return sources_[i];
    for (auto &device : sane_)
        if (device->Identity().Id == Id)
            return device.get();
    return nullptr;
}

bool TDsm::anySourceOpen() const
{
    for (const TDataSource *source : sources_)
        if (source->IsOpen())
            return true;
    for (const auto &device : sane_)
        if (device->IsOpen())
            return true;
    return false;
}

void TDsm::Reset()
{
    script_ = TScript::Defaults();
    triplets_.clear();
    lastImage_.reset();
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

#include "DataSource.h"

#include "Containers.h"

#include <algorithm>

namespace {

// Where a triplet is allowed: the lowest and highest state, and whether it needs data.
struct TRule
{
    TW_UINT32 Dg;
    TW_UINT16 Dat;
    TW_UINT16 Msg;
    int Low;
    int High;
    bool NeedsData;
};

// TWAIN's state table for sources. An application that wants out in the middle of a
// transfer ends it first (MSG_ENDXFER, MSG_RESET); only then may it disable and close.
constexpr TRule rules[] = {
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET, 4, 4, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, 4, 4, true},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 4, 4, true},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 5, 5, false},
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, 4, 7, true},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, 4, 7, true},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, 6, 7, true},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, 6, 6, true},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, 4, 6, true},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, 4, 6, true},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, 4, 6, true},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, 4, 6, true},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET, 4, 4, true},
    {DG_CONTROL, DAT_STATUS, MSG_GET, 4, 7, true},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, 6, 7, true},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, 4, 6, true},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, 4, 6, true},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, 4, 4, true},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, 4, 4, true},
    {DG_IMAGE, DAT_PALETTE8, MSG_GET, 4, 6, true},
    {DG_IMAGE, DAT_PALETTE8, MSG_GETDEFAULT, 4, 6, true},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, 6, 6, true},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, 6, 7, true},
    {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, 6, 6, false},
};

const TRule *ruleFor(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg)
{
    for (const TRule &rule : rules)
        if (rule.Dg == Dg && rule.Dat == Dat && rule.Msg == Msg)
            return &rule;
    return nullptr;
}

} // namespace

TReply TDataSource::Open(TW_UINT32 Application)
{
    if (state_ != StateClosed)
        return Failure(TWCC_SEQERROR);
    const TReply opened = OnOpen();
    if (opened.Rc != TWRC_SUCCESS)
        return opened;
    state_ = StateOpen;
    owner_ = Application;
    callback_ = nullptr;
    xferCount_ = -1;
    conditionCode_ = TWCC_SUCCESS;
    return {};
}

TReply TDataSource::Close()
{
    if (state_ != StateOpen)
        return Failure(TWCC_SEQERROR);
    ForceClose();
    return {};
}

void TDataSource::ForceClose()
{
    if (state_ == StateClosed)
        return;
    OnClose();
    state_ = StateClosed;
    owner_ = 0;
    callback_ = nullptr;
    conditionCode_ = TWCC_SUCCESS;
}

TW_UINT16 TDataSource::PollEvent()
{
    if (state_ != StateEnabled)
        return MSG_NULL;
    TW_MSG msg{};
    TW_EVENT event{&msg, MSG_NULL};
    return ProcessEvent(event).Rc == TWRC_DSEVENT ? event.TWMessage : MSG_NULL;
}

TReply TDataSource::Dispatch(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data, bool Approximate)
{
    const TRule *rule = ruleFor(Dg, Dat, Msg);
    if (!rule)
        return Failure(TWCC_BADPROTOCOL);
    if (state_ < rule->Low || state_ > rule->High)
        return Failure(TWCC_SEQERROR);
    if (rule->NeedsData && !Data)
        return Failure(TWCC_BADVALUE);
    if (Dat == DAT_STATUS) {
        auto *status = static_cast<TW_STATUS *>(Data);
        status->ConditionCode = conditionCode_;
        status->Reserved = 0;
        return {};
    }
    return route(Dg, Dat, Msg, Data, Approximate);
}

TReply TDataSource::route(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data, bool Approximate)
{
    if (Dg == DG_IMAGE) {
        switch (Dat) {
        case DAT_IMAGEINFO: return ImageInfo(*static_cast<TW_IMAGEINFO *>(Data));
        case DAT_IMAGELAYOUT: return ImageLayout(Msg, *static_cast<TW_IMAGELAYOUT *>(Data));
        case DAT_PALETTE8: return Palette8(*static_cast<TW_PALETTE8 *>(Data));
        case DAT_IMAGENATIVEXFER: return ImageNativeXfer(*static_cast<TW_HANDLE *>(Data));
        case DAT_IMAGEMEMXFER: return ImageMemXfer(*static_cast<TW_IMAGEMEMXFER *>(Data));
        default: return ImageFileXfer();
        }
    }
    switch (Dat) {
    case DAT_CAPABILITY: return capability(Msg, *static_cast<TW_CAPABILITY *>(Data), Approximate);
    case DAT_USERINTERFACE:
        if (Msg == MSG_ENABLEDS)
            return EnableDs(*static_cast<const TW_USERINTERFACE *>(Data));
        return DisableDs();
    case DAT_EVENT: {
        auto &event = *static_cast<TW_EVENT *>(Data);
        event.TWMessage = MSG_NULL;
        // A source that is only open never claims an event.
        if (state_ < StateEnabled)
            return {TWRC_NOTDSEVENT, TWCC_SUCCESS};
        return ProcessEvent(event);
    }
    case DAT_PENDINGXFERS: return PendingXfers(Msg, *static_cast<TW_PENDINGXFERS *>(Data));
    case DAT_SETUPMEMXFER: return SetupMemXfer(*static_cast<TW_SETUPMEMXFER *>(Data));
    default: return SetupFileXfer(Msg, *static_cast<TW_SETUPFILEXFER *>(Data));
    }
}

TReply AnswerUInt16Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, const std::vector<TW_UINT16> &Items,
                              TW_UINT16 &Current, TW_UINT16 Default, bool AsOneValue)
{
    auto indexOf = [&](TW_UINT16 Value) {
        return static_cast<TW_UINT32>(std::find(Items.begin(), Items.end(), Value) - Items.begin());
    };
    if (Msg == MSG_SET) {
        const auto value = ReadOneValue(Cap, TWTY_UINT16);
        if (!value || indexOf(static_cast<TW_UINT16>(*value)) == Items.size())
            return Failure(TWCC_BADVALUE);
        Current = static_cast<TW_UINT16>(*value);
        return {};
    }
    if (Msg == MSG_RESET)
        Current = Default;

    TW_HANDLE container = nullptr;
    TW_UINT16 type = TWON_ONEVALUE;
    if (Msg == MSG_GET && !AsOneValue) {
        container = NewUInt16Enumeration(Items, indexOf(Current), indexOf(Default));
        type = TWON_ENUMERATION;
    } else {
        container = NewOneValue(TWTY_UINT16, Msg == MSG_GETDEFAULT ? Default : Current);
    }
    if (!container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = type;
    Cap.hContainer = container;
    return {};
}

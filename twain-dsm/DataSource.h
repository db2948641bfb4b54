#pragma once

// A data source as the manager sees it: an identity, a TWAIN state, and one handler
// per triplet it serves. The sequence rules every source shares (which triplet is
// allowed in which state, which ones need data) are checked here, once, so a handler
// only meets calls it may answer. The Virtual Flatbed is one implementation; real
// devices (SANE) are listed beside it.

#include "scanner/TwainTypes.h"

#include <vector>

struct TReply
{
    TW_UINT16 Rc = TWRC_SUCCESS;
    TW_UINT16 Cc = TWCC_SUCCESS;
};

inline TReply Failure(TW_UINT16 Cc)
{
    return {TWRC_FAILURE, Cc};
}

// A capability of TWTY_UINT16 values out of Items: MSG_SET takes one of them,
// MSG_GET answers the enumeration (a one-value when AsOneValue), the others the
// current or default value; MSG_RESET goes back to Default.
TReply AnswerUInt16Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, const std::vector<TW_UINT16> &Items,
                              TW_UINT16 &Current, TW_UINT16 Default, bool AsOneValue = false);

// TWAIN states of a source; a listed source that is not open counts as 3.
enum TSourceState : int {
    StateClosed = 3,
    StateOpen = 4,
    StateEnabled = 5,
    StateXferReady = 6,
    StateTransferring = 7,
};

class TDataSource
{
public:
    explicit TDataSource(const TW_IDENTITY &Identity) : identity_(Identity) {}
    virtual ~TDataSource() = default;
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    const TW_IDENTITY &Identity() const { return identity_; }
    int State() const { return state_; }
    bool IsOpen() const { return state_ >= StateOpen; }

    // MSG_OPENDS / MSG_CLOSEDS, which reach the source through the manager.
    TReply Open();
    TReply Close();

    // Every other triplet addressed to the source. Approximate asks a capability
    // set to round a value it cannot take exactly instead of refusing it.
    TReply Dispatch(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data, bool Approximate);

    // The condition code DAT_STATUS reports. The manager keeps it: it answers some
    // calls on the source's behalf (scripted faults), and reading the status must
    // leave it for the next reader.
    TW_UINT16 ConditionCode() const { return conditionCode_; }
    void SetConditionCode(TW_UINT16 Cc) { conditionCode_ = Cc; }

protected:
    void SetState(TSourceState State) { state_ = State; }

    // A device may refuse to open (busy, gone); the source then stays closed.
    virtual TReply OnOpen() = 0;
    virtual void OnClose() = 0;
    virtual TReply Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate) = 0;
    virtual TReply EnableDs(const TW_USERINTERFACE &Ui) = 0;
    virtual void DisableDs() = 0;
    virtual TReply ProcessEvent(TW_EVENT &Event) = 0;
    virtual TReply PendingXfers(TW_UINT16 Msg, TW_PENDINGXFERS &Pending) = 0;
    virtual TReply SetupMemXfer(TW_SETUPMEMXFER &Setup) = 0;
    virtual TReply SetupFileXfer(TW_UINT16 Msg, TW_SETUPFILEXFER &Setup) = 0;
    virtual TReply ImageInfo(TW_IMAGEINFO &Info) = 0;
    virtual TReply ImageLayout(TW_UINT16 Msg, TW_IMAGELAYOUT &Layout) = 0;
    virtual TReply Palette8(TW_PALETTE8 &Palette) = 0;
    virtual TReply ImageNativeXfer(TW_HANDLE &Handle) = 0;
    virtual TReply ImageMemXfer(TW_IMAGEMEMXFER &Xfer) = 0;
    virtual TReply ImageFileXfer() = 0;

private:
    TReply route(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data, bool Approximate);

    TW_IDENTITY identity_;
    int state_ = StateClosed;
    TW_UINT16 conditionCode_ = TWCC_SUCCESS;
};

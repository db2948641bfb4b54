#pragma once

// A data source as the manager sees it: an identity, a TWAIN state, the application
// that opened it, and one handler per triplet it serves. The sequence rules every
// source shares (which triplet is allowed in which state, which ones need data) are
// checked here, once, so a handler only meets calls it may answer; so are the
// capabilities every image source must answer alike. The Virtual Flatbed is one
// implementation; real devices (SANE) are listed beside it.

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
    // The application (its identity's Id) that opened the source; 0 while it is closed.
    TW_UINT32 Owner() const { return owner_; }

    // MSG_OPENDS / MSG_CLOSEDS, which reach the source through the manager. Closing
    // is taken in state 4 only, as the standard has it.
    TReply Open(TW_UINT32 Application);
    TReply Close();
    // The manager's own way out, from any state, when it must end a session that
    // left its source behind (a reset of the manager, its unloading).
    void ForceClose();

    // Every other triplet addressed to the source. Approximate asks a capability
    // set to round a value it cannot take exactly instead of refusing it.
    TReply Dispatch(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data, bool Approximate);

    // What an enabled source has to announce, asked by the manager on behalf of an
    // application that registered a callback instead of polling: MSG_NULL,
    // MSG_XFERREADY or MSG_CLOSEDSREQ. Announced once, exactly as MSG_PROCESSEVENT would.
    TW_UINT16 PollEvent();

    // TWAIN 2: the application's callback, registered in state 4; forgotten on closing.
    TW_MEMREF Callback() const { return callback_; }
    void SetCallback(TW_MEMREF Proc) { callback_ = Proc; }

    // The condition code DAT_STATUS reports. The manager keeps it: it answers some
    // calls on the source's behalf (scripted faults), and reading the status must
    // leave it for the next reader.
    TW_UINT16 ConditionCode() const { return conditionCode_; }
    void SetConditionCode(TW_UINT16 Cc) { conditionCode_ = Cc; }

protected:
    void SetState(TSourceState State) { state_ = State; }
    // Images per enable the application accepts (CAP_XFERCOUNT): -1 for any number.
    int XferCount() const { return xferCount_; }

    // A device may refuse to open (busy, gone); the source then stays closed.
    virtual TReply OnOpen() = 0;
    virtual void OnClose() = 0;
    // The source's own capabilities; the ones every source shares are answered here.
    virtual TReply Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate) = 0;
    // Which ones Capability answers: by default those of a flatbed's pixels and glass.
    virtual std::vector<TW_UINT16> OwnCapabilities() const;
    virtual TW_UINT16 CurrentPixelType() const = 0;
    virtual bool DeviceOnline() const { return true; }
    virtual TReply EnableDs(const TW_USERINTERFACE &Ui) = 0;
    // A source may disable with a condition code that tells what it had to give up.
    virtual TReply DisableDs() = 0;
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
    // SourceCapabilities.cpp: the capabilities every image source answers alike.
    TReply capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate);
    TReply sharedCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool &Answered);
    TReply querySupport(TW_CAPABILITY &Cap);

    TW_IDENTITY identity_;
    int state_ = StateClosed;
    TW_UINT32 owner_ = 0;
    TW_MEMREF callback_ = nullptr;
    int xferCount_ = -1;
    TW_UINT16 conditionCode_ = TWCC_SUCCESS;
};

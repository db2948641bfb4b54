#include "scanner/TwainSource.h"

#include "scanner/TwainManager.h"

#include <QGuiApplication>
#include <QWindow>

TTwainSource::TTwainSource(TTwainManager &Owner, int Index, uint8_t TransferMode)
    : Index(Index)
    , TransferMode(TransferMode)
    , owner_(Owner)
{
}

TTwainSource::~TTwainSource()
{
    Close();
}

TW_UINT16 TTwainSource::call(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, void *Data)
{
    return owner_.CallDsm(Record(), Dg, Dat, Msg, Data);
}

void TTwainSource::SetLoaded(bool Value)
{
    if (Value == loaded_)
        return;
    if (Value)
        Open();
    else
        Close();
}

void TTwainSource::SetEnabled(bool Value)
{
    if (!loaded_ || Value == enabled_)
        return;
    if (Value)
        EnableSource(ShowUI, ModalUI);
    else
        DisableSource();
}

bool TTwainSource::Open()
{
    if (loaded_)
        return true;
    if (owner_.CallDsm(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, Record()) != TWRC_SUCCESS)
        return false;
    ++owner_.openSourceCount_;
    loaded_ = true;
    return true;
}

void TTwainSource::endTransfers()
{
    if (!inTransfer_)
        return;
    inTransfer_ = false;
    TW_PENDINGXFERS pending{};
    const TW_UINT16 rc = call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (rc != TWRC_SUCCESS || pending.Count != 0) {
        TW_PENDINGXFERS reset{};
        call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &reset);
    }
}

bool TTwainSource::Close()
{
    if (!loaded_)
        return true;
    DisableSource();
    const bool closed =
        owner_.CallDsm(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, Record()) == TWRC_SUCCESS;
    if (closed)
        --owner_.openSourceCount_;
    loaded_ = false;
    return closed;
}

bool TTwainSource::EnableSource(bool ShowUI, bool ModalUI)
{
    if (!loaded_ || enabled_)
        return enabled_;
    TW_USERINTERFACE ui{};
    ui.ShowUI = ShowUI ? TwTrue : TwFalse;
    ui.ModalUI = ModalUI ? TwTrue : TwFalse;
    QWindow *active = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        ? QGuiApplication::focusWindow()
        : nullptr;
    ui.hParent = active ? static_cast<void *>(active) : static_cast<void *>(owner_.messageWindow_.data());
    // Started first, whatever the answer: a source that announces only when polled
    // must be polled from the moment it may start.
    owner_.pollTimer_.start();
    const TW_UINT16 rc = call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS)
        return false;
    enabled_ = true;
    return true;
}

bool TTwainSource::DisableSource()
{
    endTransfers();
    bool result = true;
    if (loaded_ && enabled_) {
        TW_USERINTERFACE ui{};
        result = call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) == TWRC_SUCCESS;
        if (result)
            owner_.raiseSourceDisable(Index);
    }
    enabled_ = false;
    owner_.pollTimer_.stop();
    return result;
}

TW_UINT16 TTwainSource::ConditionCode()
{
    if (!loaded_)
        return 0;
    TW_STATUS status{};
    call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
}

bool TTwainSource::ProcessEvent(TW_MSG &Msg)
{
    TW_EVENT event{};
    event.pEvent = &Msg;
    event.TWMessage = MSG_NULL;
    if (call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) != TWRC_DSEVENT)
        return false;
    switch (event.TWMessage) {
    case MSG_XFERREADY:
        TransferImages();
        break;
    case MSG_CLOSEDSREQ: {
        TTwainManager &manager = owner_;
        TTwainManager::TBusyScope busy(manager);
        const int index = Index;
        manager.raiseAcquireCancel(index);
        manager.raiseTransferComplete(index, true);
        DisableSource();
        manager.ResetConnection();
        break;
    }
    default:
        break;
    }
    // Nothing of this object is used from here on: a transfer or close request has
    // retired it.
    return true;
}

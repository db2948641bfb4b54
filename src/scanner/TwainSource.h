#pragma once

#include "scanner/TwainIdentity.h"
#include "scanner/TwainMemory.h"

#include <QImage>

#include <cstdint>
#include <vector>

class TTwainManager;

// The outcome of a capability or layout operation.
enum class CapResult {
    Success = 0,
    Unsupported = 1,
    BadOperation = 2,
    DependencyError = 3,
    LowMemory = 4,
    InvalidState = 5,
    InvalidContainer = 6,
};

// Image transfer mechanisms of TTwainSource::TransferMode.
inline constexpr uint8_t TransferFile = 0;
inline constexpr uint8_t TransferNative = 1;
inline constexpr uint8_t TransferMemory = 2;

// The contents of an enumeration container as read from a source.
struct TEnumCapability
{
    TW_UINT16 ItemType = 0;
    TW_UINT32 CurrentIndex = 0;
    TW_UINT32 DefaultIndex = 0;
    std::vector<QByteArray> Items; // each as many bytes as its item type holds
};

// One data source as the manager listed it. Objects are created and destroyed only
// by their manager; callers keep a source's Index across a transfer, never the object.
class TTwainSource : public TTwainIdentity
{
public:
    TTwainSource(TTwainManager &Owner, int Index, uint8_t TransferMode);
    // Closes the source (disabling it first) when it is still open.
    ~TTwainSource() override;

    int Index;
    uint8_t TransferMode;  // TransferFile, TransferNative or TransferMemory
    bool ShowUI = true;    // used by SetEnabled(true)
    bool ModalUI = true;
    TTwainManager &Owner() const { return owner_; }

    bool Loaded() const { return loaded_; }
    bool Enabled() const { return enabled_; }
    void SetLoaded(bool Value);
    void SetEnabled(bool Value);

    bool Open();
    // Called while the source is transferring (from an image handler), Close and
    // DisableSource first end the transfers as the standard wants (MSG_ENDXFER, then
    // MSG_RESET for images left), so that a source is only ever disabled in state 5
    // and closed in state 4. The sequence then ends without touching the source again.
    bool Close();
    bool EnableSource(bool ShowUI, bool ModalUI);
    bool DisableSource();
    // The source's condition code after a failed call; 0 when it is not open.
    TW_UINT16 ConditionCode();

    // Offers one window message; true when the source claimed it. A claimed
    // MSG_XFERREADY or MSG_CLOSEDSREQ ends in ResetConnection, which retires this
    // object: the caller must not touch it after a true answer.
    bool ProcessEvent(TW_MSG &Msg);
    // The whole transfer sequence, ending in ResetConnection (same rule as above).
    void TransferImages();

    // Capabilities and layout; every one answers InvalidState without a call to the
    // manager while the source is not open.
    CapResult SetCapability(TW_UINT16 Cap, TW_UINT16 ContainerType, TW_HANDLE Container);
    // Mode: 0 MSG_GET, 1 MSG_GETCURRENT, 2 MSG_GETDEFAULT, 3 MSG_RESET. The outputs
    // change only on Success; Container then owns the source's block.
    CapResult GetCapability(TW_UINT16 Cap, int Mode, TTwainMemory &Container,
                            TW_UINT16 &ContainerType);
    // Value points to as many bytes as ItemType's items hold.
    CapResult SetOneValue(TW_UINT16 Cap, TW_UINT16 ItemType, const void *Value);
    CapResult SetPixelType(TW_UINT16 PixelType);
    CapResult SetUnits(TW_UINT16 Units);
    CapResult SetXResolution(double Dpi);
    CapResult SetYResolution(double Dpi);
    CapResult SetFrame(double Left, double Top, double Right, double Bottom);
    CapResult ReadEnumCapability(TW_UINT16 Cap, int Mode, TEnumCapability &Result);
    // The current item of an enumeration of TWTY_UINT16 items (Unsupported for any
    // other item type or a current index outside the items).
    CapResult ReadCurrentUInt16(TW_UINT16 Cap, int Mode, TW_UINT16 &Value);

private:
    friend class TTwainManager;
    TW_UINT16 call(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, void *Data);
    CapResult resultOf(TW_UINT16 Rc);
    // Ends the transfer under way (states 6 and 7) and drops the images left.
    void endTransfers();

    // The transfer mechanisms; each answers a return code and, for faults of the
    // source's data that the source did not report, a condition code of our own.
    struct TStep
    {
        TW_UINT16 Rc;
        TW_UINT16 OwnFault = TWCC_SUCCESS;
    };
    TStep transferMemory(QImage &Image);
    TStep transferFile(QImage &Image);

    TTwainManager &owner_;
    bool loaded_ = false;
    bool enabled_ = false;
    bool inTransfer_ = false;   // TransferImages runs and the current image is not ended
};

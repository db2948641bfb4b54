#pragma once

// A SANE device as a TWAIN source. Capabilities and the frame go straight to the
// device's options while the source is open (state 4), so a value the device rounds
// or refuses is answered at once; what the device holds is read back and answered
// to every later question, without touching SANE while a scan runs.
//
// The scan runs on a thread of the source's own, from MSG_ENABLEDS until the image
// is complete; the application's MSG_PROCESSEVENT then announces MSG_XFERREADY. While
// the scan thread lives, the application's calls answer from what the source already
// holds and never reach the device. Stopping a scan cancels it (sane_cancel, which
// SANE allows at any time) and waits a bounded time: a device that still does not
// return is given up on, its thread closes it whenever it does, and the source goes
// on without it, reporting TWCC_CHECKDEVICEONLINE until it is opened again.

#include "DataSource.h"
#include "SaneImage.h"
#include "VirtualFlatbed.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The condition code a SANE failure is reported with.
TW_UINT16 ConditionOfSane(SANE_Status Status);

// The frame as the device holds it, in millimetres.
struct TSaneFrameMm
{
    double Left = 0;
    double Top = 0;
    double Right = 0;
    double Bottom = 0;
};

// One scan, shared by the source and its thread (SaneSource.cpp).
struct TSaneScan;

class TSaneSource : public TDataSource
{
public:
    TSaneSource(const TW_IDENTITY &Identity, std::string DeviceName, TFlatbedHost &Host);
    ~TSaneSource() override;

protected:
    TReply OnOpen() override;
    void OnClose() override;
    TReply Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate) override;
    TW_UINT16 CurrentPixelType() const override { return pixelType_; }
    bool DeviceOnline() const override { return handle_ != nullptr; }
    TReply EnableDs(const TW_USERINTERFACE &Ui) override;
    TReply DisableDs() override;
    TReply ProcessEvent(TW_EVENT &Event) override;
    TReply PendingXfers(TW_UINT16 Msg, TW_PENDINGXFERS &Pending) override;
    TReply SetupMemXfer(TW_SETUPMEMXFER &Setup) override;
    TReply SetupFileXfer(TW_UINT16 Msg, TW_SETUPFILEXFER &Setup) override;
    TReply ImageInfo(TW_IMAGEINFO &Info) override;
    TReply ImageLayout(TW_UINT16 Msg, TW_IMAGELAYOUT &Layout) override;
    TReply Palette8(TW_PALETTE8 &Palette) override;
    TReply ImageNativeXfer(TW_HANDLE &Handle) override;
    TReply ImageMemXfer(TW_IMAGEMEMXFER &Xfer) override;
    TReply ImageFileXfer() override;

private:
    // One numeric option written: how SANE took it and what it holds now.
    struct TWritten
    {
        SANE_Status Status = SANE_STATUS_INVAL;
        bool Inexact = false;
        double Now = 0;
    };

    // Options (SaneOptions.cpp); only while no scan runs.
    int optionIndex(const char *Name) const;
    const SANE_Option_Descriptor *usable(const char *Name) const;
    std::optional<double> number(const char *Name) const;
    std::optional<double> largest(const char *Name) const;
    TWritten setNumber(const char *Name, double Value);
    bool setText(const char *Name, const std::string &Value);
    double toOptionUnit(const SANE_Option_Descriptor &Option, double Mm) const;
    double fromOptionUnit(const SANE_Option_Descriptor &Option, double Value) const;
    void findPixelTypes();
    void readBack();
    TReply setPixelType(TW_UINT16 PixelType);
    TReply setResolution(double Dpi);
    TReply setFrameMm(const TSaneFrameMm &Frame);

    // Capabilities (SaneCapabilities.cpp).
    TReply resolutionCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap);
    TReply physicalCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, const char *Edge);
    double unitsPerMm() const;

    // The scan (SaneSource.cpp). stopScan answers false when the device was given up on.
    bool stopScan();
    void dropImage();
    TReply noImage();

    TFlatbedHost &host_;
    const std::string deviceName_;
    SANE_Handle handle_ = nullptr;

    // Negotiated on the TWAIN side only.
    TW_UINT16 units_ = TWUN_INCHES;
    TW_UINT16 pixelFlavor_ = TWPF_CHOCOLATE;
    TW_UINT16 xferMech_ = TWSX_NATIVE;
    std::string fileName_;

    // What the device holds, read back after every change.
    TW_UINT16 pixelType_ = TWPT_RGB;
    double dpi_ = 0;
    TSaneFrameMm frame_;
    // Found at open: the pixel types the device offers and how each is asked for.
    struct TModeChoice
    {
        TW_UINT16 PixelType;
        std::string Mode;
        int Depth;   // 0: the depth option is left alone
    };
    std::vector<TModeChoice> modes_;
    TW_UINT16 defaultPixelType_ = TWPT_RGB;
    double defaultDpi_ = 0;
    TSaneFrameMm defaultFrame_;
    double resolutionLow_ = 0;
    double resolutionHigh_ = 0;
    double resolutionStep_ = 1;
    TSaneFrameMm glassMm_;   // the largest area the device takes

    std::shared_ptr<TSaneScan> scan_;   // while a scan thread runs for this source

    bool announced_ = false;
    std::shared_ptr<const TRenderedImage> image_;
    TReply imageFailure_;
    int64_t nextRow_ = 0;        // of the memory transfer
    bool streamDone_ = false;
};

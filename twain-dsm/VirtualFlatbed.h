#pragma once

// The simulated A4 flatbed: capabilities, frame, a scan that takes its time, and the
// three transfer mechanisms. What it renders is fixed when the scan completes, so
// every image request is a plain copy of the same bytes.

#include "CardPicture.h"
#include "DataSource.h"
#include "DibImage.h"
#include "Script.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What a flatbed needs from the manager that lists it.
class TFlatbedHost
{
public:
    virtual ~TFlatbedHost() = default;
    virtual const TScript &Script() const = 0;
    // Numbers successive scans of every source, so that no two look alike.
    virtual uint32_t NextScanNumber() = 0;
    virtual void ImageRendered(std::shared_ptr<const TRenderedImage> Image) = 0;
};

// The settings an application negotiates; back to these defaults at every open.
struct TFlatbedSettings
{
    TW_UINT16 PixelType = TWPT_RGB;
    TW_UINT16 Units = TWUN_INCHES;
    TW_UINT16 PixelFlavor = TWPF_CHOCOLATE;
    // Negotiable, but every mechanism is served whatever it says: an application may
    // ask for memory or file transfers without ever setting it.
    TW_UINT16 XferMech = TWSX_NATIVE;
    double XDpi = 100;   // kept in dots per inch whatever the unit
    double YDpi = 100;
    TFrameInches Frame;
};

inline constexpr double MinDpi = 50;
inline constexpr double MaxDpi = 1200;
inline constexpr double DefaultDpi = 100;

class TVirtualFlatbed : public TDataSource
{
public:
    TVirtualFlatbed(const TW_IDENTITY &Identity, TFlatbedHost &Host) : TDataSource(Identity), host_(Host) {}

    // A scripted pixel flavour reaches a source that is already open as well.
    void SetPixelFlavor(TW_UINT16 Flavor) { settings_.PixelFlavor = Flavor; }

protected:
    TReply OnOpen() override;
    void OnClose() override;
    TReply Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate) override;
    TW_UINT16 CurrentPixelType() const override { return settings_.PixelType; }
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
    const TScript &script() const { return host_.Script(); }
    TReply resolutionCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate, double &Dpi);
    TReply physicalCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, double Inches, double Dpi);
    void fillLayout(TW_IMAGELAYOUT &Layout, const TFrameInches &Frame) const;
    TReply setFrame(const TW_FRAME &Frame);
    // The scripted answer to the request for the current image, if any; a scripted
    // cancel leaves the source transferring, as a real cancel does.
    std::optional<TScriptedAnswer> scriptedImageAnswer();
    void renderCurrentImage();
    void dropImages();
    TStripShape stripShape() const;

    TFlatbedHost &host_;
    TFlatbedSettings settings_;
    std::string fileName_;   // set by the application; empty: the scripted one
    TW_UINT16 fileFormat_ = TWFF_BMP;

    std::chrono::steady_clock::time_point enabledAt_;
    bool announced_ = false;
    int imagesLeft_ = 0;
    int imageNumber_ = 0;
    std::shared_ptr<const TRenderedImage> image_;
    int64_t nextRow_ = 0;       // of the memory transfer
    bool streamDone_ = false;
    bool extraSent_ = false;    // the broken source's strip past the end
};

#include "VirtualFlatbed.h"

#include "Containers.h"
#include "DibImage.h"

#include "scanner/Dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Resolutions count pixels per current unit, as the standard has it; with pixels as
// the unit that would be meaningless, so they are then dots per inch.
double resolutionUnitsPerInch(TW_UINT16 Units)
{
    return Units == TWUN_PIXELS ? 1.0 : UnitsPerInch(Units, 1.0);
}

TW_FIX32 fix32(double Value)
{
    return ToFix32(Value);
}

// A frame edge this close to the glass's edge is on it: values that went through
// 16.16 fixed point in centimetres land a few millionths of an inch off.
constexpr double EdgeSlack = 1e-4;

TReply answerOf(const TScriptedAnswer &Answer)
{
    return {Answer.Rc, Answer.Cc};
}

} // namespace

void TVirtualFlatbed::OnOpen()
{
    settings_ = TFlatbedSettings{};
    settings_.PixelFlavor = script().PixelFlavor;
    fileName_.clear();
    fileFormat_ = TWFF_BMP;
    announced_ = false;
    dropImages();
}

void TVirtualFlatbed::OnClose()
{
    dropImages();
}

void TVirtualFlatbed::dropImages()
{
    imagesLeft_ = 0;
    imageNumber_ = 0;
    image_.reset();
    streamOffset_ = 0;
    streamDone_ = false;
}

// ---- capabilities ----

TReply TVirtualFlatbed::Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate)
{
    switch (Cap.Cap) {
    case ICAP_PIXELTYPE:
        return enumCapability(Msg, Cap, {TWPT_BW, TWPT_GRAY, TWPT_RGB, TWPT_PALETTE}, settings_.PixelType,
                              TWPT_RGB, false);
    case ICAP_UNITS:
        return enumCapability(Msg, Cap,
                              {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS, TWUN_PIXELS},
                              settings_.Units, TWUN_INCHES, script().UnitsAsOneValue);
    case ICAP_PIXELFLAVOR:
        return enumCapability(Msg, Cap, {TWPF_CHOCOLATE, TWPF_VANILLA}, settings_.PixelFlavor, TWPF_CHOCOLATE,
                              false);
    case ICAP_XFERMECH:
        return enumCapability(Msg, Cap, {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}, settings_.XferMech, TWSX_NATIVE,
                              false);
    case ICAP_XRESOLUTION: return resolutionCapability(Msg, Cap, Approximate, settings_.XDpi);
    case ICAP_YRESOLUTION: return resolutionCapability(Msg, Cap, Approximate, settings_.YDpi);
    case ICAP_PHYSICALWIDTH: return physicalCapability(Msg, Cap, GlassWidthInches, settings_.XDpi);
    case ICAP_PHYSICALHEIGHT: return physicalCapability(Msg, Cap, GlassHeightInches, settings_.YDpi);
    default: return Failure(TWCC_CAPUNSUPPORTED);
    }
}

TReply TVirtualFlatbed::enumCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, const std::vector<TW_UINT16> &Items,
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

TReply TVirtualFlatbed::resolutionCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate, double &Dpi)
{
    const double perInch = resolutionUnitsPerInch(settings_.Units);
    if (Msg == MSG_SET) {
        const auto bits = ReadOneValue(Cap, TWTY_FIX32);
        if (!bits)
            return Failure(TWCC_BADVALUE);
        double value = Fix32Value(*bits);
        if (Approximate)
            value = std::round(value);
        double dpi = value * perInch;
        // 16.16 fixed point cannot carry 300 dpi in centimetres exactly; what lands
        // within a hundredth of a whole dpi means that whole dpi.
        if (std::abs(dpi - std::round(dpi)) < 0.01)
            dpi = std::round(dpi);
        if (Approximate)
            dpi = std::clamp(dpi, MinDpi, MaxDpi);
        if (dpi < MinDpi || dpi > MaxDpi)
            return Failure(TWCC_BADVALUE);
        Dpi = dpi;
        return {};
    }
    if (Msg == MSG_RESET)
        Dpi = DefaultDpi;

    TW_HANDLE container = nullptr;
    TW_UINT16 type = TWON_ONEVALUE;
    if (Msg == MSG_GET) {
        container = NewFix32Range(MinDpi / perInch, MaxDpi / perInch, 1.0 / perInch, DefaultDpi / perInch,
                                  Dpi / perInch);
        type = TWON_RANGE;
    } else {
        container = NewOneValue(TWTY_FIX32, Fix32Bits((Msg == MSG_GETDEFAULT ? DefaultDpi : Dpi) / perInch));
    }
    if (!container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = type;
    Cap.hContainer = container;
    return {};
}

TReply TVirtualFlatbed::physicalCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, double Inches, double Dpi)
{
    if (Msg == MSG_SET || Msg == MSG_RESET)
        return Failure(TWCC_CAPBADOPERATION);
    TW_HANDLE container = NewOneValue(TWTY_FIX32, Fix32Bits(Inches * UnitsPerInch(settings_.Units, Dpi)));
    if (!container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = TWON_ONEVALUE;
    Cap.hContainer = container;
    return {};
}

// ---- layout, information, palette ----

void TVirtualFlatbed::fillLayout(TW_IMAGELAYOUT &Layout, const TFrameInches &Frame) const
{
    const double x = UnitsPerInch(settings_.Units, settings_.XDpi);
    const double y = UnitsPerInch(settings_.Units, settings_.YDpi);
    Layout.Frame = TW_FRAME{fix32(Frame.Left * x), fix32(Frame.Top * y), fix32(Frame.Right * x),
                            fix32(Frame.Bottom * y)};
    Layout.DocumentNumber = 1;
    Layout.PageNumber = 1;
    Layout.FrameNumber = 1;
}

TReply TVirtualFlatbed::setFrame(const TW_FRAME &Frame)
{
    const double x = UnitsPerInch(settings_.Units, settings_.XDpi);
    const double y = UnitsPerInch(settings_.Units, settings_.YDpi);
    const TFrameInches asked{FromFix32(Frame.Left) / x, FromFix32(Frame.Top) / y, FromFix32(Frame.Right) / x,
                             FromFix32(Frame.Bottom) / y};
    if (!(asked.Right > asked.Left && asked.Bottom > asked.Top))
        return Failure(TWCC_BADVALUE);

    bool clipped = false;
    auto clip = [&](double Value, double Low, double High) {
        if (Value < Low - EdgeSlack || Value > High + EdgeSlack)
            clipped = true;
        return std::clamp(Value, Low, High);
    };
    const TFrameInches taken{clip(asked.Left, 0, GlassWidthInches), clip(asked.Top, 0, GlassHeightInches),
                             clip(asked.Right, 0, GlassWidthInches), clip(asked.Bottom, 0, GlassHeightInches)};
    // Nothing of it on the glass: there is nothing to clip it to.
    if (!(taken.Right > taken.Left && taken.Bottom > taken.Top))
        return Failure(TWCC_BADVALUE);
    settings_.Frame = taken;
    return clipped ? TReply{TWRC_CHECKSTATUS, TWCC_SUCCESS} : TReply{};
}

TReply TVirtualFlatbed::ImageLayout(TW_UINT16 Msg, TW_IMAGELAYOUT &Layout)
{
    switch (Msg) {
    case MSG_SET: return setFrame(Layout.Frame);
    case MSG_GETDEFAULT: fillLayout(Layout, TFrameInches{}); return {};
    case MSG_RESET: settings_.Frame = TFrameInches{}; break;
    default: break;
    }
    fillLayout(Layout, settings_.Frame);
    return {};
}

TReply TVirtualFlatbed::ImageInfo(TW_IMAGEINFO &Info)
{
    if (!image_)
        return Failure(TWCC_LOWMEMORY);
    const double perInch = resolutionUnitsPerInch(settings_.Units);
    Info = TW_IMAGEINFO{};
    Info.XResolution = fix32(image_->XDpi / perInch);
    Info.YResolution = fix32(image_->YDpi / perInch);
    Info.ImageWidth = image_->Width;
    Info.ImageLength = image_->Height;
    Info.SamplesPerPixel = image_->PixelType == TWPT_RGB ? 3 : 1;
    for (int i = 0; i < Info.SamplesPerPixel; ++i)
        Info.BitsPerSample[i] = static_cast<TW_INT16>(image_->PixelType == TWPT_BW ? 1 : 8);
    Info.BitsPerPixel = static_cast<TW_INT16>(image_->BitsPerPixel);
    Info.Planar = TwFalse;
    Info.PixelType = static_cast<TW_INT16>(image_->PixelType);
    Info.Compression = TWCP_NONE;

    switch (script().Bad) {
    case TBadOutput::InfoZero: Info.ImageWidth = 0; break;
    case TBadOutput::InfoNegative: Info.ImageLength = -5; break;
    case TBadOutput::InfoHuge:
        Info.ImageWidth = 2000000000;
        Info.ImageLength = 2000000000;
        Info.BitsPerPixel = 32;
        Info.SamplesPerPixel = 4;
        for (int i = 0; i < 4; ++i)
            Info.BitsPerSample[i] = 8;
        break;
    default: break;
    }
    return {};
}

TReply TVirtualFlatbed::Palette8(TW_PALETTE8 &Palette)
{
    const std::vector<uint8_t> &colours = CardPalette();
    Palette = TW_PALETTE8{};
    Palette.NumColors = static_cast<TW_UINT16>(colours.size() / 3);
    Palette.PaletteType = 0; // TWPA_RGB
    for (TW_UINT16 i = 0; i < Palette.NumColors; ++i)
        Palette.Colors[i] = TW_ELEMENT8{static_cast<TW_UINT8>(i), colours[3 * i], colours[3 * i + 1],
                                        colours[3 * i + 2]};
    return {};
}

// ---- enabling, the scan, pending images ----

TReply TVirtualFlatbed::EnableDs(const TW_USERINTERFACE &)
{
    // There is no user interface to show: the scan starts at once either way.
    enabledAt_ = std::chrono::steady_clock::now();
    announced_ = false;
    dropImages();
    SetState(StateEnabled);
    return {};
}

void TVirtualFlatbed::DisableDs()
{
    dropImages();
    SetState(StateOpen);
}

TReply TVirtualFlatbed::ProcessEvent(TW_EVENT &Event)
{
    const TReply notOurs{TWRC_NOTDSEVENT, TWCC_SUCCESS};
    if (State() != StateEnabled || announced_)
        return notOurs;
    // No thread scans in the background: the scan "completes" when the application
    // next offers an event after the scan time.
    if (std::chrono::steady_clock::now() - enabledAt_ < std::chrono::milliseconds(script().ScanMs))
        return notOurs;
    announced_ = true;
    if (script().AnnounceCloseRequest) {
        Event.TWMessage = MSG_CLOSEDSREQ;
        return {TWRC_DSEVENT, TWCC_SUCCESS};
    }
    imagesLeft_ = script().Pending;
    imageNumber_ = 1;
    renderCurrentImage();
    SetState(StateXferReady);
    Event.TWMessage = MSG_XFERREADY;
    return {TWRC_DSEVENT, TWCC_SUCCESS};
}

void TVirtualFlatbed::renderCurrentImage()
{
    TScanRequest request;
    request.PixelType = settings_.PixelType;
    request.PixelFlavor = settings_.PixelFlavor;
    request.XDpi = settings_.XDpi;
    request.YDpi = settings_.YDpi;
    request.Frame = settings_.Frame;
    request.ScanNumber = host_.NextScanNumber();
    image_ = RenderScan(request);
    if (image_)
        host_.ImageRendered(image_);
    streamOffset_ = 0;
    streamDone_ = false;
}

TReply TVirtualFlatbed::PendingXfers(TW_UINT16 Msg, TW_PENDINGXFERS &Pending)
{
    Pending.Reserved = 0;
    if (Msg == MSG_ENDXFER && --imagesLeft_ > 0) {
        ++imageNumber_;
        renderCurrentImage();
        SetState(StateXferReady);
    } else if (Msg != MSG_GET) {
        // The last image ended, or the application dropped the rest.
        dropImages();
        SetState(StateEnabled);
    }
    const bool transferring = State() >= StateXferReady && imagesLeft_ > 0;
    Pending.Count = !transferring ? 0 : script().PendingUnknown ? 0xFFFF : static_cast<TW_UINT16>(imagesLeft_);
    return {};
}

// ---- transfers ----

TReply TVirtualFlatbed::SetupMemXfer(TW_SETUPMEMXFER &Setup)
{
    Setup.MinBufSize = script().MinBuf;
    Setup.MaxBufSize = script().MaxBuf;
    Setup.Preferred = script().Preferred;
    return {};
}

TReply TVirtualFlatbed::SetupFileXfer(TW_UINT16 Msg, TW_SETUPFILEXFER &Setup)
{
    if (Msg == MSG_SET) {
        const std::string name(Setup.FileName, strnlen(Setup.FileName, sizeof Setup.FileName));
        // Only .bmp files can be written.
        if (name.empty() || Setup.Format != TWFF_BMP)
            return Failure(TWCC_BADVALUE);
        fileName_ = name;
        fileFormat_ = Setup.Format;
        return {};
    }
    if (Msg == MSG_RESET)
        fileName_.clear();
    const bool own = Msg != MSG_GETDEFAULT && !fileName_.empty();
    const std::string name = own ? fileName_ : script().EffectiveFileName();
    std::memset(Setup.FileName, 0, sizeof Setup.FileName);
    std::memcpy(Setup.FileName, name.data(), std::min(name.size(), sizeof Setup.FileName - 1));
    Setup.Format = own ? fileFormat_ : script().FileFormat;
    Setup.VRefNum = 0;
    return {};
}

std::optional<TScriptedAnswer> TVirtualFlatbed::scriptedImageAnswer()
{
    const auto answer = script().XferResultFor(imageNumber_);
    if (answer && answer->Rc == TWRC_CANCEL)
        SetState(StateTransferring);
    return answer;
}

TReply TVirtualFlatbed::ImageNativeXfer(TW_HANDLE &Handle)
{
    const auto scripted = scriptedImageAnswer();
    if (scripted && !scripted->RunsTheCall())
        return answerOf(*scripted);
    if (!image_)
        return Failure(TWCC_LOWMEMORY);
    const size_t size = DibByteCount(*image_);
    auto *block = static_cast<uint8_t *>(TwainAlloc(size));
    if (!block)
        return Failure(TWCC_LOWMEMORY);
    WriteDib(*image_, block);

    auto *header = reinterpret_cast<BITMAPINFOHEADER *>(block);
    switch (script().Bad) {
    case TBadOutput::NativeBiSize: header->biSize = 0x7FFFFFF0; break;
    case TBadOutput::NativeClrUsed: header->biClrUsed = 1000000; break;
    case TBadOutput::NativeBitCount: header->biBitCount = 13; break;
    case TBadOutput::NativeWidth0: header->biWidth = 0; break;
    case TBadOutput::NativeHeightNeg: header->biHeight = -1; break;
    default: break;
    }
    Handle = block;
    SetState(StateTransferring);
    return scripted ? answerOf(*scripted) : TReply{TWRC_XFERDONE, TWCC_SUCCESS};
}

TReply TVirtualFlatbed::ImageMemXfer(TW_IMAGEMEMXFER &Xfer)
{
    if (State() == StateTransferring && streamDone_)
        return Failure(TWCC_SEQERROR);
    std::optional<TScriptedAnswer> scripted;
    const bool first = State() == StateXferReady;
    if (first) {
        scripted = scriptedImageAnswer();
        if (scripted && !scripted->RunsTheCall())
            return answerOf(*scripted);
    }
    if (!image_)
        return Failure(TWCC_LOWMEMORY);
    // The buffer belongs to the application; a handle is the same address here.
    if (!Xfer.Memory.TheMem || Xfer.Memory.Length == 0 || !(Xfer.Memory.Flags & TWMF_APPOWNS))
        return Failure(TWCC_BADVALUE);
    if (first) {
        streamOffset_ = 0;
        SetState(StateTransferring);
    }

    const TRenderedImage &image = *image_;
    const size_t rowBytes = image.RowBytes;
    const size_t extra = script().Bad == TBadOutput::MemExtra ? 2 * rowBytes + 7 : 0;
    const size_t total = image.ByteCount + extra;
    const size_t count = std::min<size_t>(Xfer.Memory.Length, total - streamOffset_);
    auto *out = static_cast<uint8_t *>(TwainLock(Xfer.Memory.TheMem));
    const size_t fromImage = streamOffset_ < image.ByteCount ? std::min(count, image.ByteCount - streamOffset_) : 0;
    std::memcpy(out, image.Rows.get() + streamOffset_, fromImage);
    std::memset(out + fromImage, 0x5A, count - fromImage);
    TwainUnlock(Xfer.Memory.TheMem);

    // A strip is a stretch of the row stream: it may start and end mid-row. Rows
    // counts every row it touches, YOffset is the row it starts in.
    Xfer.Compression = TWCP_NONE;
    Xfer.BytesPerRow = static_cast<TW_UINT32>(rowBytes);
    Xfer.Columns = static_cast<TW_UINT32>(image.Width);
    Xfer.XOffset = 0;
    Xfer.YOffset = static_cast<TW_UINT32>(streamOffset_ / rowBytes);
    Xfer.Rows = static_cast<TW_UINT32>((streamOffset_ + count - 1) / rowBytes - streamOffset_ / rowBytes + 1);
    Xfer.BytesWritten = static_cast<TW_UINT32>(count);
    if (script().Bad == TBadOutput::MemBytesWritten)
        Xfer.BytesWritten = Xfer.Memory.Length + 4096;

    streamOffset_ += count;
    streamDone_ = streamOffset_ >= total;
    if (scripted)
        return answerOf(*scripted);
    return streamDone_ ? TReply{TWRC_XFERDONE, TWCC_SUCCESS} : TReply{};
}

TReply TVirtualFlatbed::ImageFileXfer()
{
    const auto scripted = scriptedImageAnswer();
    if (scripted && !scripted->RunsTheCall())
        return answerOf(*scripted);
    if (!image_)
        return Failure(TWCC_LOWMEMORY);
    const std::string name = fileName_.empty() ? script().EffectiveFileName() : fileName_;
    if (!WriteBmpFile(*image_, name))
        return Failure(TWCC_BUMMER);
    SetState(StateTransferring);
    return scripted ? answerOf(*scripted) : TReply{TWRC_XFERDONE, TWCC_SUCCESS};
}

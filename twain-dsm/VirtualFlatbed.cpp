#include "VirtualFlatbed.h"

#include "Containers.h"
#include "DibImage.h"
#include "GlassPicture.h"

#include "scanner/Dib.h"

#include <algorithm>
#include <cstring>

namespace {

TReply answerOf(const TScriptedAnswer &Answer)
{
    return {Answer.Rc, Answer.Cc};
}

} // namespace

TReply TVirtualFlatbed::OnOpen()
{
    settings_ = TFlatbedSettings{};
    settings_.PixelFlavor = script().PixelFlavor;
    fileName_.clear();
    fileFormat_ = TWFF_BMP;
    announced_ = false;
    dropImages();
    return {};
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
    nextRow_ = 0;
    streamDone_ = false;
    extraSent_ = false;
}

// ---- information about the scanned image ----

TReply TVirtualFlatbed::ImageInfo(TW_IMAGEINFO &Info)
{
    if (!image_)
        return Failure(TWCC_LOWMEMORY);
    FillImageInfo(*image_, settings_.Units, Info);

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

TReply TVirtualFlatbed::DisableDs()
{
    dropImages();
    SetState(StateOpen);
    return {};
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
    // As many images as scanned, but no more than the application takes.
    imagesLeft_ = XferCount() > 0 ? std::min(script().Pending, XferCount()) : script().Pending;
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
    image_ = RenderFlatbedScan(request);
    if (image_)
        host_.ImageRendered(image_);
    nextRow_ = 0;
    streamDone_ = false;
    extraSent_ = false;
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
    // A strip holds whole rows, so no buffer may be smaller than one.
    TW_UINT32 row = 0;
    if (image_) {
        row = StripRowBytes(*image_, stripShape());
    } else {
        const TPixelBox box = PixelBoxOf(settings_.Frame, settings_.XDpi, settings_.YDpi);
        row = StripRowBytes(BitsPerPixelOf(settings_.PixelType), box.Width, stripShape());
    }
    Setup.MinBufSize = std::max(script().MinBuf, row);
    Setup.MaxBufSize = std::max(script().MaxBuf, Setup.MinBufSize);
    Setup.Preferred = std::clamp(script().Preferred, Setup.MinBufSize, Setup.MaxBufSize);
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
    const TReply done = NativeTransfer(*image_, Handle);
    if (done.Rc != TWRC_XFERDONE)
        return done;

    auto *header = static_cast<BITMAPINFOHEADER *>(Handle);
    switch (script().Bad) {
    case TBadOutput::NativeBiSize: header->biSize = 0x7FFFFFF0; break;
    case TBadOutput::NativeClrUsed: header->biClrUsed = 1000000; break;
    case TBadOutput::NativeBitCount: header->biBitCount = 13; break;
    case TBadOutput::NativeWidth0: header->biWidth = 0; break;
    case TBadOutput::NativeHeightNeg: header->biHeight = -1; break;
    default: break;
    }
    SetState(StateTransferring);
    return scripted ? answerOf(*scripted) : done;
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
    const TBadOutput bad = script().Bad;
    if (first)
        nextRow_ = 0;

    TReply reply;
    if (nextRow_ >= image_->Height) {
        // The strip a broken source sends after the image's last row.
        reply = WriteStrip(*image_, --nextRow_, Xfer, stripShape());
        const TW_UINT32 pastEnd = image_->Height;
        Xfer.YOffset = pastEnd;
    } else {
        reply = WriteStrip(*image_, nextRow_, Xfer, stripShape());
    }
    // A buffer no row fits in is refused before the transfer begins.
    if (reply.Rc == TWRC_FAILURE)
        return reply;
    SetState(StateTransferring);
    switch (bad) {
    case TBadOutput::MemBytesWritten: Xfer.BytesWritten = Xfer.Memory.Length + 4096; break;
    case TBadOutput::MemRowBytesShort: Xfer.BytesPerRow = (Xfer.Columns * image_->BitsPerPixel + 7) / 8 - 1; break;
    case TBadOutput::MemCompressed: Xfer.Compression = 1; break; // TWCP_PACKBITS, but the rows are plain
    case TBadOutput::MemShort: reply = {TWRC_XFERDONE, TWCC_SUCCESS}; break;
    case TBadOutput::MemExtra:
        if (reply.Rc == TWRC_XFERDONE && !extraSent_) {
            extraSent_ = true;
            reply = {};
        }
        break;
    default: break;
    }
    streamDone_ = reply.Rc == TWRC_XFERDONE;
    if (scripted)
        return answerOf(*scripted);
    return reply;
}

TStripShape TVirtualFlatbed::stripShape() const
{
    TStripShape shape{script().StripRows, script().TightRows};
    // The broken source that stops early does so after the first half of the image.
    if (script().Bad == TBadOutput::MemShort && image_)
        shape.RowsPerStrip = std::max<int64_t>(1, image_->Height / 2);
    return shape;
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

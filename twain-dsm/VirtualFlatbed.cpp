#include "VirtualFlatbed.h"

#include "Containers.h"
#include "DibImage.h"

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
    streamOffset_ = 0;
    streamDone_ = false;
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

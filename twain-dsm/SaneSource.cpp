#include "SaneSource.h"

#include "Containers.h"
#include "DibImage.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace {

// Beyond this a device's parameters are not believed: no flatbed scan is that large.
constexpr size_t MaxScanBytes = size_t(1) << 31;

} // namespace

TW_UINT16 ConditionOfSane(SANE_Status Status)
{
    switch (Status) {
    case SANE_STATUS_JAMMED: return TWCC_PAPERJAM;
    case SANE_STATUS_NO_DOCS: return TWCC_OPERATIONERROR;
    case SANE_STATUS_COVER_OPEN:
    case SANE_STATUS_IO_ERROR: return TWCC_CHECKDEVICEONLINE;
    case SANE_STATUS_DEVICE_BUSY: return TWCC_MAXCONNECTIONS;
    case SANE_STATUS_NO_MEM: return TWCC_LOWMEMORY;
    case SANE_STATUS_ACCESS_DENIED: return TWCC_DENIED;
    case SANE_STATUS_INVAL: return TWCC_BADVALUE;
    default: return TWCC_BUMMER;
    }
}

TSaneSource::TSaneSource(const TW_IDENTITY &Identity, std::string DeviceName, TFlatbedHost &Host)
    : TDataSource(Identity), host_(Host), deviceName_(std::move(DeviceName))
{
}

TSaneSource::~TSaneSource()
{
    OnClose();
}

TReply TSaneSource::OnOpen()
{
    const SANE_Status status = sane_open(deviceName_.c_str(), &handle_);
    if (status != SANE_STATUS_GOOD) {
        handle_ = nullptr;
        return Failure(ConditionOfSane(status));
    }
    units_ = TWUN_INCHES;
    pixelFlavor_ = TWPF_CHOCOLATE;
    xferMech_ = TWSX_NATIVE;
    fileName_.clear();
    findPixelTypes();
    readBack();
    // The application starts from colour where the device has it, as from any source.
    const bool colour = std::any_of(modes_.begin(), modes_.end(),
                                    [](const TModeChoice &C) { return C.PixelType == TWPT_RGB; });
    if (colour)
        setPixelType(TWPT_RGB);
    defaultPixelType_ = pixelType_;
    defaultDpi_ = dpi_;
    defaultFrame_ = frame_;

    resolutionLow_ = resolutionHigh_ = dpi_;
    resolutionStep_ = 1;
    if (const SANE_Option_Descriptor *option = usable(SANE_NAME_SCAN_RESOLUTION)) {
        auto value = [&](SANE_Word Word) { return option->type == SANE_TYPE_FIXED ? SANE_UNFIX(Word) : double(Word); };
        if (option->constraint_type == SANE_CONSTRAINT_RANGE && option->constraint.range) {
            resolutionLow_ = value(option->constraint.range->min);
            resolutionHigh_ = value(option->constraint.range->max);
            if (option->constraint.range->quant > 0)
                resolutionStep_ = value(option->constraint.range->quant);
        } else if (option->constraint_type == SANE_CONSTRAINT_WORD_LIST && option->constraint.word_list) {
            const SANE_Word *list = option->constraint.word_list;
            for (SANE_Word i = 1; i <= list[0]; ++i) {
                resolutionLow_ = i == 1 ? value(list[i]) : std::min(resolutionLow_, value(list[i]));
                resolutionHigh_ = i == 1 ? value(list[i]) : std::max(resolutionHigh_, value(list[i]));
            }
        }
    }
    glassMm_ = frame_;
    glassMm_.Left = glassMm_.Top = 0;
    if (const auto right = largest(SANE_NAME_SCAN_BR_X))
        glassMm_.Right = fromOptionUnit(*usable(SANE_NAME_SCAN_BR_X), *right);
    if (const auto bottom = largest(SANE_NAME_SCAN_BR_Y))
        glassMm_.Bottom = fromOptionUnit(*usable(SANE_NAME_SCAN_BR_Y), *bottom);
    announced_ = false;
    dropImage();
    return {};
}

void TSaneSource::OnClose()
{
    stopScan();
    dropImage();
    if (handle_)
        sane_close(handle_);
    handle_ = nullptr;
}

// ---- the scan ----

void TSaneSource::scan()
{
    std::vector<TSaneFrame> frames;
    SANE_Status status = SANE_STATUS_GOOD;
    std::vector<uint8_t> buffer(64 * 1024);
    size_t total = 0;
    for (bool last = false; !last && status == SANE_STATUS_GOOD;) {
        status = sane_start(handle_);
        TSaneFrame frame;
        if (status == SANE_STATUS_GOOD)
            status = sane_get_parameters(handle_, &frame.Params);
        last = frame.Params.last_frame != SANE_FALSE;
        while (status == SANE_STATUS_GOOD) {
            if (cancel_) {
                status = SANE_STATUS_CANCELLED;
                break;
            }
            SANE_Int length = 0;
            status = sane_read(handle_, buffer.data(), static_cast<SANE_Int>(buffer.size()), &length);
            if (status == SANE_STATUS_EOF) {
                status = SANE_STATUS_GOOD;
                break;
            }
            if (status != SANE_STATUS_GOOD)
                break;
            total += size_t(std::max<SANE_Int>(length, 0));
            if (total > MaxScanBytes) {
                status = SANE_STATUS_NO_MEM;
                break;
            }
            frame.Bytes.insert(frame.Bytes.end(), buffer.begin(), buffer.begin() + std::max<SANE_Int>(length, 0));
        }
        if (status == SANE_STATUS_GOOD)
            frames.push_back(std::move(frame));
    }
    // Ends the scan whatever happened, so the device takes the next one.
    sane_cancel(handle_);

    const std::lock_guard guard(scanMutex_);
    frames_ = std::move(frames);
    scanStatus_ = status;
    scanDone_ = true;
}

void TSaneSource::stopScan()
{
    if (!scanThread_.joinable())
        return;
    cancel_ = true;
    scanThread_.join();
    cancel_ = false;
}

void TSaneSource::dropImage()
{
    image_.reset();
    imageFailure_ = {};
    streamOffset_ = 0;
    streamDone_ = false;
}

TReply TSaneSource::EnableDs(const TW_USERINTERFACE &)
{
    // There is no user interface to show: the scan starts at once either way.
    stopScan();
    dropImage();
    announced_ = false;
    {
        const std::lock_guard guard(scanMutex_);
        scanDone_ = false;
        frames_.clear();
    }
    cancel_ = false;
    try {
        scanThread_ = std::thread([this] { scan(); });
    } catch (const std::system_error &) {
        return Failure(TWCC_LOWMEMORY);
    }
    SetState(StateEnabled);
    return {};
}

void TSaneSource::DisableDs()
{
    stopScan();
    dropImage();
    SetState(StateOpen);
}

TReply TSaneSource::ProcessEvent(TW_EVENT &Event)
{
    const TReply notOurs{TWRC_NOTDSEVENT, TWCC_SUCCESS};
    if (State() != StateEnabled || announced_)
        return notOurs;
    {
        const std::lock_guard guard(scanMutex_);
        if (!scanDone_)
            return notOurs;
    }
    scanThread_.join();
    announced_ = true;

    // A failed scan is still announced: the image request then fails with its reason,
    // which is how a transfer reports what went wrong.
    if (scanStatus_ == SANE_STATUS_CANCELLED) {
        imageFailure_ = {TWRC_CANCEL, TWCC_SUCCESS};
    } else if (scanStatus_ != SANE_STATUS_GOOD) {
        imageFailure_ = Failure(ConditionOfSane(scanStatus_));
    } else {
        image_ = ImageFromSane(frames_, pixelFlavor_, dpi_, dpi_);
        if (image_)
            host_.ImageRendered(image_);
        else
            imageFailure_ = Failure(TWCC_BUMMER);
    }
    frames_.clear();
    frames_.shrink_to_fit();
    SetState(StateXferReady);
    Event.TWMessage = MSG_XFERREADY;
    return {TWRC_DSEVENT, TWCC_SUCCESS};
}

TReply TSaneSource::PendingXfers(TW_UINT16 Msg, TW_PENDINGXFERS &Pending)
{
    Pending.Reserved = 0;
    // One image per enable: a flatbed scans one glass.
    if (Msg != MSG_GET) {
        dropImage();
        SetState(StateEnabled);
    }
    Pending.Count = State() >= StateXferReady ? 1 : 0;
    return {};
}

// ---- information and transfers ----

TReply TSaneSource::ImageInfo(TW_IMAGEINFO &Info)
{
    if (!image_)
        return imageFailure_.Rc == TWRC_FAILURE ? imageFailure_ : Failure(TWCC_SEQERROR);
    FillImageInfo(*image_, units_, Info);
    return {};
}

TReply TSaneSource::SetupMemXfer(TW_SETUPMEMXFER &Setup)
{
    Setup.MinBufSize = 64;
    Setup.MaxBufSize = 4 * 1024 * 1024;
    Setup.Preferred = 64 * 1024;
    return {};
}

TReply TSaneSource::SetupFileXfer(TW_UINT16 Msg, TW_SETUPFILEXFER &Setup)
{
    if (Msg == MSG_SET) {
        const std::string name(Setup.FileName, strnlen(Setup.FileName, sizeof Setup.FileName));
        if (name.empty() || Setup.Format != TWFF_BMP)
            return Failure(TWCC_BADVALUE);
        fileName_ = name;
        return {};
    }
    if (Msg == MSG_RESET)
        fileName_.clear();
    const std::string name = Msg != MSG_GETDEFAULT && !fileName_.empty() ? fileName_ : DefaultFileName();
    std::memset(Setup.FileName, 0, sizeof Setup.FileName);
    std::memcpy(Setup.FileName, name.data(), std::min(name.size(), sizeof Setup.FileName - 1));
    Setup.Format = TWFF_BMP;
    Setup.VRefNum = 0;
    return {};
}

TReply TSaneSource::ImageNativeXfer(TW_HANDLE &Handle)
{
    if (!image_) {
        if (imageFailure_.Rc == TWRC_CANCEL)
            SetState(StateTransferring);
        return imageFailure_.Rc != TWRC_SUCCESS ? imageFailure_ : Failure(TWCC_SEQERROR);
    }
    auto *block = static_cast<uint8_t *>(TwainAlloc(DibByteCount(*image_)));
    if (!block)
        return Failure(TWCC_LOWMEMORY);
    WriteDib(*image_, block);
    Handle = block;
    SetState(StateTransferring);
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

TReply TSaneSource::ImageMemXfer(TW_IMAGEMEMXFER &Xfer)
{
    if (State() == StateTransferring && streamDone_)
        return Failure(TWCC_SEQERROR);
    if (!image_) {
        if (imageFailure_.Rc == TWRC_CANCEL)
            SetState(StateTransferring);
        return imageFailure_.Rc != TWRC_SUCCESS ? imageFailure_ : Failure(TWCC_SEQERROR);
    }
    if (!Xfer.Memory.TheMem || Xfer.Memory.Length == 0 || !(Xfer.Memory.Flags & TWMF_APPOWNS))
        return Failure(TWCC_BADVALUE);
    if (State() == StateXferReady) {
        streamOffset_ = 0;
        SetState(StateTransferring);
    }
    // A strip is a stretch of the row stream: it may start and end mid-row.
    const TRenderedImage &image = *image_;
    const size_t count = std::min<size_t>(Xfer.Memory.Length, image.ByteCount - streamOffset_);
    std::memcpy(TwainLock(Xfer.Memory.TheMem), image.Rows.get() + streamOffset_, count);
    TwainUnlock(Xfer.Memory.TheMem);
    Xfer.Compression = TWCP_NONE;
    Xfer.BytesPerRow = image.RowBytes;
    Xfer.Columns = static_cast<TW_UINT32>(image.Width);
    Xfer.XOffset = 0;
    Xfer.YOffset = static_cast<TW_UINT32>(streamOffset_ / image.RowBytes);
    Xfer.Rows = static_cast<TW_UINT32>((streamOffset_ + count - 1) / image.RowBytes - streamOffset_ / image.RowBytes + 1);
    Xfer.BytesWritten = static_cast<TW_UINT32>(count);
    streamOffset_ += count;
    streamDone_ = streamOffset_ >= image.ByteCount;
    return streamDone_ ? TReply{TWRC_XFERDONE, TWCC_SUCCESS} : TReply{};
}

TReply TSaneSource::ImageFileXfer()
{
    if (!image_) {
        if (imageFailure_.Rc == TWRC_CANCEL)
            SetState(StateTransferring);
        return imageFailure_.Rc != TWRC_SUCCESS ? imageFailure_ : Failure(TWCC_SEQERROR);
    }
    if (!WriteBmpFile(*image_, fileName_.empty() ? DefaultFileName() : fileName_))
        return Failure(TWCC_BUMMER);
    SetState(StateTransferring);
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

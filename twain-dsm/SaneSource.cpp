#include "SaneSource.h"

#include "Containers.h"
#include "DibImage.h"
#include "SaneProbe.h"

#include "scanner/Dib.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

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

// One scan on its own thread. Shared by the source and the thread, so that a thread
// the source gave up on keeps everything it uses until it returns; it never touches
// the source itself.
struct TSaneScan
{
    TSaneScan(SANE_Handle Device, TW_UINT16 Flavor, double Dpi) : Handle(Device), Flavor(Flavor), Dpi(Dpi) {}

    const SANE_Handle Handle;
    const TW_UINT16 Flavor;
    const double Dpi;
    std::atomic<bool> Cancel{false};

    std::mutex Mutex;
    std::condition_variable Finished;
    bool Done = false;
    bool Abandoned = false;   // the thread closes the device once it returns
    SANE_Status Status = SANE_STATUS_GOOD;
    TW_UINT16 Fault = TWCC_SUCCESS;   // the image data's own failure
    std::unique_ptr<TRenderedImage> Image;
};

namespace {

void runScan(const std::shared_ptr<TSaneScan> &Scan)
{
    TSaneImageBuilder builder(Scan->Flavor, Scan->Dpi, Scan->Dpi, MaxScanBytes);
    SANE_Status status = SANE_STATUS_GOOD;
    TW_UINT16 fault = TWCC_SUCCESS;
    std::vector<uint8_t> buffer(64 * 1024);
    for (bool last = false; !last && status == SANE_STATUS_GOOD && !fault;) {
        status = sane_start(Scan->Handle);
        SANE_Parameters params{};
        if (status == SANE_STATUS_GOOD)
            status = sane_get_parameters(Scan->Handle, &params);
        if (status == SANE_STATUS_GOOD)
            fault = builder.BeginFrame(params);
        last = params.last_frame != SANE_FALSE;
        while (status == SANE_STATUS_GOOD && !fault) {
            // A device that keeps answering without data is stopped here; one that
            // blocks in sane_read is stopped by the source's sane_cancel.
            if (Scan->Cancel) {
                status = SANE_STATUS_CANCELLED;
                break;
            }
            SANE_Int length = 0;
            status = sane_read(Scan->Handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &length);
            if (status == SANE_STATUS_EOF) {
                status = SANE_STATUS_GOOD;
                fault = builder.EndFrame();
                break;
            }
            if (status == SANE_STATUS_GOOD)
                fault = builder.Feed(buffer.data(), size_t(std::clamp<SANE_Int>(length, 0, SANE_Int(buffer.size()))));
        }
    }
    // Ends the scan whatever happened, so the device takes the next one.
    sane_cancel(Scan->Handle);
    std::unique_ptr<TRenderedImage> image;
    if (status == SANE_STATUS_GOOD && !fault)
        image = builder.Finish(fault);

    bool close = false;
    {
        const std::lock_guard guard(Scan->Mutex);
        Scan->Status = Scan->Cancel && status != SANE_STATUS_GOOD ? SANE_STATUS_CANCELLED : status;
        Scan->Fault = fault;
        Scan->Image = std::move(image);
        Scan->Done = true;
        close = Scan->Abandoned;
        Scan->Finished.notify_all();
    }
    if (close) {
        const std::lock_guard gate(SaneGate());
        sane_close(Scan->Handle);
    }
    --SaneScansRunning();
}

} // namespace

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
    std::unique_lock gate(SaneGate(), std::defer_lock);
    if (!gate.try_lock_for(SaneWaitBound))
        return Failure(TWCC_CHECKDEVICEONLINE);
    const SANE_Status status = sane_open(deviceName_.c_str(), &handle_);
    gate.unlock();
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
    if (!handle_)
        return;
    std::unique_lock gate(SaneGate(), std::defer_lock);
    // A gate held that long belongs to a device that does not return: rather than
    // wait with it, this one is left open until the process ends.
    if (gate.try_lock_for(SaneWaitBound))
        sane_close(handle_);
    handle_ = nullptr;
}

// ---- the scan ----

bool TSaneSource::stopScan()
{
    if (!scan_)
        return true;
    const std::shared_ptr<TSaneScan> scan = std::move(scan_);
    scan->Cancel = true;
    // Aborts a read that blocks; SANE allows it from any thread, at any time.
    sane_cancel(scan->Handle);
    std::unique_lock lock(scan->Mutex);
    if (scan->Finished.wait_for(lock, SaneWaitBound, [&] { return scan->Done; }))
        return true;
    // The device does not return: its thread closes it when it does.
    scan->Abandoned = true;
    handle_ = nullptr;
    return false;
}

void TSaneSource::dropImage()
{
    image_.reset();
    imageFailure_ = {};
    nextRow_ = 0;
    streamDone_ = false;
}

TReply TSaneSource::EnableDs(const TW_USERINTERFACE &)
{
    // A device given up on is gone until the source is opened again.
    if (!handle_)
        return Failure(TWCC_CHECKDEVICEONLINE);
    // There is no user interface to show: the scan starts at once either way.
    stopScan();
    dropImage();
    announced_ = false;
    auto scan = std::make_shared<TSaneScan>(handle_, pixelFlavor_, dpi_);
    ++SaneScansRunning();
    try {
        std::thread([scan] { runScan(scan); }).detach();
    } catch (const std::system_error &) {
        --SaneScansRunning();
        return Failure(TWCC_LOWMEMORY);
    }
    scan_ = std::move(scan);
    SetState(StateEnabled);
    return {};
}

TReply TSaneSource::DisableDs()
{
    const bool stopped = stopScan();
    dropImage();
    SetState(StateOpen);
    return {TWRC_SUCCESS, stopped ? TWCC_SUCCESS : TWCC_CHECKDEVICEONLINE};
}

TReply TSaneSource::ProcessEvent(TW_EVENT &Event)
{
    const TReply notOurs{TWRC_NOTDSEVENT, TWCC_SUCCESS};
    if (State() != StateEnabled || announced_ || !scan_)
        return notOurs;
    SANE_Status status;
    TW_UINT16 fault;
    std::unique_ptr<TRenderedImage> image;
    {
        const std::lock_guard guard(scan_->Mutex);
        if (!scan_->Done)
            return notOurs;
        status = scan_->Status;
        fault = scan_->Fault;
        image = std::move(scan_->Image);
    }
    scan_.reset();
    announced_ = true;

    // A failed scan is still announced: the image request then fails with its reason,
    // which is how a transfer reports what went wrong.
    if (status == SANE_STATUS_CANCELLED)
        imageFailure_ = {TWRC_CANCEL, TWCC_SUCCESS};
    else if (status != SANE_STATUS_GOOD)
        imageFailure_ = Failure(ConditionOfSane(status));
    else if (!image)
        imageFailure_ = Failure(fault ? fault : TWCC_BUMMER);
    else
        host_.ImageRendered(image_ = std::move(image));
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
    // A strip holds whole rows, so no buffer may be smaller than one.
    TW_UINT32 row = 0;
    if (image_) {
        row = StripRowBytes(*image_);
    } else if (handle_ && !scan_) {
        SANE_Parameters params{};
        if (sane_get_parameters(handle_, &params) == SANE_STATUS_GOOD && params.pixels_per_line > 0)
            row = TW_UINT32(DibRowBytes(BitsPerPixelOf(pixelType_), params.pixels_per_line));
    }
    Setup.MinBufSize = std::max<TW_UINT32>(64, row);
    Setup.MaxBufSize = std::max<TW_UINT32>(4 * 1024 * 1024, Setup.MinBufSize);
    Setup.Preferred = std::max<TW_UINT32>(64 * 1024, Setup.MinBufSize);
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

// The answer to an image request when the scan brought no image.
TReply TSaneSource::noImage()
{
    if (imageFailure_.Rc == TWRC_CANCEL)
        SetState(StateTransferring);
    return imageFailure_.Rc != TWRC_SUCCESS ? imageFailure_ : Failure(TWCC_SEQERROR);
}

TReply TSaneSource::ImageNativeXfer(TW_HANDLE &Handle)
{
    if (!image_)
        return noImage();
    const TReply reply = NativeTransfer(*image_, Handle);
    if (reply.Rc == TWRC_XFERDONE)
        SetState(StateTransferring);
    return reply;
}

TReply TSaneSource::ImageMemXfer(TW_IMAGEMEMXFER &Xfer)
{
    if (State() == StateTransferring && streamDone_)
        return Failure(TWCC_SEQERROR);
    if (!image_)
        return noImage();
    if (State() == StateXferReady)
        nextRow_ = 0;
    const TReply reply = WriteStrip(*image_, nextRow_, Xfer);
    if (reply.Rc == TWRC_FAILURE)
        return reply;
    SetState(StateTransferring);
    streamDone_ = reply.Rc == TWRC_XFERDONE;
    return reply;
}

TReply TSaneSource::ImageFileXfer()
{
    if (!image_)
        return noImage();
    if (!WriteBmpFile(*image_, fileName_.empty() ? DefaultFileName() : fileName_))
        return Failure(TWCC_BUMMER);
    SetState(StateTransferring);
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

#include "scanner/DibImage.h"
#include "scanner/TwainManager.h"
#include "scanner/TwainSource.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Failed image requests in a row after which a source that keeps reporting more
// pending images is given up on, so a broken source cannot hold the program forever.
constexpr int MaxFailuresInARow = 8;

} // namespace

void TTwainSource::TransferImages()
{
    // Handlers may unload the manager or reset the connection, which retires this
    // object; the scope keeps it alive until the sequence has returned.
    TTwainManager &manager = owner_;
    TTwainManager::TBusyScope busy(manager);
    const int index = Index;
    bool cancel = false;
    bool done = false;
    int failures = 0;
    inTransfer_ = true;
    while (!done) {
        TStep step{0};
        QImage image;
        TTwainMemory nativeBlock;
        switch (TransferMode) {
        case TransferNative: {
            TW_HANDLE handle = nullptr;
            step.Rc = call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
            // The block is ours only once the image is done; after any other answer
            // the handle means nothing and freeing it could free the source's memory.
            if (step.Rc == TWRC_XFERDONE) {
                nativeBlock.reset(handle);
                TImageOutcome outcome = NativeDibToImage(
                    static_cast<const uint8_t *>(TwainLock(handle)), TwainHandleSize(handle));
                TwainUnlock(handle);
                image = outcome.Image;
                step.OwnFault = outcome.Fault;
            }
            break;
        }
        case TransferMemory:
            step = transferMemory(image);
            break;
        case TransferFile:
            step = transferFile(image);
            break;
        default:
            step.Rc = 0;
            break;
        }

        if (step.Rc == TWRC_CANCEL) {
            cancel = true;
            manager.raiseAcquireCancel(index);
        } else if (step.Rc == TWRC_XFERDONE && step.OwnFault == TWCC_SUCCESS) {
            failures = 0;
            manager.raiseAcquire(index, image, cancel);
        } else if (step.OwnFault != TWCC_SUCCESS) {
            ++failures;
            manager.raiseAcquireError(index, TWRC_FAILURE, step.OwnFault);
        } else {
            ++failures;
            manager.raiseAcquireError(index, step.Rc, ConditionCode());
        }
        // The image was the handler's to copy; the source's block goes now.
        image = QImage();
        nativeBlock.reset();

        // A handler that closed or disabled the source has ended the transfers already.
        if (!inTransfer_)
            break;
        // Every image ends with MSG_ENDXFER, a cancelled one too; what is left is
        // dropped with MSG_RESET when the sequence is cancelled or keeps failing.
        TW_PENDINGXFERS pending{};
        const TW_UINT16 rc = call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        done = rc != TWRC_SUCCESS || pending.Count == 0;
        if (rc != TWRC_SUCCESS || (!done && (cancel || failures >= MaxFailuresInARow))) {
            TW_PENDINGXFERS reset{};
            done = call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &reset) == TWRC_SUCCESS || done
                   || failures >= MaxFailuresInARow;
        }
    }
    inTransfer_ = false;
    SetEnabled(false);
    manager.raiseTransferComplete(index, cancel);
    manager.ResetConnection();
    // This object is retired now: nothing below may use it.
}

TTwainSource::TStep TTwainSource::transferMemory(QImage &Image)
{
    // Preparation: what the image is, how big the source's strips are, and the
    // DIB header and colour table that describe it.
    TW_IMAGEINFO info;
    std::memset(&info, 0, sizeof info);
    TW_UINT16 rc = call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    if (rc != TWRC_SUCCESS)
        return {rc};
    const bool rgb = info.PixelType == TWPT_RGB;
    if (info.ImageWidth <= 0 || info.ImageLength <= 0
        || !(info.BitsPerPixel == 1 || info.BitsPerPixel == 8 || info.BitsPerPixel == 24)
        || rgb != (info.BitsPerPixel == 24))
        return {TWRC_FAILURE, TWCC_BADVALUE};
    const int64_t rowBytes = DibRowBytes(info.BitsPerPixel, info.ImageWidth);
    if (rowBytes > MaxImageBytes / info.ImageLength)
        return {TWRC_FAILURE, TWCC_LOWMEMORY};
    int64_t size = rowBytes * info.ImageLength;

    TW_SETUPMEMXFER setup{};
    const TW_UINT16 setupRc = call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    // Without a preferred size there is nothing to size the buffer by.
    if (setupRc != TWRC_SUCCESS)
        return {setupRc};
    if (setup.Preferred == 0)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    size = (size / setup.Preferred + 1) * int64_t(setup.Preferred);

    BITMAPINFOHEADER header;
    std::memset(&header, 0, sizeof header);
    header.biSize = sizeof header;
    header.biWidth = info.ImageWidth;
    header.biHeight = info.ImageLength;
    header.biPlanes = 1;
    header.biBitCount = uint16_t(info.BitsPerPixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(size);
    TW_UINT16 unit = TWUN_INCHES;
    if (ReadCurrentUInt16(ICAP_UNITS, 0, unit) != CapResult::Success)
        unit = TWUN_INCHES;
    header.biXPelsPerMeter = PelsPerMeter(FromFix32(info.XResolution), unit);
    header.biYPelsPerMeter = PelsPerMeter(FromFix32(info.YResolution), unit);

    QList<QRgb> table;
    switch (info.PixelType) {
    case TWPT_BW: {
        TW_UINT16 flavor = TWPF_CHOCOLATE;
        if (ReadCurrentUInt16(ICAP_PIXELFLAVOR, 0, flavor) != CapResult::Success || flavor > 1)
            flavor = TWPF_CHOCOLATE;
        table = BlackWhiteTable(flavor);
        break;
    }
    case TWPT_GRAY:
        table = GreyTable();
        break;
    case TWPT_RGB:
        break;
    default: {
        auto palette = std::make_unique<TW_PALETTE8>();
        std::memset(palette.get(), 0, sizeof(TW_PALETTE8));
        table = call(DG_IMAGE, DAT_PALETTE8, MSG_GET, palette.get()) == TWRC_SUCCESS
            ? PaletteTable(*palette)
            : GreyTable();
        break;
    }
    }
    header.biClrUsed = uint32_t(table.size());
    TStripAssembler assembler;
    if (const TW_UINT16 fault = assembler.Start(header, table, rgb))
        return {TWRC_FAILURE, fault};

    // The transfer: strips into one buffer of the source's preferred size (within
    // its bounds), each placed where its own fields say.
    rc = call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (rc != TWRC_SUCCESS)
        return {rc};
    // More than the whole image buys nothing; less than the source's minimum it refuses.
    uint64_t bufferSize = std::max<uint64_t>(setup.MinBufSize, std::min<uint64_t>(setup.Preferred, uint64_t(size)));
    if (setup.MaxBufSize >= setup.MinBufSize)
        bufferSize = std::min<uint64_t>(bufferSize, setup.MaxBufSize);
    if (bufferSize == 0)
        return {TWRC_FAILURE, TWCC_BADVALUE};
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bufferSize]);
    if (!buffer)
        return {TWRC_FAILURE, TWCC_LOWMEMORY};
    TW_IMAGEMEMXFER strip;
    do {
        // Every field the source does not fill stays "don't care", never last strip's.
        std::memset(&strip, 0xFF, sizeof strip);
        strip.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        strip.Memory.Length = TW_UINT32(bufferSize);
        strip.Memory.TheMem = buffer.get();
        strip.BytesWritten = 0;
        rc = call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        if (rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) {
            if (const TW_UINT16 fault = assembler.Place(strip, buffer.get(), size_t(bufferSize)))
                return {TWRC_FAILURE, fault};
        }
    } while (rc == TWRC_SUCCESS);
    if (rc != TWRC_XFERDONE)
        return {rc};
    // Done before every row came: a partial picture is no scan of the card.
    if (!assembler.Complete())
        return {TWRC_FAILURE, TWCC_BADVALUE};
    Image = assembler.Finish();
    return {rc};
}

TTwainSource::TStep TTwainSource::transferFile(QImage &Image)
{
    TTwainManager &manager = owner_;
    manager.raiseBeforeFile(Index);
    TW_SETUPFILEXFER setup;
    std::memset(&setup, 0, sizeof setup);
    call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup);
    const TW_UINT16 rc = call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    if (rc != TWRC_XFERDONE)
        return {rc};
    const QString fileName =
        QFile::decodeName(QByteArray(setup.FileName, qsizetype(strnlen(setup.FileName, 255))));
    manager.raiseAfterFile(Index, fileName, setup.Format);
    // The source's own file, read back so that a file transfer delivers an image too.
    QImageReader reader(fileName);
    Image = reader.read();
    if (Image.isNull())
        return {rc, TWCC_BADVALUE};
    return {rc};
}

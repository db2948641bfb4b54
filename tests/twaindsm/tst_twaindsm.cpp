#include "DsmTestBase.h"
#include "scanner/Dib.h"
#include "scanner/TwainTypes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

// The library with every scripted behaviour reset for each test.
// Public members: the table-driven tests reach them from lambdas.
class TwainDsm : public TDsmTestBase
{
public:
    void SetUp() override
    {
        LoadFlatbed("App product name");
        if (HasFatalFailure())
            return;
        tripletCount_ = reinterpret_cast<size_t (*)()>(dlsym(library_, "VfbTripletCount"));
        tripletAt_ = reinterpret_cast<int (*)(size_t, VfbTriplet *)>(dlsym(library_, "VfbTripletAt"));
        ASSERT_TRUE(tripletCount_ && tripletAt_);
        ASSERT_EQ(dlsym(library_, "_ZN4TDsm5EntryEP11TW_IDENTITYS1_jttPv"), nullptr) << "internals are exported";
    }
    // Pixel type, 300 dpi and a frame, then enable: the scan is ready at the first event.
    void scan(TW_UINT16 PixelType = TWPT_RGB, double Right = 2.5, double Bottom = 3.5)
    {
        openSource();
        ASSERT_EQ(setOne(ICAP_PIXELTYPE, TWTY_UINT16, PixelType), TWRC_SUCCESS);
        ASSERT_EQ(setFix32(ICAP_XRESOLUTION, 100), TWRC_SUCCESS);
        ASSERT_EQ(setFix32(ICAP_YRESOLUTION, 100), TWRC_SUCCESS);
        ASSERT_EQ(setFrame(0, 0, Right, Bottom), TWRC_SUCCESS);
        TW_USERINTERFACE ui{TwFalse, TwTrue, nullptr};
        ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        ASSERT_EQ(processEvent(), MSG_XFERREADY);
    }
    TW_UINT16 processEvent()
    {
        TW_MSG msg{nullptr, 0x400, 0, 0, 0, 0, 0};
        TW_EVENT event{&msg, 0xBEEF};
        const TW_UINT16 rc = toSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        EXPECT_EQ(rc == TWRC_DSEVENT, event.TWMessage != MSG_NULL);
        return event.TWMessage;
    }
    static Bytes rowsOf(const VfbImage &Image)
    {
        return Bytes(Image.Rows, Image.Rows + size_t(Image.RowBytes) * Image.Height);
    }
    // The whole image through memory strips of Size bytes, each of whole rows that
    // follow one another; the rows come back padded to RowBytes as the source holds them.
    Bytes memoryTransfer(TW_UINT32 Size, uint32_t RowBytes)
    {
        Bytes buffer(Size), rows;
        TW_IMAGEMEMXFER xfer{};
        xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, Size, buffer.data()};
        TW_UINT16 rc = TWRC_SUCCESS;
        uint32_t next = 0;
        while (rc == TWRC_SUCCESS) {
            rc = toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE)
                break;
            // Packed fields: copied out before gtest takes references to them.
            const TW_UINT32 yOffset = xfer.YOffset, count = xfer.Rows, perRow = xfer.BytesPerRow;
            const TW_UINT32 written = xfer.BytesWritten, xOffset = xfer.XOffset;
            EXPECT_EQ(yOffset, next);
            EXPECT_EQ(xOffset, 0u);
            EXPECT_EQ(written, count * perRow) << "a strip holds whole rows";
            for (TW_UINT32 r = 0; r < count; ++r) {
                rows.insert(rows.end(), buffer.begin() + r * perRow, buffer.begin() + r * perRow + std::min(perRow, RowBytes));
                rows.resize(rows.size() + RowBytes - std::min(perRow, RowBytes), 0);
            }
            next += count;
        }
        EXPECT_EQ(rc, TWRC_XFERDONE);
        return rows;
    }
    Bytes nativeTransfer()
    {
        TW_HANDLE handle = nullptr;
        EXPECT_EQ(toSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
        if (!handle)
            return {};
        BITMAPINFOHEADER header;
        std::memcpy(&header, handle, sizeof header);
        const size_t size = header.biSize + 4 * header.biClrUsed + header.biSizeImage;
        Bytes dib(static_cast<uint8_t *>(handle), static_cast<uint8_t *>(handle) + size);
        TwainFree(handle);
        return dib;
    }

    size_t (*tripletCount_)() = nullptr;
    int (*tripletAt_)(size_t, VfbTriplet *) = nullptr;
};

// The DIB's rows turned back into the source's own order: top-down, RGB.
Bytes twainRowsOfDib(const Bytes &Dib)
{
    BITMAPINFOHEADER h;
    std::memcpy(&h, Dib.data(), sizeof h);
    const size_t rowBytes = DibRowBytes(h.biBitCount, h.biWidth);
    const uint8_t *pixels = Dib.data() + h.biSize + 4 * h.biClrUsed;
    Bytes rows;
    for (int32_t y = h.biHeight - 1; y >= 0; --y) {
        const size_t at = rows.size();
        rows.insert(rows.end(), pixels + y * rowBytes, pixels + (y + 1) * rowBytes);
        if (h.biBitCount == 24)
            for (int32_t x = 0; x < h.biWidth; ++x)
                std::swap(rows[at + 3 * x], rows[at + 3 * x + 2]);
    }
    return rows;
}

} // namespace

TEST_F(TwainDsm, CallsOutOfSequenceAreRefusedAndStatusTellsWhy)
{
    enum TLevel { Closed, ManagerOpen, SourceOpen, Enabled, XferReady };
    struct TCase
    {
        const char *What;
        TLevel Level;
        bool ToSource;
        TW_UINT32 Dg;
        TW_UINT16 Dat;
        TW_UINT16 Msg;
        TW_UINT16 Cc;
    };
    const TCase cases[] = {
        {"listing before the manager opens", Closed, false, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, TWCC_SEQERROR},
        {"opening the manager twice", ManagerOpen, false, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWCC_SEQERROR},
        {"closing the manager with a source open", SourceOpen, false, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM,
         TWCC_SEQERROR},
        {"opening the source twice", SourceOpen, false, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWCC_SEQERROR},
        {"a closed source", ManagerOpen, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, TWCC_SEQERROR},
        {"disabling an open source", SourceOpen, true, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, TWCC_SEQERROR},
        {"a transfer before the scan", SourceOpen, true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWCC_SEQERROR},
        {"image info before the scan", Enabled, true, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, TWCC_SEQERROR},
        {"ending a transfer never begun", Enabled, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, TWCC_SEQERROR},
        {"a capability set while enabled", Enabled, true, DG_CONTROL, DAT_CAPABILITY, MSG_SET, TWCC_SEQERROR},
        {"a frame set while enabled", Enabled, true, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, TWCC_SEQERROR},
        {"enabling twice", Enabled, true, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWCC_SEQERROR},
        {"a triplet no source knows", SourceOpen, true, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWCC_BADPROTOCOL},
        {"closing an enabled source", Enabled, false, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWCC_SEQERROR},
        {"disabling with an image pending", XferReady, true, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
         TWCC_SEQERROR},
        {"closing with an image pending", XferReady, false, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWCC_SEQERROR},
        {"resetting mid-transfer", XferReady, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, TWCC_SEQERROR},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        TearDown();
        SetUp();
        if (c.Level >= ManagerOpen)
            openSource();
        if (c.Level == ManagerOpen) {
            ASSERT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_), TWRC_SUCCESS);
        }
        TW_USERINTERFACE ui{TwFalse, TwFalse, nullptr};
        if (c.Level >= Enabled) {
            ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        }
        if (c.Level == XferReady) {
            ASSERT_EQ(processEvent(), MSG_XFERREADY);
            if (c.Msg == MSG_RESET) // a transfer begun: state 7
                nativeTransfer();
        }
        // Room for any record the triplet could read or write.
        alignas(8) uint8_t data[1100] = {};
        std::memcpy(data, &source_, sizeof source_);
        TW_IDENTITY *dest = c.ToSource ? &source_ : nullptr;
        EXPECT_EQ(call(dest, c.Dg, c.Dat, c.Msg, data), TWRC_FAILURE);
        // A closed source's failures are the manager's to report.
        if (c.Level >= ManagerOpen) {
            EXPECT_EQ(status(c.ToSource && c.Level > ManagerOpen ? &source_ : nullptr), c.Cc);
        }
    }
}

TEST_F(TwainDsm, MisbehavingCallersGetErrorCodes)
{
    openSource();
    TW_IDENTITY stranger = source_;
    stranger.Id = 4242;
    EXPECT_EQ(entry_(nullptr, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_FAILURE);
    EXPECT_EQ(call(&stranger, DG_CONTROL, DAT_CAPABILITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(status(nullptr), TWCC_BADDEST);
    EXPECT_EQ(toSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(status(&source_), TWCC_BADVALUE);
    EXPECT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &stranger), TWRC_FAILURE);
    EXPECT_EQ(status(nullptr), TWCC_NODS);
    TW_CAPABILITY noContainer{ICAP_UNITS, TWON_ONEVALUE, nullptr};
    EXPECT_EQ(toSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &noContainer), TWRC_FAILURE);
    EXPECT_EQ(set_("no such key", "1"), -1);
    EXPECT_EQ(set_("sources", "9"), -1);
    EXPECT_EQ(set_("bad", "native_everything"), -1);
}

TEST_F(TwainDsm, ListsSourcesAndItsDefault)
{
    Set("sources", "3");
    Set("default_source", "0x1");
    openManager();
    std::vector<std::string> names;
    TW_IDENTITY id{};
    for (TW_UINT16 msg = MSG_GETFIRST; call(nullptr, DG_CONTROL, DAT_IDENTITY, msg, &id) == TWRC_SUCCESS;
         msg = MSG_GETNEXT)
        names.push_back(id.ProductName);
    EXPECT_EQ(names, (std::vector<std::string>{"Virtual Flatbed", "Virtual Flatbed 2", "Virtual Flatbed 3"}));

    TW_IDENTITY second{}, fallback{};
    call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
    call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &second);
    ASSERT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &fallback), TWRC_SUCCESS);
    EXPECT_EQ(std::memcmp(&fallback, &second, sizeof second), 0) << "the default must match its listing";

    // Opened by name alone, the source fills in its Id.
    std::strcpy(source_.ProductName, "Virtual Flatbed 3");
    ASSERT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_), TWRC_SUCCESS);
    EXPECT_EQ(source_.Id, second.Id + 1);

    Set("default_source", "-1");
    EXPECT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &fallback), TWRC_FAILURE);
    Set("sources", "0");
    EXPECT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id), TWRC_ENDOFLIST);
}

TEST_F(TwainDsm, CapabilitiesRoundTrip)
{
    openSource();
    ASSERT_EQ(setOne(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS), TWRC_SUCCESS);
    TW_CAPABILITY cap{ICAP_UNITS, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
    ASSERT_EQ(cap.ConType, TWON_ENUMERATION);
    auto *units = static_cast<TW_ENUMERATION *>(cap.hContainer);
    // Packed fields are copied out before gtest takes references to them.
    const TW_UINT16 itemType = units->ItemType;
    const TW_UINT32 numItems = units->NumItems;
    EXPECT_EQ(itemType, TWTY_UINT16);
    EXPECT_EQ(numItems, 6u);
    TW_UINT16 current;
    std::memcpy(&current, units->ItemList + 2 * units->CurrentIndex, 2);
    EXPECT_EQ(current, TWUN_CENTIMETERS);
    TwainFree(cap.hContainer);

    Set("units_container", "onevalue");
    cap = {ICAP_UNITS, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
    EXPECT_EQ(cap.ConType, TWON_ONEVALUE);
    TwainFree(cap.hContainer);

    // Resolutions count per unit: 300 dpi is 300 / 2.54 per centimetre.
    auto currentFix32 = [&](TW_UINT16 Cap) {
        TW_CAPABILITY c{Cap, TWON_DONTCARE16, nullptr};
        EXPECT_EQ(toSource(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &c), TWRC_SUCCESS);
        TW_FIX32 fix;
        std::memcpy(&fix, static_cast<uint8_t *>(c.hContainer) + 2, 4);
        TwainFree(c.hContainer);
        return FromFix32(fix);
    };
    EXPECT_EQ(setFix32(ICAP_XRESOLUTION, 300 / 2.54), TWRC_SUCCESS);
    ASSERT_EQ(setOne(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES), TWRC_SUCCESS);
    EXPECT_NEAR(currentFix32(ICAP_XRESOLUTION), 300.0, 0.001);
    EXPECT_NEAR(currentFix32(ICAP_PHYSICALWIDTH), 8.27, 0.0001);
    for (double refused : {49.0, 1200.5})
        EXPECT_EQ(setFix32(ICAP_YRESOLUTION, refused), TWRC_FAILURE) << refused;
    EXPECT_EQ(status(&source_), TWCC_BADVALUE);

    cap = {0x1101 /* ICAP_BRIGHTNESS */, TWON_DONTCARE16, nullptr};
    EXPECT_EQ(toSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
    EXPECT_EQ(status(&source_), TWCC_CAPUNSUPPORTED);
    Set("capfail 0x101 6", "1 13");
    EXPECT_EQ(setOne(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_FAILURE);
    EXPECT_EQ(status(&source_), TWCC_CAPUNSUPPORTED);
    Set("capfail 0x1118 6", "2 0");
    EXPECT_EQ(setFix32(ICAP_XRESOLUTION, 300.4), TWRC_CHECKSTATUS);
    EXPECT_EQ(currentFix32(ICAP_XRESOLUTION), 300.0) << "taken rounded";

    // A frame beyond the glass is clipped to it.
    EXPECT_EQ(setFrame(0.1, 0.1, 2.6, 3.6), TWRC_SUCCESS);
    EXPECT_EQ(setFrame(-1, 0.5, 9, 3), TWRC_CHECKSTATUS);
    TW_IMAGELAYOUT layout{};
    ASSERT_EQ(toSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
    EXPECT_EQ(FromFix32(layout.Frame.Left), 0.0);
    EXPECT_NEAR(FromFix32(layout.Frame.Right), 8.27, 0.0001);
    EXPECT_NEAR(FromFix32(layout.Frame.Top), 0.5, 0.0001);
    EXPECT_EQ(setFrame(9, 0, 10, 1), TWRC_FAILURE) << "nothing of it on the glass";
}

TEST_F(TwainDsm, ImageInfoFollowsFrameResolutionUnitsAndPixelType)
{
    // 2.5 x 3.5 inches from (0.1, 0.1) at 300 dpi, each time in another unit.
    const struct
    {
        TW_UINT16 PixelType;
        TW_INT16 Bits;
        TW_UINT16 Units;
        double PerInch;         // frame units per inch
        double ResolutionPerInch;
    } cases[] = {
        {TWPT_BW, 1, TWUN_INCHES, 1, 1},
        {TWPT_GRAY, 8, TWUN_CENTIMETERS, 2.54, 2.54},
        {TWPT_RGB, 24, TWUN_PIXELS, 300, 1},
        {TWPT_PALETTE, 8, TWUN_PICAS, 6, 6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Units);
        TearDown();
        SetUp();
        openSource();
        ASSERT_EQ(setOne(ICAP_PIXELTYPE, TWTY_UINT16, c.PixelType), TWRC_SUCCESS);
        ASSERT_EQ(setOne(ICAP_UNITS, TWTY_UINT16, c.Units), TWRC_SUCCESS);
        ASSERT_EQ(setFix32(ICAP_XRESOLUTION, 300 / c.ResolutionPerInch), TWRC_SUCCESS);
        ASSERT_EQ(setFix32(ICAP_YRESOLUTION, 300 / c.ResolutionPerInch), TWRC_SUCCESS);
        ASSERT_EQ(setFrame(0.1 * c.PerInch, 0.1 * c.PerInch, 2.6 * c.PerInch, 3.6 * c.PerInch), TWRC_SUCCESS);
        TW_USERINTERFACE ui{TwFalse, TwFalse, nullptr};
        ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        ASSERT_EQ(processEvent(), MSG_XFERREADY);
        TW_IMAGEINFO info{};
        ASSERT_EQ(toSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        EXPECT_EQ(info.ImageWidth, 750);
        EXPECT_EQ(info.ImageLength, 1050);
        EXPECT_EQ(info.BitsPerPixel, c.Bits);
        EXPECT_EQ(info.PixelType, c.PixelType);
        EXPECT_NEAR(FromFix32(info.XResolution), 300 / c.ResolutionPerInch, 0.0001);
        EXPECT_EQ(last().XResolution, 300.0);
    }
}

TEST_F(TwainDsm, TransfersHandOutTheRenderedImage)
{
    struct TCase
    {
        TW_UINT16 PixelType;
        const char *Flavor;
        TW_UINT32 Strip;   // 0: native
        const char *RowBytes = "dib";
        const char *StripRows = "0";
        int Width = 300;
    };
    const TCase cases[] = {
        {TWPT_RGB, "0", 0},    {TWPT_RGB, "0", 1000},         {TWPT_BW, "0", 0},
        {TWPT_BW, "1", 0},     {TWPT_BW, "1", 100},           {TWPT_GRAY, "0", 0},
        {TWPT_PALETTE, "0", 4096}, {TWPT_RGB, "0", 65536, "tight", "0", 251}, {TWPT_GRAY, "0", 65536, "dib", "7"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.PixelType << " flavour " << c.Flavor << " strip " << c.Strip
                                        << " " << c.RowBytes << " rows " << c.StripRows);
        TearDown();
        SetUp();
        Set("pixel_flavor", c.Flavor);
        Set("row_bytes", c.RowBytes);
        Set("strip_rows", c.StripRows);
        // 3 x 4 inches: the card and some glass.
        scan(c.PixelType, c.Width / 100.0, 4);
        const VfbImage image = last();
        ASSERT_EQ(image.Width, c.Width);
        const Bytes rows = c.Strip ? memoryTransfer(c.Strip, image.RowBytes) : twainRowsOfDib(nativeTransfer());
        EXPECT_TRUE(rows == rowsOf(image)) << "the transfer differs from the rendered image";
        EXPECT_EQ(endXfer(), 0);

        // The glass at the bottom right is light grey: white in BW whatever the flavour.
        const uint8_t *corner = image.Rows + size_t(image.RowBytes) * (image.Height - 1);
        if (c.PixelType == TWPT_BW) {
            const bool bit = corner[(image.Width - 1) / 8] & (0x80 >> ((image.Width - 1) % 8));
            EXPECT_EQ(bit, image.PixelFlavor == TWPF_CHOCOLATE);
        } else if (c.PixelType == TWPT_RGB) {
            EXPECT_EQ(corner[3 * (image.Width - 1)], 214);
        }
    }
}

TEST_F(TwainDsm, NativeDibCarriesTheColourTableOfItsFlavour)
{
    Set("pixel_flavor", "1");
    scan(TWPT_BW);
    const Bytes dib = nativeTransfer();
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biHeight, 350);
    EXPECT_EQ(h.biBitCount, 1);
    EXPECT_EQ(h.biClrUsed, 2u);
    EXPECT_EQ(h.biXPelsPerMeter, 3937);
    const uint8_t vanilla[8] = {255, 255, 255, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(dib.data() + 40, vanilla, 8), 0) << "entry 0 must be white";
}

TEST_F(TwainDsm, FileTransferWritesAReadableBmp)
{
    QTemporaryDir dir;
    const std::string name = dir.filePath("scan.bmp").toStdString();
    Set("file_name", name.c_str());
    scan();
    TW_SETUPFILEXFER setup{};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(std::string(setup.FileName), name);
    EXPECT_EQ(setup.Format, TWFF_BMP);
    ASSERT_EQ(toSource(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    const QImage bmp(QString::fromStdString(name));
    ASSERT_FALSE(bmp.isNull());
    EXPECT_EQ(bmp.width(), 250);
    EXPECT_EQ(bmp.height(), 350);
    EXPECT_EQ(bmp.pixel(0, 0), qRgb(214, 214, 214)) << "the glass shows above the card";
}

TEST_F(TwainDsm, FileTransferWritesOnlyItsOwnFile)
{
    QTemporaryDir dir;
    QFile victim(dir.filePath("victim"));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly) && victim.write("precious") == 8);
    victim.close();
    const std::string planted = dir.filePath("scan.bmp").toStdString();
    ASSERT_EQ(symlink(victim.fileName().toLocal8Bit().constData(), planted.c_str()), 0);
    Set("file_name", planted.c_str());
    scan();
    EXPECT_EQ(toSource(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
    EXPECT_EQ(victim.readAll(), "precious") << "the link was followed";
    EXPECT_EQ(endXfer(), 0);

    // Without a name of the application's, the file lives in a folder nobody else may enter.
    Set("file_name", "");
    TW_SETUPFILEXFER setup{};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
    const QFileInfo file(QString::fromLocal8Bit(setup.FileName));
    EXPECT_EQ(file.fileName(), "vellumora-vfb.bmp");
    struct stat folder{};
    ASSERT_EQ(stat(file.absolutePath().toLocal8Bit().constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(folder.st_uid, getuid());
}

TEST_F(TwainDsm, PendingCountsAndSuccessiveScansDiffer)
{
    for (const char *unknown : {"0", "1"}) {
        SCOPED_TRACE(unknown);
        TearDown();
        SetUp();
        Set("pending", "2");
        Set("pending_unknown", unknown);
        scan();
        TW_PENDINGXFERS pending{};
        ASSERT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
        EXPECT_EQ(pending.Count, *unknown == '1' ? 0xFFFF : 2);
        const Bytes first = rowsOf(last());
        nativeTransfer();
        EXPECT_EQ(endXfer(), *unknown == '1' ? 0xFFFF : 1);
        EXPECT_TRUE(rowsOf(last()) != first) << "the second scan looks like the first";
        nativeTransfer();
        EXPECT_EQ(endXfer(), 0);
        EXPECT_EQ(processEvent(), MSG_NULL) << "one scan per enable";
    }
}

TEST_F(TwainDsm, EventsComeOnceAndOnlyFromAnEnabledSource)
{
    // The scan time's default comes from the environment when it is set there.
    setenv("VELLUMORA_VFB_SCAN_MS", "3600000", 1);
    reinterpret_cast<void (*)()>(dlsym(library_, "VfbReset"))();
    unsetenv("VELLUMORA_VFB_SCAN_MS");
    openSource();
    EXPECT_EQ(processEvent(), MSG_NULL);
    TW_USERINTERFACE ui{TwFalse, TwFalse, nullptr};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(processEvent(), MSG_NULL) << "announced before its scan time";
    Set("scan_ms", "0");
    Set("event", "closereq");
    EXPECT_EQ(processEvent(), MSG_CLOSEDSREQ);
    EXPECT_EQ(processEvent(), MSG_NULL);
}

// An application that wants out in the middle of a transfer ends it first; then it
// disables, closes, and starts again for the next card.
TEST_F(TwainDsm, LeavingMidTransferTakesTheStandardsOrder)
{
    scan();
    nativeTransfer();
    EXPECT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr), TWRC_FAILURE);
    EXPECT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_), TWRC_FAILURE);
    EXPECT_EQ(call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_FAILURE);
    EXPECT_EQ(endXfer(), 0);
    EXPECT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr), TWRC_SUCCESS);
    EXPECT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_), TWRC_SUCCESS);
    EXPECT_EQ(call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr), TWRC_SUCCESS);
    scan();
}

TEST_F(TwainDsm, ScriptedFaults)
{
    struct TCase
    {
        const char *Key;
        const char *Value;
        std::function<void(TwainDsm &)> Check;
    };
    const TCase cases[] = {
        {"fail 1 3 0x401", "1 4", [](TwainDsm &t) {
             t.openManager();
             t.call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &t.source_);
             EXPECT_EQ(t.call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &t.source_), TWRC_FAILURE);
             EXPECT_EQ(t.status(nullptr), TWCC_MAXCONNECTIONS);
         }},
        {"xfer_result 1", "1 2", [](TwainDsm &t) {
             t.scan();
             TW_HANDLE handle = nullptr;
             EXPECT_EQ(t.toSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_FAILURE);
             EXPECT_EQ(t.status(&t.source_), TWCC_LOWMEMORY);
             EXPECT_EQ(t.endXfer(), 0);
         }},
        {"xfer_result 1", "3 0", [](TwainDsm &t) {
             t.scan();
             Bytes buffer(100);
             TW_IMAGEMEMXFER xfer{};
             xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, 100, buffer.data()};
             EXPECT_EQ(t.toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_CANCEL);
         }},
        {"bad", "native_bitcount", [](TwainDsm &t) {
             t.scan();
             TW_HANDLE handle = nullptr;
             ASSERT_EQ(t.toSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
             EXPECT_EQ(static_cast<BITMAPINFOHEADER *>(handle)->biBitCount, 13);
             TwainFree(handle);
         }},
        {"bad", "mem_byteswritten", [](TwainDsm &t) {
             t.scan();
             Bytes buffer(1000);
             TW_IMAGEMEMXFER xfer{};
             xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, 1000, buffer.data()};
             EXPECT_EQ(t.toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_SUCCESS);
             EXPECT_GT(TW_UINT32(xfer.BytesWritten), 1000u);
         }},
        {"bad", "mem_extra", [](TwainDsm &t) {
             t.scan();
             Bytes buffer(1 << 20);
             TW_IMAGEMEMXFER xfer{};
             xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, TW_UINT32(buffer.size()), buffer.data()};
             EXPECT_EQ(t.toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_SUCCESS) << "all rows, not done";
             EXPECT_EQ(t.toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_XFERDONE);
             EXPECT_EQ(TW_UINT32(xfer.YOffset), TW_UINT32(t.last().Height)) << "a row past the end";
         }},
        {"bad", "mem_compressed", [](TwainDsm &t) {
             t.scan();
             Bytes buffer(1 << 20);
             TW_IMAGEMEMXFER xfer{};
             xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, TW_UINT32(buffer.size()), buffer.data()};
             EXPECT_EQ(t.toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_XFERDONE);
             EXPECT_NE(TW_UINT16(xfer.Compression), TWCP_NONE);
         }},
        {"bad", "info_huge", [](TwainDsm &t) {
             t.scan();
             TW_IMAGEINFO info{};
             ASSERT_EQ(t.toSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
             EXPECT_EQ(info.ImageWidth, 2000000000);
             EXPECT_EQ(info.BitsPerPixel, 32);
         }},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.Key << " = " << c.Value);
        TearDown();
        SetUp();
        Set(c.Key, c.Value);
        c.Check(*this);
    }
}

TEST_F(TwainDsm, RecordsEveryTriplet)
{
    openSource();
    TW_CAPABILITY cap{0x7777, TWON_DONTCARE16, nullptr};
    toSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
    std::vector<std::vector<unsigned>> seen;
    for (size_t i = 0; i < tripletCount_(); ++i) {
        VfbTriplet t{};
        ASSERT_EQ(tripletAt_(i, &t), 0);
        seen.push_back({t.Dg, t.Dat, t.Msg, t.Rc, t.Cc, t.DestId});
    }
    const std::vector<std::vector<unsigned>> expected = {
        {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWRC_SUCCESS, TWCC_SUCCESS, 0},
        {DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, TWRC_SUCCESS, TWCC_SUCCESS, 0},
        {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWRC_SUCCESS, TWCC_SUCCESS, 0},
        {DG_CONTROL, DAT_CAPABILITY, MSG_GET, TWRC_FAILURE, TWCC_CAPUNSUPPORTED, source_.Id},
    };
    EXPECT_EQ(seen, expected);
    VfbTriplet t;
    EXPECT_EQ(tripletAt_(seen.size(), &t), -1);
}

#pragma once

// The TWAIN declarations a plain application needs, written from the standard
// (TWAIN 1.9, with the 2.x entry points and callback), independent of the program's
// own TWAIN layer. Records are packed on 2-byte boundaries; handles are what the
// manager's DSM_MemAllocate returns, used as the address they are on Linux.

#include <cstddef>
#include <cstdint>

namespace tw {

using UInt8 = uint8_t;
using UInt16 = uint16_t;
using UInt32 = uint32_t;
using Int16 = int16_t;
using Int32 = int32_t;
using Str32 = char[34];
using Str255 = char[256];

constexpr UInt32 DgControl = 1, DgImage = 2;
constexpr UInt32 DfDsm2 = 0x10000000, DfApp2 = 0x20000000;

enum Dat : UInt16 {
    DatNull = 0x0000, DatCapability = 0x0001, DatEvent = 0x0002, DatIdentity = 0x0003, DatParent = 0x0004,
    DatPendingXfers = 0x0005, DatSetupMemXfer = 0x0006, DatSetupFileXfer = 0x0007, DatStatus = 0x0008,
    DatUserInterface = 0x0009, DatCallback = 0x0010, DatImageInfo = 0x0101, DatImageLayout = 0x0102,
    DatImageMemXfer = 0x0103, DatImageNativeXfer = 0x0104, DatImageFileXfer = 0x0105, DatEntryPoint = 0x0403,
};

enum Msg : UInt16 {
    MsgNull = 0x0000, MsgGet = 0x0001, MsgGetCurrent = 0x0002, MsgGetDefault = 0x0003, MsgGetFirst = 0x0004,
    MsgGetNext = 0x0005, MsgSet = 0x0006, MsgReset = 0x0007, MsgQuerySupport = 0x0008, MsgXferReady = 0x0101,
    MsgCloseDsReq = 0x0102, MsgOpenDsm = 0x0301, MsgCloseDsm = 0x0302, MsgOpenDs = 0x0401, MsgCloseDs = 0x0402,
    MsgUserSelect = 0x0403, MsgDisableDs = 0x0501, MsgEnableDs = 0x0502, MsgProcessEvent = 0x0601,
    MsgEndXfer = 0x0701, MsgRegisterCallback = 0x0902,
};

enum Rc : UInt16 {
    RcSuccess = 0, RcFailure = 1, RcCheckStatus = 2, RcCancel = 3, RcDsEvent = 4, RcNotDsEvent = 5,
    RcXferDone = 6, RcEndOfList = 7,
};

enum Cc : UInt16 {
    CcSuccess = 0, CcBummer = 1, CcNoDs = 3, CcMaxConnections = 4, CcBadValue = 10, CcSeqError = 11,
    CcBadDest = 12,
};

enum Cap : UInt16 {
    CapXferCount = 0x0001, IcapCompression = 0x0100, IcapPixelType = 0x0101, IcapUnits = 0x0102,
    IcapXferMech = 0x0103, CapSupportedCaps = 0x1005, CapUiControllable = 0x100E, IcapPhysicalWidth = 0x1111,
    IcapPhysicalHeight = 0x1112, IcapXResolution = 0x1118, IcapYResolution = 0x1119, IcapBitOrder = 0x111C,
    IcapPixelFlavor = 0x111F, IcapPlanarChunky = 0x1120, IcapBitDepth = 0x112B,
};

constexpr UInt16 OnArray = 3, OnEnumeration = 4, OnOneValue = 5, OnRange = 6, OnDontCare16 = 0xFFFF;
constexpr UInt16 TyInt16 = 1, TyUInt16 = 4, TyBool = 6, TyFix32 = 7;
constexpr UInt16 PtBw = 0, PtGray = 1, PtRgb = 2;
constexpr UInt16 CpNone = 0;
constexpr UInt32 MfAppOwns = 0x1, MfPointer = 0x8;
constexpr Int32 QcGet = 0x1, QcSet = 0x2;

#pragma pack(push, 2)
struct Fix32
{
    Int16 Whole;
    UInt16 Frac;
};
struct Frame
{
    Fix32 Left, Top, Right, Bottom;
};
struct Version
{
    UInt16 MajorNum, MinorNum, Language, Country;
    Str32 Info;
};
struct Identity
{
    UInt32 Id;
    tw::Version Version;
    UInt16 ProtocolMajor, ProtocolMinor;
    UInt32 SupportedGroups;
    Str32 Manufacturer, ProductFamily, ProductName;
};
struct UserInterface
{
    UInt16 ShowUI, ModalUI;
    void *hParent;
};
struct Event
{
    void *pEvent;
    UInt16 TWMessage;
};
struct Status
{
    UInt16 ConditionCode, Reserved;
};
struct Capability
{
    UInt16 Cap, ConType;
    void *hContainer;
};
struct OneValue
{
    UInt16 ItemType;
    UInt32 Item;
};
struct Array
{
    UInt16 ItemType;
    UInt32 NumItems;
    UInt8 ItemList[1];
};
struct PendingXfers
{
    UInt16 Count;
    UInt32 Reserved;
};
struct ImageInfo
{
    Fix32 XResolution, YResolution;
    Int32 ImageWidth, ImageLength;
    Int16 SamplesPerPixel, BitsPerSample[8], BitsPerPixel;
    UInt16 Planar;
    Int16 PixelType;
    UInt16 Compression;
};
struct ImageLayout
{
    tw::Frame Frame;
    UInt32 DocumentNumber, PageNumber, FrameNumber;
};
struct SetupMemXfer
{
    UInt32 MinBufSize, MaxBufSize, Preferred;
};
struct Memory
{
    UInt32 Flags, Length;
    void *TheMem;
};
struct ImageMemXfer
{
    UInt16 Compression;
    UInt32 BytesPerRow, Columns, Rows, XOffset, YOffset, BytesWritten;
    tw::Memory Memory;
};
struct SetupFileXfer
{
    Str255 FileName;
    UInt16 Format;
    Int16 VRefNum;
};

using EntryProc = UInt16 (*)(Identity *, Identity *, UInt32, UInt16, UInt16, void *);
struct EntryPoint
{
    UInt32 Size;
    EntryProc DSM_Entry;
    void *(*DSM_MemAllocate)(UInt32);
    void (*DSM_MemFree)(void *);
    void *(*DSM_MemLock)(void *);
    void (*DSM_MemUnlock)(void *);
};
struct Callback
{
    void *CallBackProc;
    UInt32 RefCon;
    Int16 Message;
};
#pragma pack(pop)

static_assert(sizeof(Identity) == 156 && sizeof(ImageInfo) == 42 && sizeof(ImageLayout) == 28);
static_assert(offsetof(ImageMemXfer, Memory) == 26 && sizeof(EntryPoint) == 44);

// The bitmap header a native transfer's block begins with.
#pragma pack(push, 2)
struct BitmapInfoHeader
{
    UInt32 biSize;
    Int32 biWidth, biHeight;
    UInt16 biPlanes, biBitCount;
    UInt32 biCompression, biSizeImage;
    Int32 biXPelsPerMeter, biYPelsPerMeter;
    UInt32 biClrUsed, biClrImportant;
};
#pragma pack(pop)

inline Fix32 ToFix32(double Value)
{
    const auto n = static_cast<Int32>(Value * 65536.0 + (Value < 0 ? -0.5 : 0.5));
    return Fix32{static_cast<Int16>(n >> 16), static_cast<UInt16>(n & 0xFFFF)};
}

} // namespace tw

#include "scanner/TwainManager.h"
#include "scanner/TwainSource.h"

#include <algorithm>
#include <cstring>

CapResult TTwainSource::resultOf(TW_UINT16 Rc)
{
    if (Rc == TWRC_SUCCESS)
        return CapResult::Success;
    switch (ConditionCode()) {
    case TWCC_CAPUNSUPPORTED: return CapResult::Unsupported;
    case TWCC_CAPSEQERROR: return CapResult::DependencyError;
    case TWCC_LOWMEMORY: return CapResult::LowMemory;
    case TWCC_SEQERROR: return CapResult::InvalidState;
    default: return CapResult::BadOperation;
    }
}

CapResult TTwainSource::SetCapability(TW_UINT16 Cap, TW_UINT16 ContainerType, TW_HANDLE Container)
{
    if (!loaded_)
        return CapResult::InvalidState;
    TW_CAPABILITY capability{Cap, ContainerType, Container};
    return resultOf(call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability));
}

CapResult TTwainSource::GetCapability(TW_UINT16 Cap, int Mode, TTwainMemory &Container,
                                      TW_UINT16 &ContainerType)
{
    static constexpr TW_UINT16 messages[] = {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET};
    if (!loaded_)
        return CapResult::InvalidState;
    if (Mode < 0 || Mode > 3)
        return CapResult::BadOperation;
    TW_CAPABILITY capability{Cap, TWON_DONTCARE16, nullptr};
    const TW_UINT16 rc = call(DG_CONTROL, DAT_CAPABILITY, messages[Mode], &capability);
    // Whatever the answer, a block the source handed back is ours to free.
    TTwainMemory block(capability.hContainer);
    const CapResult result = resultOf(rc);
    if (result == CapResult::Success) {
        Container = std::move(block);
        ContainerType = capability.ConType;
    }
    return result;
}

CapResult TTwainSource::SetOneValue(TW_UINT16 Cap, TW_UINT16 ItemType, const void *Value)
{
    if (!loaded_)
        return CapResult::InvalidState;
    const size_t size = TwainItemSize(ItemType);
    TTwainMemory block(TwainAlloc(2 + std::max<size_t>(size, 4)));
    if (!block)
        return CapResult::LowMemory;
    auto *bytes = static_cast<uint8_t *>(TwainLock(block.get()));
    std::memcpy(bytes, &ItemType, 2);
    if (size && Value)
        std::memcpy(bytes + 2, Value, size);
    TwainUnlock(block.get());
    return SetCapability(Cap, TWON_ONEVALUE, block.get());
}

CapResult TTwainSource::SetPixelType(TW_UINT16 PixelType)
{
    return SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, &PixelType);
}

CapResult TTwainSource::SetUnits(TW_UINT16 Units)
{
    return SetOneValue(ICAP_UNITS, TWTY_UINT16, &Units);
}

CapResult TTwainSource::SetXResolution(double Dpi)
{
    const TW_FIX32 value = ToFix32(Dpi);
    return SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, &value);
}

CapResult TTwainSource::SetYResolution(double Dpi)
{
    const TW_FIX32 value = ToFix32(Dpi);
    return SetOneValue(ICAP_YRESOLUTION, TWTY_FIX32, &value);
}

CapResult TTwainSource::SetFrame(double Left, double Top, double Right, double Bottom)
{
    if (!loaded_)
        return CapResult::InvalidState;
    TW_IMAGELAYOUT layout;
    std::memset(&layout, 0, sizeof layout);
    layout.Frame = {ToFix32(Left), ToFix32(Top), ToFix32(Right), ToFix32(Bottom)};
    return resultOf(call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout));
}

CapResult TTwainSource::ReadEnumCapability(TW_UINT16 Cap, int Mode, TEnumCapability &Result)
{
    TTwainMemory block;
    TW_UINT16 type = 0;
    const CapResult result = GetCapability(Cap, Mode, block, type);
    if (result != CapResult::Success)
        return result;
    // The block's real size bounds every read: a count that claims more items than
    // the source handed over is a broken container, not a licence to read on.
    const size_t blockSize = TwainHandleSize(block.get());
    constexpr size_t headerSize = offsetof(TW_ENUMERATION, ItemList);
    if (type != TWON_ENUMERATION || blockSize < headerSize)
        return CapResult::InvalidContainer;
    const auto *bytes = static_cast<const uint8_t *>(TwainLock(block.get()));
    TW_ENUMERATION header;
    std::memcpy(&header, bytes, headerSize);
    const size_t itemSize = TwainItemSize(header.ItemType);
    if (itemSize && header.NumItems > (blockSize - headerSize) / itemSize)
        return CapResult::InvalidContainer;
    TEnumCapability read;
    read.ItemType = header.ItemType;
    read.CurrentIndex = header.CurrentIndex;
    read.DefaultIndex = header.DefaultIndex;
    if (itemSize) {
        read.Items.reserve(header.NumItems);
        for (TW_UINT32 i = 0; i < header.NumItems; ++i)
            read.Items.emplace_back(reinterpret_cast<const char *>(bytes + headerSize + i * itemSize),
                                    qsizetype(itemSize));
    }
    TwainUnlock(block.get());
    Result = std::move(read);
    return CapResult::Success;
}

CapResult TTwainSource::ReadCurrentUInt16(TW_UINT16 Cap, int Mode, TW_UINT16 &Value)
{
    TEnumCapability read;
    const CapResult result = ReadEnumCapability(Cap, Mode, read);
    if (result != CapResult::Success)
        return result;
    if (read.ItemType != TWTY_UINT16 || read.CurrentIndex >= read.Items.size())
        return CapResult::Unsupported;
    std::memcpy(&Value, read.Items[read.CurrentIndex].constData(), sizeof Value);
    return CapResult::Success;
}

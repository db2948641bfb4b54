#include "Containers.h"

#include <cstring>

TW_UINT32 Fix32Bits(double Value)
{
    const TW_FIX32 fix = ToFix32(Value);
    TW_UINT32 bits = 0;
    std::memcpy(&bits, &fix, sizeof bits);
    return bits;
}

double Fix32Value(TW_UINT32 Bits)
{
    TW_FIX32 fix;
    std::memcpy(&fix, &Bits, sizeof fix);
    return FromFix32(fix);
}

TW_HANDLE NewOneValue(TW_UINT16 ItemType, TW_UINT32 Item)
{
    auto *one = static_cast<TW_ONEVALUE *>(TwainAlloc(sizeof(TW_ONEVALUE)));
    if (!one)
        return nullptr;
    one->ItemType = ItemType;
    // A short item sits in the first bytes of Item (little-endian), as the standard's
    // containers lay it out; the bytes after it stay zero.
    const size_t size = TwainItemSize(ItemType);
    one->Item = size == 1 ? (Item & 0xFF) : size == 2 ? (Item & 0xFFFF) : Item;
    return one;
}

namespace {

// A container of UINT16 items: Head's fields before ItemList, then the items.
template <typename Head>
TW_HANDLE newUInt16List(Head Fields, const std::vector<TW_UINT16> &Items)
{
    constexpr size_t headSize = offsetof(Head, ItemList);
    auto *block = static_cast<TW_UINT8 *>(TwainAlloc(headSize + Items.size() * sizeof(TW_UINT16)));
    if (!block)
        return nullptr;
    Fields.ItemType = TWTY_UINT16;
    Fields.NumItems = static_cast<TW_UINT32>(Items.size());
    std::memcpy(block, &Fields, headSize);
    std::memcpy(block + headSize, Items.data(), Items.size() * sizeof(TW_UINT16));
    return block;
}

} // namespace

TW_HANDLE NewUInt16Enumeration(const std::vector<TW_UINT16> &Items, TW_UINT32 Current, TW_UINT32 Default)
{
    TW_ENUMERATION head{};
    head.CurrentIndex = Current;
    head.DefaultIndex = Default;
    return newUInt16List(head, Items);
}

TW_HANDLE NewFix32Range(double Min, double Max, double Step, double Default, double Current)
{
    auto *range = static_cast<TW_RANGE *>(TwainAlloc(sizeof(TW_RANGE)));
    if (!range)
        return nullptr;
    range->ItemType = TWTY_FIX32;
    range->MinValue = Fix32Bits(Min);
    range->MaxValue = Fix32Bits(Max);
    range->StepSize = Fix32Bits(Step);
    range->DefaultValue = Fix32Bits(Default);
    range->CurrentValue = Fix32Bits(Current);
    return range;
}

TW_HANDLE NewUInt16Array(const std::vector<TW_UINT16> &Items)
{
    return newUInt16List(TW_ARRAY{}, Items);
}

std::optional<TW_UINT32> ReadOneValue(const TW_CAPABILITY &Cap, TW_UINT16 ItemType)
{
    if (Cap.ConType != TWON_ONEVALUE || !Cap.hContainer)
        return std::nullopt;
    const auto *bytes = static_cast<const TW_UINT8 *>(TwainLock(Cap.hContainer));
    TW_UINT16 type = 0;
    std::memcpy(&type, bytes, sizeof type);
    std::optional<TW_UINT32> item;
    if (type == ItemType) {
        switch (TwainItemSize(ItemType)) {
        case 1: item = ItemType == TWTY_INT8 ? TW_UINT32(TW_INT32(TW_INT8(bytes[2]))) : bytes[2]; break;
        case 2: {
            TW_UINT16 value = 0;
            std::memcpy(&value, bytes + 2, sizeof value);
            item = ItemType == TWTY_INT16 ? TW_UINT32(TW_INT32(TW_INT16(value))) : value;
            break;
        }
        default: {
            TW_UINT32 value = 0;
            std::memcpy(&value, bytes + 2, sizeof value);
            item = value;
            break;
        }
        }
    }
    TwainUnlock(Cap.hContainer);
    return item;
}

double UnitsPerInch(TW_UINT16 Units, double Dpi)
{
    switch (Units) {
    case TWUN_CENTIMETERS: return 2.54;
    case TWUN_PICAS: return 6.0;
    case TWUN_POINTS: return 72.0;
    case TWUN_TWIPS: return 1440.0;
    case TWUN_PIXELS: return Dpi;
    default: return 1.0;
    }
}

double ResolutionUnitsPerInch(TW_UINT16 Units)
{
    return Units == TWUN_PIXELS ? 1.0 : UnitsPerInch(Units, 1.0);
}

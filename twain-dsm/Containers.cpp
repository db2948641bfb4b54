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

TW_HANDLE NewUInt16Enumeration(const std::vector<TW_UINT16> &Items, TW_UINT32 Current, TW_UINT32 Default)
{
    const size_t size = offsetof(TW_ENUMERATION, ItemList) + Items.size() * sizeof(TW_UINT16);
    auto *block = static_cast<TW_UINT8 *>(TwainAlloc(size));
    if (!block)
        return nullptr;
    TW_ENUMERATION head{};
    head.ItemType = TWTY_UINT16;
    head.NumItems = static_cast<TW_UINT32>(Items.size());
    head.CurrentIndex = Current;
    head.DefaultIndex = Default;
    std::memcpy(block, &head, offsetof(TW_ENUMERATION, ItemList));
    std::memcpy(block + offsetof(TW_ENUMERATION, ItemList), Items.data(), Items.size() * sizeof(TW_UINT16));
    return block;
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
    const size_t size = offsetof(TW_ARRAY, ItemList) + Items.size() * sizeof(TW_UINT16);
    auto *block = static_cast<TW_UINT8 *>(TwainAlloc(size));
    if (!block)
        return nullptr;
    TW_ARRAY head{};
    head.ItemType = TWTY_UINT16;
    head.NumItems = static_cast<TW_UINT32>(Items.size());
    std::memcpy(block, &head, offsetof(TW_ARRAY, ItemList));
    std::memcpy(block + offsetof(TW_ARRAY, ItemList), Items.data(), Items.size() * sizeof(TW_UINT16));
    return block;
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

#pragma once

// Capability containers as a source hands them out: TwainAlloc blocks the caller
// frees with TwainFree. Also the unit arithmetic the capabilities and the frame share.

#include "scanner/TwainTypes.h"

#include <cstdint>
#include <optional>
#include <vector>

#pragma pack(push, 2)
// TWAIN 1.9's range container; the application side never reads one, so it lives here.
struct TW_RANGE
{
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
};
#pragma pack(pop)
static_assert(sizeof(TW_RANGE) == 22);

TW_UINT32 Fix32Bits(double Value);
double Fix32Value(TW_UINT32 Bits);

// Each returns null when the block cannot be had.
TW_HANDLE NewOneValue(TW_UINT16 ItemType, TW_UINT32 Item);
TW_HANDLE NewUInt16Enumeration(const std::vector<TW_UINT16> &Items, TW_UINT32 Current, TW_UINT32 Default);
TW_HANDLE NewFix32Range(double Min, double Max, double Step, double Default, double Current);
TW_HANDLE NewUInt16Array(const std::vector<TW_UINT16> &Items);

// The item of a TW_ONEVALUE the caller sent, when its container and item type are
// the ones asked for. An item is read from its own bytes only (two for a UINT16), as
// a caller that sized the block by item writes only those; signed items are returned
// sign-extended.
std::optional<TW_UINT32> ReadOneValue(const TW_CAPABILITY &Cap, TW_UINT16 ItemType);

// How many of a unit make an inch; pixels count at the given resolution.
double UnitsPerInch(TW_UINT16 Units, double Dpi);
// Resolutions count pixels per current unit, as the standard has it; with pixels as
// the unit that would be meaningless, so they are then dots per inch.
double ResolutionUnitsPerInch(TW_UINT16 Units);

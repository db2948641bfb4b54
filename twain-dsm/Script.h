#pragma once

// What tests and demos asked the simulated sources to do (VfbSet): the behaviours
// the manager and its flatbeds read on every call. Plain data, parsed from the
// key/value pairs of DsmControl.h; nothing here talks TWAIN.

#include "scanner/TwainTypes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>

// A scripted answer: the return code and condition code a call gives back.
struct TScriptedAnswer
{
    TW_UINT16 Rc = TWRC_SUCCESS;
    TW_UINT16 Cc = TWCC_SUCCESS;

    // Answers that still let the call do its work (and only change what it reports):
    // a test scripting TWRC_CHECKSTATUS on an enable wants the source enabled.
    bool RunsTheCall() const
    {
        return Rc == TWRC_SUCCESS || Rc == TWRC_CHECKSTATUS || Rc == TWRC_XFERDONE;
    }
};

// Broken outputs a misbehaving source can be asked to produce.
enum class TBadOutput {
    None,
    NativeBiSize,
    NativeClrUsed,
    NativeBitCount,
    NativeWidth0,
    NativeHeightNeg,
    MemBytesWritten,
    MemExtra,
    MemRowBytesShort,
    MemCompressed,
    MemShort,
    InfoZero,
    InfoNegative,
    InfoHuge,
};

inline constexpr int MaxSources = 8;

struct TScript
{
    int Sources = 1;
    int DefaultSource = 0;
    bool UnitsAsOneValue = false;
    TW_UINT16 PixelFlavor = TWPF_CHOCOLATE;
    int Pending = 1;
    bool PendingUnknown = false;
    bool AnnounceCloseRequest = false;
    int64_t ScanMs = 800;
    TW_UINT32 Preferred = 65536;
    TW_UINT32 MinBuf = 64;
    TW_UINT32 MaxBuf = 4 * 1024 * 1024;
    int64_t StripRows = 0;   // 0: as many whole rows as fit
    bool TightRows = false;
    std::string FileName;   // empty: DefaultFileName()
    TW_UINT16 FileFormat = TWFF_BMP;
    TBadOutput Bad = TBadOutput::None;

    std::map<std::tuple<TW_UINT32, TW_UINT16, TW_UINT16>, TScriptedAnswer> Fails;
    std::map<std::pair<TW_UINT16, TW_UINT16>, TScriptedAnswer> CapFails;
    std::map<int, TScriptedAnswer> XferResults;

    // Defaults, with the scan time taken from VELLUMORA_VFB_SCAN_MS when it is set.
    static TScript Defaults();

    // Applies one VfbSet pair; false (and nothing changed) for an unknown key or
    // a value that does not read.
    bool Set(const std::string &Key, const std::string &Value);

    std::optional<TScriptedAnswer> FailFor(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg) const;
    std::optional<TScriptedAnswer> CapFailFor(TW_UINT16 Cap, TW_UINT16 Msg) const;
    std::optional<TScriptedAnswer> XferResultFor(int Image) const;

    std::string EffectiveFileName() const;
};

// "vellumora-vfb.bmp" in a folder of this process's own, made (mode 0700) in the
// temporary folder (TMPDIR, else /tmp) when first asked for and removed at exit, so
// nobody else can plant a file or a link under that name. Empty when no folder could
// be made.
std::string DefaultFileName();

// Integers as DsmControl.h allows them: decimal, or hexadecimal after 0x.
std::optional<int64_t> ParseScriptNumber(const std::string &Text);

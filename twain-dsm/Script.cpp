#include "Script.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> words(const std::string &Text)
{
    std::istringstream in(Text);
    std::vector<std::string> result;
    for (std::string word; in >> word;)
        result.push_back(word);
    return result;
}

std::optional<int64_t> numberIn(const std::string &Text, int64_t Low, int64_t High)
{
    const auto n = ParseScriptNumber(Text);
    if (!n || *n < Low || *n > High)
        return std::nullopt;
    return n;
}

std::optional<TScriptedAnswer> answerOf(const std::string &Value)
{
    const auto parts = words(Value);
    if (parts.size() != 2)
        return std::nullopt;
    const auto rc = numberIn(parts[0], 0, 0xFFFF);
    const auto cc = numberIn(parts[1], 0, 0xFFFF);
    if (!rc || !cc)
        return std::nullopt;
    return TScriptedAnswer{static_cast<TW_UINT16>(*rc), static_cast<TW_UINT16>(*cc)};
}

// Sets or (with an empty value) removes one entry of a table of scripted answers.
template<typename Map, typename Key>
bool setAnswer(Map &Table, const Key &Where, const std::string &Value)
{
    if (words(Value).empty()) {
        Table.erase(Where);
        return true;
    }
    const auto answer = answerOf(Value);
    if (!answer)
        return false;
    Table[Where] = *answer;
    return true;
}

std::optional<TBadOutput> badOutputNamed(const std::string &Name)
{
    static const std::pair<const char *, TBadOutput> names[] = {
        {"", TBadOutput::None},
        {"native_bisize", TBadOutput::NativeBiSize},
        {"native_clrused", TBadOutput::NativeClrUsed},
        {"native_bitcount", TBadOutput::NativeBitCount},
        {"native_width0", TBadOutput::NativeWidth0},
        {"native_height_neg", TBadOutput::NativeHeightNeg},
        {"mem_byteswritten", TBadOutput::MemBytesWritten},
        {"mem_extra", TBadOutput::MemExtra},
        {"mem_rowbytes_short", TBadOutput::MemRowBytesShort},
        {"mem_compressed", TBadOutput::MemCompressed},
        {"mem_short", TBadOutput::MemShort},
        {"info_zero", TBadOutput::InfoZero},
        {"info_negative", TBadOutput::InfoNegative},
        {"info_huge", TBadOutput::InfoHuge},
    };
    for (const auto &[name, bad] : names)
        if (Name == name)
            return bad;
    return std::nullopt;
}

} // namespace

std::optional<int64_t> ParseScriptNumber(const std::string &Text)
{
    if (Text.empty())
        return std::nullopt;
    const bool hex = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
    const char *begin = Text.c_str() + (hex ? 2 : 0);
    if (*begin == ' ' || *begin == '+' || (hex && *begin == '-'))
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const long long n = std::strtoll(begin, &end, hex ? 16 : 10);
    if (errno != 0 || end == begin || *end != '\0')
        return std::nullopt;
    return n;
}

namespace {

// The private folder, made once; removed with whatever is in it when the process ends.
class TPrivateFolder
{
public:
    TPrivateFolder()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp && *tmp) ? tmp : "/tmp";
        if (pattern.back() != '/')
            pattern += '/';
        pattern += "vellumora-vfb-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()))
            path_ = name.data();
    }
    ~TPrivateFolder()
    {
        if (path_.empty())
            return;
        unlink(FileName().c_str());
        rmdir(path_.c_str());
    }
    std::string FileName() const { return path_.empty() ? std::string() : path_ + "/vellumora-vfb.bmp"; }

private:
    std::string path_;
};

} // namespace

std::string DefaultFileName()
{
    static const TPrivateFolder folder;
    return folder.FileName();
}

TScript TScript::Defaults()
{
    TScript script;
    if (const char *env = std::getenv("VELLUMORA_VFB_SCAN_MS")) {
        if (const auto ms = numberIn(env, 0, 3600 * 1000))
            script.ScanMs = *ms;
    }
    return script;
}

bool TScript::Set(const std::string &Key, const std::string &Value)
{
    const auto keyWords = words(Key);
    if (keyWords.empty())
        return false;
    const std::string &name = keyWords[0];

    if (name == "fail" && keyWords.size() == 4) {
        const auto dg = numberIn(keyWords[1], 0, 0xFFFFFFFFLL);
        const auto dat = numberIn(keyWords[2], 0, 0xFFFF);
        const auto msg = numberIn(keyWords[3], 0, 0xFFFF);
        if (!dg || !dat || !msg)
            return false;
        return setAnswer(Fails, std::tuple{static_cast<TW_UINT32>(*dg), static_cast<TW_UINT16>(*dat),
                                           static_cast<TW_UINT16>(*msg)},
                         Value);
    }
    if (name == "capfail" && keyWords.size() == 3) {
        const auto cap = numberIn(keyWords[1], 0, 0xFFFF);
        const auto msg = numberIn(keyWords[2], 0, 0xFFFF);
        if (!cap || !msg)
            return false;
        return setAnswer(CapFails, std::pair{static_cast<TW_UINT16>(*cap), static_cast<TW_UINT16>(*msg)},
                         Value);
    }
    if (name == "xfer_result" && keyWords.size() == 2) {
        const auto image = numberIn(keyWords[1], 1, 1 << 30);
        if (!image)
            return false;
        return setAnswer(XferResults, static_cast<int>(*image), Value);
    }
    if (keyWords.size() != 1)
        return false;

    // Plain keys with one of two words each.
    struct TChoiceKey
    {
        const char *Name;
        const char *First;
        const char *Second;
        bool TScript::*Flag;   // set for Second
    };
    static const TChoiceKey choiceKeys[] = {
        {"units_container", "enumeration", "onevalue", &TScript::UnitsAsOneValue},
        {"event", "xferready", "closereq", &TScript::AnnounceCloseRequest},
        {"row_bytes", "dib", "tight", &TScript::TightRows},
    };
    for (const TChoiceKey &key : choiceKeys) {
        if (name != key.Name)
            continue;
        if (Value != key.First && Value != key.Second)
            return false;
        this->*key.Flag = Value == key.Second;
        return true;
    }
    if (name == "file_name") {
        FileName = Value;
        return true;
    }
    if (name == "bad") {
        const auto bad = badOutputNamed(Value);
        if (!bad)
            return false;
        Bad = *bad;
        return true;
    }

    struct TNumberKey
    {
        const char *Name;
        int64_t Low;
        int64_t High;
    };
    static const TNumberKey numberKeys[] = {
        {"sources", 0, MaxSources},
        {"default_source", -1, 0x7FFFFFFF},
        {"pixel_flavor", 0, 1},
        {"pending", 1, 0xFFFE},
        {"pending_unknown", 0, 1},
        {"scan_ms", 0, 3600 * 1000},
        {"preferred", 1, 0xFFFFFFFFLL},
        {"min_buf", 1, 0xFFFFFFFFLL},
        {"max_buf", 1, 0xFFFFFFFFLL},
        {"file_format", 0, 0xFFFF},
        {"strip_rows", 0, 1 << 30},
    };
    for (const TNumberKey &key : numberKeys) {
        if (name != key.Name)
            continue;
        const auto n = numberIn(Value, key.Low, key.High);
        if (!n)
            return false;
        if (name == "sources")
            Sources = static_cast<int>(*n);
        else if (name == "default_source")
            DefaultSource = static_cast<int>(*n);
        else if (name == "pixel_flavor")
            PixelFlavor = static_cast<TW_UINT16>(*n);
        else if (name == "pending")
            Pending = static_cast<int>(*n);
        else if (name == "pending_unknown")
            PendingUnknown = *n != 0;
        else if (name == "scan_ms")
            ScanMs = *n;
        else if (name == "preferred")
            Preferred = static_cast<TW_UINT32>(*n);
        else if (name == "min_buf")
            MinBuf = static_cast<TW_UINT32>(*n);
        else if (name == "max_buf")
            MaxBuf = static_cast<TW_UINT32>(*n);
        else if (name == "strip_rows")
            StripRows = *n;
        else
            FileFormat = static_cast<TW_UINT16>(*n);
        return true;
    }
    return false;
}

std::optional<TScriptedAnswer> TScript::FailFor(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg) const
{
    const auto it = Fails.find({Dg, Dat, Msg});
    return it == Fails.end() ? std::nullopt : std::optional(it->second);
}

std::optional<TScriptedAnswer> TScript::CapFailFor(TW_UINT16 Cap, TW_UINT16 Msg) const
{
    const auto it = CapFails.find({Cap, Msg});
    return it == CapFails.end() ? std::nullopt : std::optional(it->second);
}

std::optional<TScriptedAnswer> TScript::XferResultFor(int Image) const
{
    const auto it = XferResults.find(Image);
    return it == XferResults.end() ? std::nullopt : std::optional(it->second);
}

std::string TScript::EffectiveFileName() const
{
    return FileName.empty() ? DefaultFileName() : FileName;
}

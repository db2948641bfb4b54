// The version block every executable of ours carries in its own ELF section, laid
// out as a published VS_VERSIONINFO resource: the root block "VS_VERSION_INFO"
// holding the fixed file information, and "VarFileInfo" -> "Translation".
#include "settings/VerInfo.h"

#include <array>
#include <cstddef>

namespace {

// The file version, here and nowhere else.
constexpr quint16 VersionMajor = 1;
constexpr quint16 VersionMinor = 3;
constexpr quint16 VersionRelease = 3;
constexpr quint16 VersionBuild = 20;

constexpr quint32 TranslationUsEnglishUnicode = 0x04B00409; // language 0x0409, code page 1200

constexpr std::size_t BlockSize = 160;
using TBlockBytes = std::array<unsigned char, BlockSize>;

constexpr void put16(TBlockBytes &Bytes, std::size_t At, unsigned Value)
{
    Bytes[At] = static_cast<unsigned char>(Value & 0xFF);
    Bytes[At + 1] = static_cast<unsigned char>((Value >> 8) & 0xFF);
}

constexpr void put32(TBlockBytes &Bytes, std::size_t At, quint32 Value)
{
    put16(Bytes, At, Value & 0xFFFF);
    put16(Bytes, At + 2, Value >> 16);
}

constexpr std::size_t align4(std::size_t Offset)
{
    return (Offset + 3) & ~std::size_t(3);
}

// Writes a block header and its UTF-16 key; returns where the value begins.
constexpr std::size_t putHeader(TBlockBytes &Bytes, std::size_t At, unsigned ValueLength,
                                unsigned Type, const char *Key)
{
    put16(Bytes, At + 2, ValueLength);
    put16(Bytes, At + 4, Type);
    std::size_t pos = At + 6;
    for (; *Key; ++Key, pos += 2)
        put16(Bytes, pos, static_cast<unsigned char>(*Key));
    put16(Bytes, pos, 0);
    return align4(pos + 2);
}

constexpr TBlockBytes buildVersionBlock()
{
    TBlockBytes bytes{};
    constexpr quint32 fileVersionMS = quint32(VersionMajor) << 16 | VersionMinor;
    constexpr quint32 fileVersionLS = quint32(VersionRelease) << 16 | VersionBuild;
    const quint32 fixed[13] = {
        FixedFileInfoSignature,
        0x00010000,       // structure version 1.0
        fileVersionMS, fileVersionLS,
        fileVersionMS, fileVersionLS,
        0x3F,             // every flag bit defined
        0,                // no flags: a release build
        0,                // operating system: none of the listed ones
        1,                // an application
        0,
        0, 0,             // no file date
    };
    std::size_t pos = putHeader(bytes, 0, sizeof(TFixedFileInfo), 0, "VS_VERSION_INFO");
    for (const quint32 word : fixed) {
        put32(bytes, pos, word);
        pos += 4;
    }

    const std::size_t varFileInfo = pos;
    const std::size_t var = putHeader(bytes, varFileInfo, 0, 1, "VarFileInfo");
    pos = putHeader(bytes, var, 4, 0, "Translation");
    put32(bytes, pos, TranslationUsEnglishUnicode);
    pos += 4;

    put16(bytes, var, unsigned(pos - var));
    put16(bytes, varFileInfo, unsigned(pos - varFileInfo));
    put16(bytes, 0, unsigned(pos));
    if (pos != BlockSize)
        throw "the version block's size changed: adjust BlockSize";
    return bytes;
}

} // namespace

// "used" keeps the block although no code refers to it: only the file is read.
[[gnu::used, gnu::section(VELLUMORA_VERSION_SECTION)]]
static constexpr TBlockBytes VellumoraVersionBlock = buildVersionBlock();

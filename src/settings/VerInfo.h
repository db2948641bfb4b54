#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <vector>

// The ELF section in which the build embeds the executable's version block.
#define VELLUMORA_VERSION_SECTION ".vellumora.version"

// The fixed part of a version block: thirteen little-endian 32-bit words.
struct TFixedFileInfo
{
    quint32 dwSignature;        // 0xFEEF04BD
    quint32 dwStrucVersion;
    quint32 dwFileVersionMS;    // major << 16 | minor
    quint32 dwFileVersionLS;    // release << 16 | build
    quint32 dwProductVersionMS;
    quint32 dwProductVersionLS;
    quint32 dwFileFlagsMask;
    quint32 dwFileFlags;
    quint32 dwFileOS;
    quint32 dwFileType;
    quint32 dwFileSubtype;
    quint32 dwFileDateMS;
    quint32 dwFileDateLS;
};
static_assert(sizeof(TFixedFileInfo) == 52);

inline constexpr quint32 FixedFileInfoSignature = 0xFEEF04BD;

enum class TElfLookup
{
    Missing, // no 64-bit ELF file of this machine's byte order, or no such section
    Found,
    Damaged, // an ELF file whose section table or section names lie past its end
};

// Where a named section's bytes lie in a file (when found).
struct TElfSection
{
    TElfLookup Lookup = TElfLookup::Missing;
    quint64 Offset = 0;
    quint64 Size = 0;
};

TElfSection FindElfSection(const QString &FileName, QByteArrayView Name);

// The version block of an executable. A file without one is no error
// (HasVerInfo false); one that exists but cannot be read throws EAppError.
class TVerInfo
{
public:
    explicit TVerInfo(const QString &FileName);

    // The value of a block in the tree: "\" is the fixed file information,
    // "\VarFileInfo\Translation" the translation table. Never reads outside Buffer.
    bool QueryValue(QStringView SubBlock, QByteArrayView &Value) const;

    TFixedFileInfo FixedFileInfo{};
    std::vector<quint32> Translations; // language | code page << 16
    bool HasVerInfo = false;
    QByteArray Buffer;                 // the whole block as loaded
};

// "--version" of the application and its tools, GNU style: prints "<Program>
// (Vellumora) 1.3.3.20" from the running file's own version block, the block the
// about box reads. A damaged block goes to stderr, as no window may open here.
// Returns the exit code.
int PrintProgramVersion(const char *Program);

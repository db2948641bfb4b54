#include "settings/VerInfo.h"

#include "platform/AppError.h"
#include "platform/MessageCatalogue.h"

#include <QFile>
#include <QSysInfo>
#include <QtEndian>

#include <elf.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// A block's 16-bit lengths cap it at this size; a larger section is not ours.
constexpr quint64 MaxVersionBlockSize = 0xFFFF;

// Section name tables are small; this only keeps a hostile file from costing memory.
constexpr quint64 MaxSectionNamesSize = 16 * 1024 * 1024;

bool fitsIn(quint64 Offset, quint64 Size, quint64 Total)
{
    return Offset <= Total && Size <= Total - Offset;
}

QByteArray readAt(QFile &File, quint64 Offset, quint64 Size)
{
    if (!File.seek(qint64(Offset)))
        return {};
    QByteArray bytes = File.read(qint64(Size));
    return quint64(bytes.size()) == Size ? bytes : QByteArray();
}

quint16 le16(QByteArrayView Bytes, qsizetype At)
{
    return qFromLittleEndian<quint16>(Bytes.data() + At);
}

qsizetype align4(qsizetype Offset)
{
    return (Offset + 3) & ~qsizetype(3);
}

// One block of the version tree: header, UTF-16 key, value, then children,
// each part starting on a 32-bit boundary of the buffer.
struct TBlock
{
    qsizetype End;
    QString Key;
    qsizetype ValueStart;
    qsizetype ValueSize;
    qsizetype ChildrenStart;
};

// Reads the block at Start, which must lie wholly before Limit.
std::optional<TBlock> readBlock(QByteArrayView Bytes, qsizetype Start, qsizetype Limit)
{
    constexpr qsizetype headerSize = 6;
    if (Start < 0 || Start > Limit || Limit - Start < headerSize)
        return std::nullopt;
    const qsizetype length = le16(Bytes, Start);
    const qsizetype valueLength = le16(Bytes, Start + 2);
    const quint16 type = le16(Bytes, Start + 4);
    if (length < headerSize || length > Limit - Start)
        return std::nullopt;

    TBlock block;
    block.End = Start + length;
    qsizetype pos = Start + headerSize;
    for (;;) {
        if (block.End - pos < 2)
            return std::nullopt;
        const quint16 c = le16(Bytes, pos);
        pos += 2;
        if (c == 0)
            break;
        block.Key += QChar(c);
    }
    // Text values count UTF-16 units, binary ones bytes.
    block.ValueSize = type == 1 ? 2 * valueLength : valueLength;
    block.ValueStart = align4(pos);
    if (block.ValueSize == 0) {
        block.ValueStart = qMin(block.ValueStart, block.End);
        block.ChildrenStart = block.ValueStart;
    } else {
        if (block.ValueStart > block.End || block.ValueSize > block.End - block.ValueStart)
            return std::nullopt;
        block.ChildrenStart = align4(block.ValueStart + block.ValueSize);
    }
    return block;
}

} // namespace

TElfSection FindElfSection(const QString &FileName, QByteArrayView Name)
{
    const TElfSection missing;
    const TElfSection damaged{TElfLookup::Damaged};
    QFile file(FileName);
    if (FileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return missing;
    const quint64 fileSize = quint64(file.size());

    const QByteArray headerBytes = readAt(file, 0, sizeof(Elf64_Ehdr));
    if (headerBytes.isEmpty())
        return missing;
    Elf64_Ehdr header;
    std::memcpy(&header, headerBytes.constData(), sizeof header);
    const unsigned char nativeData =
        QSysInfo::ByteOrder == QSysInfo::LittleEndian ? ELFDATA2LSB : ELFDATA2MSB;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
        || header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != nativeData
        || header.e_shoff == 0)
        return missing;
    // From here on the file is an ELF file of ours whose tables must hold up: a
    // cut-off file loses its section table first, as that comes last.
    if (header.e_shentsize < sizeof(Elf64_Shdr))
        return damaged;

    const quint64 entrySize = header.e_shentsize;
    auto sectionHeader = [&](const QByteArray &Table, quint64 Index) {
        Elf64_Shdr section;
        std::memcpy(&section, Table.constData() + Index * entrySize, sizeof section);
        return section;
    };

    // With many sections the real count and name table index live in section 0.
    const QByteArray firstBytes = readAt(file, header.e_shoff, entrySize);
    if (firstBytes.isEmpty())
        return damaged;
    const Elf64_Shdr first = sectionHeader(firstBytes, 0);
    const quint64 count = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    const quint64 namesIndex = header.e_shstrndx == SHN_XINDEX ? first.sh_link : header.e_shstrndx;
    if (count == 0)
        return missing;
    if (namesIndex >= count || header.e_shoff > fileSize
        || count > (fileSize - header.e_shoff) / entrySize)
        return damaged;
    const QByteArray table = readAt(file, header.e_shoff, count * entrySize);
    if (table.isEmpty())
        return damaged;

    const Elf64_Shdr namesSection = sectionHeader(table, namesIndex);
    if (namesSection.sh_type == SHT_NOBITS || namesSection.sh_size > MaxSectionNamesSize
        || !fitsIn(namesSection.sh_offset, namesSection.sh_size, fileSize))
        return damaged;
    const QByteArray names = readAt(file, namesSection.sh_offset, namesSection.sh_size);

    for (quint64 i = 1; i < count; ++i) {
        const Elf64_Shdr section = sectionHeader(table, i);
        if (section.sh_name >= quint64(names.size()))
            continue;
        const char *name = names.constData() + section.sh_name;
        const qsizetype room = names.size() - qsizetype(section.sh_name);
        const qsizetype length = qstrnlen(name, room);
        if (length < room && QByteArrayView(name, length) == Name)
            return TElfSection{TElfLookup::Found, section.sh_offset, section.sh_size};
    }
    return missing;
}

TVerInfo::TVerInfo(const QString &FileName)
{
    const TElfSection section = FindElfSection(FileName, VELLUMORA_VERSION_SECTION);
    // A damaged file may well hold a block; it just cannot be reached.
    if (section.Lookup == TElfLookup::Damaged)
        throw EAppError(_("Can't load version information"));
    HasVerInfo = section.Lookup == TElfLookup::Found && section.Size > 0;
    if (!HasVerInfo)
        return;

    {
        QFile file(FileName);
        if (!file.open(QIODevice::ReadOnly) || section.Size > MaxVersionBlockSize
            || !fitsIn(section.Offset, section.Size, quint64(file.size())))
            throw EAppError(_("Can't load version information"));
        Buffer = readAt(file, section.Offset, section.Size);
        if (Buffer.isEmpty())
            throw EAppError(_("Can't load version information"));
    }

    QByteArrayView value;
    if (!QueryValue(u"\\", value))
        throw EAppError(_("Can't read fixed file information"));
    if (value.size() != qsizetype(sizeof(TFixedFileInfo)))
        throw EAppError(_("Fixed file information record wrong size"));
    quint32 words[sizeof(TFixedFileInfo) / 4];
    for (qsizetype i = 0; i < qsizetype(std::size(words)); ++i)
        words[i] = qFromLittleEndian<quint32>(value.data() + 4 * i);
    std::memcpy(&FixedFileInfo, words, sizeof FixedFileInfo);

    if (QueryValue(u"\\VarFileInfo\\Translation", value))
        for (qsizetype i = 0; i + 4 <= value.size(); i += 4)
            Translations.push_back(qFromLittleEndian<quint32>(value.data() + i));
}

bool TVerInfo::QueryValue(QStringView SubBlock, QByteArrayView &Value) const
{
    const QByteArrayView bytes(Buffer);
    std::optional<TBlock> block = readBlock(bytes, 0, bytes.size());
    if (!block)
        return false;
    for (const QStringView part : SubBlock.tokenize(u'\\', Qt::SkipEmptyParts)) {
        std::optional<TBlock> found;
        qsizetype pos = block->ChildrenStart;
        while (pos < block->End) {
            const std::optional<TBlock> child = readBlock(bytes, pos, block->End);
            if (!child)
                break;
            if (child->Key.compare(part, Qt::CaseInsensitive) == 0) {
                found = child;
                break;
            }
            pos = align4(child->End);
        }
        if (!found)
            return false;
        block = found;
    }
    Value = bytes.sliced(block->ValueStart, block->ValueSize);
    return true;
}

int PrintProgramVersion(const char *Program)
{
    try {
        const TVerInfo info(QStringLiteral("/proc/self/exe"));
        if (!info.HasVerInfo) {
            std::printf("%s (Vellumora) (no version information)\n", Program);
            return 0;
        }
        const quint32 ms = info.FixedFileInfo.dwFileVersionMS;
        const quint32 ls = info.FixedFileInfo.dwFileVersionLS;
        std::printf("%s (Vellumora) %u.%u.%u.%u\n", Program, ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
        return 0;
    } catch (const std::exception &Error) {
        std::fprintf(stderr, "%s: %s\n", Program, qPrintable(ErrorMessageOf(Error)));
        return 1;
    }
}

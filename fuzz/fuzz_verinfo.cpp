// The executable's own file as the about box reads it. An input that is an
// ELF file is read as it stands, which tries the section table walk; any other
// input becomes the version section of a small ELF file, which sends the
// fuzzer straight at the block tree.

#include "FuzzTarget.h"

#include "platform/AppError.h"
#include "settings/VerInfo.h"

#include <elf.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

template<typename T>
void put(QByteArray &Bytes, const T &Value)
{
    Bytes.append(reinterpret_cast<const char *>(&Value), sizeof Value);
}

QByteArray elfWithSection(const uint8_t *Data, size_t Size)
{
    const QByteArray names = QByteArray("\0.shstrtab\0" VELLUMORA_VERSION_SECTION "\0", 11 + sizeof(VELLUMORA_VERSION_SECTION));
    const quint64 dataOffset = sizeof(Elf64_Ehdr);
    const quint64 namesOffset = dataOffset + Size;
    const quint64 tableOffset = namesOffset + quint64(names.size());

    Elf64_Ehdr header;
    std::memset(&header, 0, sizeof header);
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_machine = EM_X86_64;
    header.e_version = EV_CURRENT;
    header.e_ehsize = sizeof(Elf64_Ehdr);
    header.e_shoff = tableOffset;
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = 3;
    header.e_shstrndx = 1;

    Elf64_Shdr none, nameTable, version;
    std::memset(&none, 0, sizeof none);
    nameTable = none;
    nameTable.sh_name = 1;
    nameTable.sh_type = SHT_STRTAB;
    nameTable.sh_offset = namesOffset;
    nameTable.sh_size = quint64(names.size());
    version = none;
    version.sh_name = 11;
    version.sh_type = SHT_PROGBITS;
    version.sh_offset = dataOffset;
    version.sh_size = Size;

    QByteArray file;
    put(file, header);
    file.append(reinterpret_cast<const char *>(Data), qsizetype(Size));
    file.append(names);
    put(file, none);
    put(file, nameTable);
    put(file, version);
    return file;
}

// One anonymous in-memory file for the whole run, reached by its /proc name:
// the reader opens a path, and the disk need not be involved.
int memoryFile()
{
    static const int fd = [] {
        const int f = memfd_create("verinfo-fuzz", 0);
        if (f < 0)
            std::abort();
        return f;
    }();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const bool isElf = Size >= SELFMAG && std::memcmp(Data, ELFMAG, SELFMAG) == 0;
    const QByteArray file = isElf
        ? QByteArray(reinterpret_cast<const char *>(Data), qsizetype(Size))
        : elfWithSection(Data, Size);

    const int fd = memoryFile();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, file.constData(), size_t(file.size()), 0) != file.size())
        std::abort();
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);

    try {
        const TVerInfo info(path);
        QByteArrayView value;
        for (const char16_t *block : {u"\\", u"\\VarFileInfo\\Translation",
                                      u"\\StringFileInfo\\040904E4\\FileVersion", u"\\\\x\\"})
            info.QueryValue(block, value);
    } catch (const EAppError &) {
        // A damaged block is the about box's message, not a failure.
    }
    return 0;
}

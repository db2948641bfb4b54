#include "PpmImage.h"

#include <QFile>

#include <cctype>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TMapping
{
    void *Address;
    std::size_t Length;
};

void Unmap(void *Info)
{
    auto *Mapping = static_cast<TMapping *>(Info);
    ::munmap(Mapping->Address, Mapping->Length);
    delete Mapping;
}

// The header's next number, skipping blanks and comments; -1 when there is none.
long long NextNumber(const unsigned char *Data, std::size_t Length, std::size_t &At)
{
    while (At < Length) {
        if (Data[At] == '#') {
            while (At < Length && Data[At] != '\n')
                ++At;
        } else if (std::isspace(Data[At])) {
            ++At;
        } else {
            break;
        }
    }
    if (At >= Length || !std::isdigit(Data[At]))
        return -1;
    long long Value = 0;
    while (At < Length && std::isdigit(Data[At]) && Value < 1000000)
        Value = Value * 10 + (Data[At++] - '0');
    return Value;
}

} // namespace

QImage MapPpmImage(const QString &FileName)
{
    const int Fd = ::open(QFile::encodeName(FileName).constData(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        return {};
    struct stat Info;
    if (::fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode) || Info.st_size < 8) {
        ::close(Fd);
        return {};
    }
    const auto Length = static_cast<std::size_t>(Info.st_size);
    void *Address = ::mmap(nullptr, Length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, Fd, 0);
    ::close(Fd);
    if (Address == MAP_FAILED)
        return {};
    const auto *Data = static_cast<const unsigned char *>(Address);
    std::size_t At = 2;
    const long long Width = Data[0] == 'P' && Data[1] == '6' ? NextNumber(Data, Length, At) : -1;
    const long long Height = Width > 0 ? NextNumber(Data, Length, At) : -1;
    const long long Maximum = Height > 0 ? NextNumber(Data, Length, At) : -1;
    // One blank ends the header; the pixels follow at once.
    const bool Usable = Maximum == 255 && At < Length && std::isspace(Data[At])
                        && Width * 3 <= 0x7fffffff
                        && Length - At - 1 >= static_cast<std::size_t>(Width * Height * 3);
    if (!Usable) {
        ::munmap(Address, Length);
        return {};
    }
    return QImage(Data + At + 1, static_cast<int>(Width), static_cast<int>(Height), Width * 3,
                  QImage::Format_RGB888, Unmap, new TMapping{Address, Length});
}

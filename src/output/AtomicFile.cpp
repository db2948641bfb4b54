#include "output/AtomicFile.h"

#include "platform/AnsiText.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int Fd, const void *Data, std::size_t Size)
{
    const char *P = static_cast<const char *>(Data);
    while (Size > 0) {
        const ssize_t Written = ::write(Fd, P, Size);
        if (Written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        P += Written;
        Size -= static_cast<std::size_t>(Written);
    }
    return true;
}

} // namespace

bool ReplaceFileAtomically(const QString &FileName, const void *Data, std::size_t Size)
{
    const QByteArray Target = ToAnsi(FileName);
    if (Target.isEmpty() || Target.endsWith('/'))
        return false;
    const qsizetype Slash = Target.lastIndexOf('/');
    const QByteArray Folder = Slash < 0 ? QByteArray(".") : Target.left(Slash + 1);
    const QByteArray Base = Target.mid(Slash + 1);

    // A hidden name that does not end in ".jpg": should the process die before
    // the rename, the leftover is never taken for a scan.
    QByteArray Temporary;
    int Fd = -1;
    for (int Attempt = 0; Attempt < 16 && Fd < 0; ++Attempt) {
        Temporary = (Slash < 0 ? QByteArray() : Folder) + '.' + Base + '.'
                    + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        Fd = ::open(Temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Fd < 0 && errno != EEXIST)
            return false;
    }
    if (Fd < 0)
        return false;

    bool Ok = WriteAll(Fd, Data, Size) && ::fsync(Fd) == 0;
    Ok = (::close(Fd) == 0) && Ok;
    Ok = Ok && std::rename(Temporary.constData(), Target.constData()) == 0;
    if (!Ok) {
        ::unlink(Temporary.constData());
        return false;
    }
    // The rename itself lasts once the folder is on the disk too; a file system
    // that cannot sync folders has still renamed, so that is no failure.
    const int FolderFd = ::open(Folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FolderFd >= 0) {
        ::fsync(FolderFd);
        ::close(FolderFd);
    }
    return true;
}

#include "output/AtomicFile.h"

#include "platform/AnsiText.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TAtomicFile::TAtomicFile(const QString &FileName)
    : target_(ToAnsi(FileName))
{
    if (target_.isEmpty() || target_.endsWith('/')) {
        failed_ = true;
        return;
    }
    const qsizetype Slash = target_.lastIndexOf('/');
    folder_ = Slash < 0 ? QByteArray(".") : target_.left(Slash + 1);
    const QByteArray Base = target_.mid(Slash + 1);
    // A hidden name that does not end in ".jpg": should the process die before
    // the rename, the leftover is never taken for a scan.
    for (int Attempt = 0; Attempt < 16 && fd_ < 0; ++Attempt) {
        temporary_ = (Slash < 0 ? QByteArray() : folder_) + '.' + Base + '.'
                     + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        fd_ = ::open(temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    failed_ = fd_ < 0;
}

TAtomicFile::~TAtomicFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.constData());
    }
}

void TAtomicFile::Write(const void *Data, std::size_t Size) noexcept
{
    const char *P = static_cast<const char *>(Data);
    while (!failed_ && Size > 0) {
        const ssize_t Written = ::write(fd_, P, Size);
        if (Written < 0) {
            failed_ = errno != EINTR;
            continue;
        }
        P += Written;
        Size -= static_cast<std::size_t>(Written);
    }
}

void TAtomicFile::Flush() noexcept
{
    if (!failed_ && !flushed_)
        failed_ = ::fsync(fd_) != 0;
    flushed_ = true;
}

bool TAtomicFile::Commit() noexcept
{
    if (fd_ < 0)
        return false;
    Flush();
    bool Ok = !failed_;
    Ok = ::close(fd_) == 0 && Ok;
    fd_ = -1;
    // The folder is not synced: should the machine stop before the rename
    // reaches the disk, the old file is what it finds, which is still whole.
    Ok = Ok && std::rename(temporary_.constData(), target_.constData()) == 0;
    if (!Ok) {
        ::unlink(temporary_.constData());
        failed_ = true;
    }
    return Ok;
}

bool ReplaceFileAtomically(const QString &FileName, const void *Data, std::size_t Size)
{
    TAtomicFile File(FileName);
    File.Write(Data, Size);
    return File.Commit();
}

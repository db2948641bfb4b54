#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// A file that replaces its target all at once: the bytes go to a hidden file
// beside the target, and Commit flushes that to the disk and renames it over
// the target, so that readers see either the old file or the whole new one,
// never a torn mix. Any failure is remembered and reported by Commit; the new
// file is then removed and the old one stays as it was. The name goes through
// the 8-bit code page like every path of the application.
class TAtomicFile
{
public:
    explicit TAtomicFile(const QString &FileName);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile &) = delete;
    TAtomicFile &operator=(const TAtomicFile &) = delete;

    void Write(const void *Data, std::size_t Size) noexcept;
    // Puts what was written on the disk, the slow part of a commit, which may
    // run on any thread ahead of the Commit itself.
    void Flush() noexcept;
    // True when the target now holds exactly what was written.
    bool Commit() noexcept;

private:
    QByteArray target_;
    QByteArray folder_;
    QByteArray temporary_;
    int fd_ = -1;
    bool failed_ = false;
    bool flushed_ = false;
};

bool ReplaceFileAtomically(const QString &FileName, const void *Data, std::size_t Size);

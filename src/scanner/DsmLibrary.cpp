#include "scanner/DsmLibrary.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

QStringList DefaultDsmSearchFolders()
{
    // An installed copy keeps the library in its private folder, which the loader
    // would not search on its own; it comes right after the executable's folder.
    return {QStringLiteral("/usr/local/lib/"), QStringLiteral("/usr/lib/"),
            IncludeTrailingPathDelimiter(QDir::currentPath()), ExeDir(), InstalledLibDir(),
            IncludeTrailingPathDelimiter(QDir::tempPath())};
}

QString FindDsmFile(const QStringList &Folders)
{
    for (const QString &folder : Folders) {
        if (folder.isEmpty())
            continue;
        const QString path = IncludeTrailingPathDelimiter(folder) + QLatin1String(DsmFileName);
        // A folder or device of that name is not a library; keep looking.
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

TDsmLibrary::~TDsmLibrary()
{
    Unload();
}

bool TDsmLibrary::Load(const QString &FileName)
{
    if (handle_ && entry_)
        return true;
    if (handle_) {
        // Kept after a refused dlclose: the library is still mapped, use it again.
        entry_ = reinterpret_cast<DSMENTRYPROC>(dlsym(handle_, "DSM_Entry"));
        return entry_ != nullptr;
    }
    void *handle = dlopen(QFile::encodeName(FileName).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    auto entry = reinterpret_cast<DSMENTRYPROC>(dlsym(handle, "DSM_Entry"));
    if (!entry) {
        dlclose(handle);
        return false;
    }
    handle_ = handle;
    entry_ = entry;
    fileName_ = FileName;
    return true;
}

bool TDsmLibrary::Unload()
{
    entry_ = nullptr;
    if (!handle_)
        return true;
    if (dlclose(handle_) != 0)
        return false;
    handle_ = nullptr;
    fileName_.clear();
    return true;
}

QString TDsmLibrary::ProbeReport() const
{
    if (!handle_)
        return {};
    using TReport = int (*)(char *, size_t);
    // Optional: managers of other makers, or older ones, do not have it.
    const auto report = reinterpret_cast<TReport>(dlsym(handle_, "VellumoraDsmProbeReport"));
    if (!report)
        return {};
    const int length = report(nullptr, 0);
    if (length <= 0)
        return {};
    QByteArray text(length + 1, '\0');
    report(text.data(), static_cast<size_t>(text.size()));
    text.truncate(qstrnlen(text.constData(), text.size()));
    return QString::fromUtf8(text);
}

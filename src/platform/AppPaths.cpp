#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {
QString &exeDirOverride()
{
    static QString dir;
    return dir;
}
QString &exeFileOverride()
{
    static QString file;
    return file;
}
} // namespace

QString IncludeTrailingPathDelimiter(const QString &Path)
{
    return Path.endsWith(PathDelim) ? Path : Path + PathDelim;
}

QString ExeDir()
{
    if (!exeDirOverride().isEmpty())
        return IncludeTrailingPathDelimiter(exeDirOverride());
    return IncludeTrailingPathDelimiter(QCoreApplication::applicationDirPath());
}

QString ExeFileName()
{
    if (!exeFileOverride().isEmpty())
        return exeFileOverride();
    return QCoreApplication::applicationFilePath();
}

void SetExeDirOverride(const QString &Dir)
{
    exeDirOverride() = Dir;
}

void SetExeFileNameOverride(const QString &FileName)
{
    exeFileOverride() = FileName;
}

QString UserAppDataDir()
{
    return IncludeTrailingPathDelimiter(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString VellumoraDataDir()
{
    return UserAppDataDir() + QStringLiteral("Quorvath/Vellu Mora/");
}

QString InstalledPrefix()
{
    const QString prefix = QDir::cleanPath(ExeDir() + QStringLiteral(".."));
    if (QFileInfo(prefix + QStringLiteral("/share/vellumora")).isDir())
        return IncludeTrailingPathDelimiter(prefix);
    return {};
}

QString ScanDataDir()
{
    // An installed copy never writes into its prefix, not even when run by root
    // (who may write anywhere): the scans belong to the user and must outlive an
    // uninstall. access() also answers "no" on a read-only file system.
    const QString exeDir = ExeDir();
    if (InstalledPrefix().isEmpty() && ::access(QFile::encodeName(exeDir).constData(), W_OK) == 0)
        return exeDir;
    return UserAppDataDir() + QStringLiteral("Vellumora/");
}

TCatalogueLocation MessageCatalogueLocation()
{
    const QString prefix = InstalledPrefix();
    if (!prefix.isEmpty())
        return {prefix + QStringLiteral("share/locale"), QByteArrayLiteral("vellumora")};
    return {ExeDir() + QStringLiteral("locale"), QByteArrayLiteral("default")};
}

QString InstalledLibDir()
{
    return IncludeTrailingPathDelimiter(QDir::cleanPath(ExeDir() + QStringLiteral("../lib/vellumora")));
}

QString CommonAppDataDir()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return QDir::cleanPath(state);
    const QString home = QDir::homePath();
    if (home.isEmpty())
        return {};
    return home + QStringLiteral("/.local/state");
}

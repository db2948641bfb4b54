#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

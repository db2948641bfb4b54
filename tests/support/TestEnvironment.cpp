#include "support/TestEnvironment.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {
void setOrUnset(const char *Name, const QByteArray &Value)
{
    if (Value.isNull())
        qunsetenv(Name);
    else
        qputenv(Name, Value);
}
} // namespace

TTestEnvironment::TTestEnvironment()
    : savedHome_(qgetenv("HOME")),
      savedDataHome_(qgetenv("XDG_DATA_HOME")),
      savedConfigHome_(qgetenv("XDG_CONFIG_HOME")),
      savedStateHome_(qgetenv("XDG_STATE_HOME"))
{
    QDir root(dir_.path());
    root.mkpath(QStringLiteral("bin"));
    root.mkpath(QStringLiteral("home"));
    qputenv("HOME", Path(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", Path(QStringLiteral("home/.local/share")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", Path(QStringLiteral("home/.config")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", Path(QStringLiteral("home/.local/state")).toLocal8Bit());
    // QSettings keeps the first folder it saw; point it here explicitly.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       Path(QStringLiteral("home/.config")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       Path(QStringLiteral("home/.config")));
    SetExeDirOverride(ExeDir());
    SetExeFileNameOverride(ExeDir() + QStringLiteral("Vellumora"));
}

TTestEnvironment::~TTestEnvironment()
{
    SetExeDirOverride(QString());
    SetExeFileNameOverride(QString());
    setOrUnset("HOME", savedHome_);
    setOrUnset("XDG_DATA_HOME", savedDataHome_);
    setOrUnset("XDG_CONFIG_HOME", savedConfigHome_);
    setOrUnset("XDG_STATE_HOME", savedStateHome_);
}

QString TTestEnvironment::WriteFile(const QString &Relative, const QByteArray &Bytes) const
{
    const QString path = Path(Relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(Bytes);
    return path;
}

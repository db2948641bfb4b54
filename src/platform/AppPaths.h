#pragma once

#include <QChar>
#include <QString>

// Folders joined with the platform's separator.
inline constexpr QChar PathDelim = QLatin1Char('/');

QString IncludeTrailingPathDelimiter(const QString &Path);

// Folder of the running executable, ending in the separator. "pics" and
// "locale" live there.
QString ExeDir();
// Full path of the running executable's file.
QString ExeFileName();
// Tests point the executable's folder and file elsewhere; an empty text restores them.
void SetExeDirOverride(const QString &Dir);
void SetExeFileNameOverride(const QString &FileName);

// Per-user application data (~/.local/share, honours XDG_DATA_HOME).
QString UserAppDataDir();
// Our own folder inside it, ending in the separator: scan areas, crash reports.
QString VellumoraDataDir();
// Machine-wide application data: on Linux the XDG state folder, where logs belong.
// Empty when it cannot be determined.
QString CommonAppDataDir();

#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// Folders joined with the platform's separator.
inline constexpr QChar PathDelim = QLatin1Char('/');

QString IncludeTrailingPathDelimiter(const QString &Path);

// Folder of the running executable, ending in the separator. From a build
// folder or an unpacked copy "pics" and "locale" live there.
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
// The prefix of an installed copy ("<prefix>/bin/" holding the executable beside
// "<prefix>/share/vellumora/"), ending in the separator; empty when the program
// runs from a build folder or an unpacked copy.
QString InstalledPrefix();
// The folder below which the program writes for the user ("pics") and where the
// open-file dialog starts, ending in the separator: the executable's folder when
// it may write there and is no installed copy, else ~/.local/share/Vellumora/
// (honours XDG_DATA_HOME).
QString ScanDataDir();
// Where the message catalogues are and which text domain names them: an
// installed copy shares <prefix>/share/locale with every other program, so its
// catalogues carry the package's name ("vellumora"); a build folder or an
// unpacked copy keeps "default" in the "locale" folder beside the executable.
struct TCatalogueLocation
{
    QString Dir;
    QByteArray TextDomain;
};
TCatalogueLocation MessageCatalogueLocation();
// Where an installed copy keeps its private libraries: <prefix>/lib/vellumora/,
// found relative to the executable so any prefix works.
QString InstalledLibDir();

// Machine-wide application data: on Linux the XDG state folder, where logs belong.
// Empty when it cannot be determined.
QString CommonAppDataDir();

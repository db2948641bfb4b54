#pragma once

#include "scanner/TwainTypes.h"

#include <QString>
#include <QStringList>

// The data source manager's file, looked for in DsmSearchFolders() order.
inline constexpr const char *DsmFileName = "libvellumora-twaindsm.so";

// The folders searched for the manager, each ending in "/": /usr/local/lib, the
// system library folder, the current folder, the executable's folder, the
// temporary folder. The first folder holding the file wins.
QStringList DefaultDsmSearchFolders();

// Full path of the manager in the first of Folders that holds it; empty when none does.
QString FindDsmFile(const QStringList &Folders);

// The loaded manager library: owns the dlopen handle and its entry point.
class TDsmLibrary
{
public:
    TDsmLibrary() = default;
    ~TDsmLibrary();
    TDsmLibrary(const TDsmLibrary &) = delete;
    TDsmLibrary &operator=(const TDsmLibrary &) = delete;

    // Loads FileName and finds DSM_Entry; a library without it is let go again.
    bool Load(const QString &FileName);
    // Lets the library go. False when dlclose refuses; the handle is then kept
    // (so it is never closed twice) but the entry is forgotten all the same.
    bool Unload();

    bool IsLoaded() const { return handle_ != nullptr; }
    void *Handle() const { return handle_; }
    DSMENTRYPROC Entry() const { return entry_; }
    QString FileName() const { return fileName_; }
    // What the manager says of its last search for devices ("SANE devices: ...");
    // empty for a manager that does not tell.
    QString ProbeReport() const;

private:
    void *handle_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
    QString fileName_;
};

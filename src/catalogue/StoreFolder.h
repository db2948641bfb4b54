#pragma once

#include "catalogue/ScanStore.h"

#include <QHash>
#include <QString>

// Where the scan store lives. By default it is "pics" in the program's data
// folder; a shop with several stations points them all at one shared folder,
// which then holds the quality folders itself.

// Why Folder cannot hold the scan store (for example "it does not exist"), or
// empty when it can: it must be an existing folder this user may write into.
QString StoreFolderProblem(const QString &Folder);

struct TStoreFolderChoice
{
    QString Wanted;    // what VELLUMORA_STORE or the setting asks for; empty for the default
    QString Problem;   // why Wanted cannot be used; empty when it is used
    // The folder the store uses: Wanted, or empty (the default place) when it cannot.
    QString InUse() const { return Problem.isEmpty() ? Wanted : QString(); }
};

// VELLUMORA_STORE, when set, wins over the setting for the whole session.
TStoreFolderChoice ChooseStoreFolder(const QString &Setting);

// The folder ScanStoreRoot() answers from now on; empty restores the default place.
void SetStoreFolder(const QString &Folder);
QString StoreFolder();

// Every file below the four folders, with its modification time in milliseconds
// since the epoch as the store reports it.
QHash<QString, qint64> ReadStoreFileTimes(const TStorePaths &Paths);

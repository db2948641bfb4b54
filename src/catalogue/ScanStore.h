#pragma once

#include "catalogue/CardList.h"
#include "catalogue/Expansion.h"
#include "catalogue/Game.h"

#include <QString>

#include <optional>

// The four quality folders of one card set in the scan store, each ending in
// the path separator.
struct TStorePaths
{
    QString WebDir;
    QString MqDir;
    QString HqDir;
    QString VhqDir;
};

// A code from a broken source must not reach outside its folder: separators
// and control characters are dropped, and a name of only dots is no folder.
AnsiString SafeFolderName(const AnsiString &Name);

// The store's folder, ending in the separator: the chosen store folder
// (SetStoreFolder), or "pics" in the program's data folder.
QString ScanStoreRoot();
// "pics" in the program's data folder, where the store is unless another folder is chosen.
QString DefaultScanStoreRoot();

// Folders for the game and set (either may be null). Nothing is created.
TStorePaths GetStorePaths(const TGame *Game, const TExpansion *Expansion);

// Each card's status from the catalogue and the store: ScanWeb for a card with
// a catalogue scan (ScanFile), raised by the best of its VHQ, HQ and MQ files
// under the naming option, ScanNone without either; the web folder is not
// examined. Each quality folder of the set is listed once and the names are
// looked up in memory, so the same list can be marked again at any time to
// follow a store that others write to.
void MarkLocalScans(const TGame *Game, const TExpansion *Expansion, TCardList &Cards,
                    int Naming);

struct TFoundScan
{
    QString Path;
    int Level = ScanNone;
};

// The best existing scan file of the card. The catalogue's ScanFile is tried in
// VHQ, HQ, MQ and WEB first, then the names of all three naming options (by
// name, number, id) in each folder, so scans saved under an earlier setting are
// still found. Only files count, never folders. When one is found the card's
// ScanStatus becomes its level; otherwise the card is left as it is.
//
// ScanFile may be written with Windows separators ("foil\77.jpg"); they are
// read as folder separators. A ScanFile that is absolute or holds a ".." part
// would point outside the quality folder and matches nothing.
std::optional<TFoundScan> FindCardScan(TGameCard &Card, const TStorePaths &Dirs);

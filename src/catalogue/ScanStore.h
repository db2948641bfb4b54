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

// "pics" in the executable's folder, ending in the separator.
QString ScanStoreRoot();

// Folders for the game and set (either may be null). Nothing is created.
TStorePaths GetStorePaths(const TGame *Game, const TExpansion *Expansion);

// Sets ScanStatus of every card from its catalogue scan and the local files
// under the naming option; the web folder is not examined.
void MarkLocalScans(const TGame *Game, const TExpansion *Expansion, TCardList &Cards,
                    int Naming);

struct TFoundScan
{
    QString Path;
    int Level = ScanNone;
};

// The best existing scan of the card among sixteen candidates (catalogue file
// name first, then every naming option). When found, the card's ScanStatus
// becomes its level.
std::optional<TFoundScan> FindCardScan(TGameCard &Card, const TStorePaths &Dirs);

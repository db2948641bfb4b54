#pragma once

// The downloaded-looking list the main window's tests work on: game XY, set ABC.
#include "app/Main.h"
#include "catalogue/ScanStore.h"

#include <memory>
#include <vector>

inline void GiveXyList(TfrmMain &Main, const std::vector<std::unique_ptr<TGameCard>> &Cards)
{
    TGame game;
    game.Name = QStringLiteral("XY game");
    game.Code = QStringLiteral("XY");
    TExpansion set;
    set.Name = QStringLiteral("ABC set");
    set.Code = QStringLiteral("ABC");
    std::vector<const TGameCard *> accepted;
    for (const auto &card : Cards)
        accepted.push_back(card.get());
    Main.AcceptDownloadedList(game, set, accepted);
    Main.SetStorePaths(GetStorePaths(&game, &set));
}

#pragma once

#include "catalogue/Expansion.h"
#include "catalogue/Game.h"

#include <QDateTime>

// The pseudo game of every card list loaded from a file.
TGame OfflineGame();
// A set named after the moment of loading, so each load gets a store folder of its own.
TExpansion TimeNamedExpansion(const QDateTime &When);

#pragma once

#include <QString>

// A game of the catalogue; Id 0 is the pseudo game of a card list file.
class TGame
{
public:
    TGame() = default;
    TGame(const TGame &Source) = default;
    TGame &operator=(const TGame &Source) = default;

    int Id = 0;
    QString Name;
    // Lower-cased, the game's folder in the scan store.
    QString Code;
};

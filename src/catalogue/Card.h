#pragma once

#include "platform/AnsiText.h"

#include <QColor>
#include <QString>

// Best scan known for a card; higher is better.
enum TScanStatus : int {
    ScanNone = 0,
    ScanWeb = 1,
    ScanMQ = 2,
    ScanHQ = 3,
    ScanVHQ = 4,
};

// The colour of a card's name in the card lists for its scan status.
class TGameCard;
QColor ScanStatusColor(int ScanStatus);
// A card grid row's background: foil green or grey, striped by row position, so
// the stripes stay in place when the list is sorted.
QColor CardRowBackground(const TGameCard &Card, int Row);

class TGameCard
{
public:
    TGameCard() = default;
    TGameCard(const TGameCard &Source) = default;
    TGameCard &operator=(const TGameCard &Source) = default;

    int Id = 0;
    int Number = 0;            // 0 or less: the card has none
    QString CollectorsNo;
    QString Name;
    AnsiString Language;       // upper case as sent: "EN", "PL", ...
    AnsiString ScanFile;       // the catalogue's own scan of the card
    QString Rarity;
    AnsiString Foil;           // exactly "FOIL" for a foil card
    int SubsetId = 0;
    QString P0;
    QString P1;
    QString Notes;
    int ScanStatus = ScanNone;

    bool IsFoil() const { return Foil == "FOIL"; }

    // The subset's folder name in the scan store; empty for codes without one.
    static AnsiString SubsetCode(int SubsetId);
    // The subset's display name; the code in decimal for codes without one.
    static AnsiString SubsetName(int SubsetId);

    // The card's name made safe for a file name (transliterated, lower case).
    AnsiString FileSafeName() const;
    // The scan file's path relative to a quality folder under the naming option
    // (0 by id, 1 by name, 2 by number; anything else as 0).
    AnsiString ScanFileName(int Naming) const;
};

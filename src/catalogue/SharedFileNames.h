#pragma once

#include "catalogue/CardList.h"

#include <QString>

// Cards whose scans would land in the same files: a list without ids, naming by
// number with numbers missing, naming by name with twins. Their scans replace
// each other unless the operator is warned.
struct TSharedFileNames
{
    int Cards = 0;       // cards that share their file name with at least one other
    QString Example;     // the file name of the first of them, e.g. "0.jpg"
    int FirstRow = -1;   // the list position of the first of them
};

TSharedFileNames FindSharedFileNames(const TCardList &Cards, int Naming);

// Whether a card of the list other than Card (told apart by identity, not by Id)
// is saved under FileName with the naming option Naming; with OnlyScanned, only
// such a card that has a scan counts.
bool AnotherCardHasFileName(const TCardList &Cards, const TGameCard *Card, const AnsiString &FileName,
                            int Naming, bool OnlyScanned = false);

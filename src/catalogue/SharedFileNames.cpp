#include "catalogue/SharedFileNames.h"

#include "platform/AnsiText.h"

#include <QHash>

#include <vector>

TSharedFileNames FindSharedFileNames(const TCardList &Cards, int Naming)
{
    std::vector<AnsiString> names;
    names.reserve(size_t(Cards.Count()));
    QHash<AnsiString, int> uses;
    for (const TCardItem &item : Cards.Items()) {
        names.push_back(item.Card ? item.Card->ScanFileName(Naming) : AnsiString());
        ++uses[names.back()];
    }
    TSharedFileNames shared;
    for (int row = 0; row < Cards.Count(); ++row) {
        const AnsiString &name = names[size_t(row)];
        if (name.isEmpty() || uses.value(name) < 2)
            continue;
        if (shared.FirstRow < 0) {
            shared.FirstRow = row;
            shared.Example = FromAnsi(name);
        }
        ++shared.Cards;
    }
    return shared;
}

bool AnotherCardHasFileName(const TCardList &Cards, const TGameCard *Card, const AnsiString &FileName,
                            int Naming, bool OnlyScanned)
{
    for (const TCardItem &item : Cards.Items())
        if (item.Card && item.Card.get() != Card && (!OnlyScanned || item.Card->ScanStatus != ScanNone)
            && item.Card->ScanFileName(Naming) == FileName)
            return true;
    return false;
}

#include "catalogue/Card.h"

#include <array>
#include <string_view>

namespace {

struct SubsetEntry
{
    std::string_view Code;
    std::string_view Name;
};

// Index = SubsetId. The short codes name folders of existing scan stores and
// must never change. An empty name marks a code without an entry.
constexpr std::array<SubsetEntry, 52> kSubsets = {{
    {"", "Normal"},
    {"foil", "Foil"},
    {"mw", "Masterwork Foils"},
    {"lmw", "Legendary Masterwork Foils"},
    {"trn", "Transparent"},
    {"rf", "Rare Foil"},
    {"pf", "Premium Foil"},
    {"s", "Starter"},
    {"cws", "Clan War Saga foils"},
    {"", ""},
    {"1st", "1st Edition"},
    {"unl", "Unlimited printing"},
    {"rholo", "Reverse Holo"},
    {"1dp", "1st Day Printing"},
    {"sf", "Silver Foil"},
    {"gf", "Gold Foil"},
    {"unlf", "Unlimited Foil"},
    {"plane", "Planes"},
    {"tf", "TF"},
    {"", ""},
    {"", ""},
    {"token", "Token"},
    {"", ""},
    {"", ""},
    {"", ""},
    {"", ""},
    {"", ""},
    {"", ""},
    {"raid", "Raid Deck"},
    {"event", "Event Deck"},
    {"treas", "Treasure"},
    {"spec", "Special"},
    {"tour", "Tournament"},
    {"promo", "Promo"},
    {"video", "Video"},
    {"leagu", "League"},
    {"cloud", "Cloudy Foil"},
    {"rainb", "Rainbow Foil"},
    {"drain", "Double Rainbow Foil"},
    {"reprl", "Reprints Lined Foil"},
    {"reprc", "Reprints Cloudy Foil"},
    {"info", "Info"},
    {"rr", "Royal Rare"},
    {"overs", "Oversized"},
    {"terr", "Territory"},
    {"fba", "Full Bleed Art"},
    {"mispr", "Misprints"},
    {"sectr", "Sector"},
    {"fixed", "Fixed"},
    {"stapl", "Staple"},
    {"ur", "Ultra Rare"},
    {"tokef", "Token Foil"},
}};

const SubsetEntry *findSubset(int SubsetId)
{
    if (SubsetId < 0 || SubsetId >= static_cast<int>(kSubsets.size()))
        return nullptr;
    const SubsetEntry &entry = kSubsets[static_cast<size_t>(SubsetId)];
    return entry.Name.empty() ? nullptr : &entry;
}

AnsiString toAnsi(std::string_view Text)
{
    return AnsiString(Text.data(), static_cast<qsizetype>(Text.size()));
}

} // namespace

AnsiString TGameCard::SubsetCode(int SubsetId)
{
    const SubsetEntry *entry = findSubset(SubsetId);
    return entry ? toAnsi(entry->Code) : AnsiString();
}

AnsiString TGameCard::SubsetName(int SubsetId)
{
    const SubsetEntry *entry = findSubset(SubsetId);
    return entry ? toAnsi(entry->Name) : AnsiString::number(SubsetId);
}

QColor ScanStatusColor(int ScanStatus)
{
    switch (ScanStatus) {
    case ScanNone: return QColor(255, 0, 0);
    case ScanWeb: return QColor(0, 0, 0);
    case ScanMQ: return QColor(0, 128, 0);
    case ScanHQ: return QColor(0, 128, 128);
    case ScanVHQ: return QColor(128, 0, 128);
    default: return QColor(0, 0, 0);
    }
}

QColor CardRowBackground(const TGameCard &Card, int Row)
{
    const bool even = Row % 2 == 0;
    if (Card.IsFoil())
        return even ? QColor(192, 255, 192) : QColor(224, 255, 224);
    return even ? QColor(226, 226, 226) : QColor(245, 245, 245);
}

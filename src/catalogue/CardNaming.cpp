#include "catalogue/Card.h"

// File naming of cards in the scan store: filled in with the scan store work.
AnsiString TGameCard::FileSafeName() const
{
    return {};
}

AnsiString TGameCard::ScanFileName(int Naming) const
{
    Q_UNUSED(Naming);
    return {};
}

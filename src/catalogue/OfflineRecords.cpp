#include "catalogue/OfflineRecords.h"

#include "platform/LocaleFormat.h"

TGame OfflineGame()
{
    TGame game;
    game.Id = 0;
    game.Name = QStringLiteral("Offline");
    game.Code = QStringLiteral("OFFLINE");
    return game;
}

TExpansion TimeNamedExpansion(const QDateTime &When)
{
    TExpansion expansion;
    expansion.Id = 0;
    expansion.Name = FormatDateTime(QStringLiteral("yyyy-mm-dd hh:nn:ss"), When);
    expansion.Code = FormatDateTime(QStringLiteral("yyyy-mm-dd hhnnss"), When);
    return expansion;
}

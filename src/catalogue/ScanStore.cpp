#include "catalogue/ScanStore.h"

#include "platform/AppPaths.h"

QString ScanStoreRoot()
{
    return ExeDir() + QStringLiteral("pics") + PathDelim;
}

TStorePaths GetStorePaths(const TGame *Game, const TExpansion *Expansion)
{
    const QString root = ScanStoreRoot();
    QString sub;
    if (Game)
        sub += FromAnsi(AnsiLowerCase(ToAnsi(Game->Code))) + PathDelim;
    if (Expansion)
        sub += FromAnsi(AnsiLowerCase(ToAnsi(Expansion->Code))) + PathDelim;
    TStorePaths paths;
    paths.WebDir = root + QStringLiteral("WEB") + PathDelim + sub;
    paths.MqDir = root + QStringLiteral("MQ") + PathDelim + sub;
    paths.HqDir = root + QStringLiteral("HQ") + PathDelim + sub;
    paths.VhqDir = root + QStringLiteral("VHQ") + PathDelim + sub;
    return paths;
}

#include "catalogue/ScanStore.h"

#include "catalogue/StoreFolder.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <array>

AnsiString SafeFolderName(const AnsiString &Name)
{
    AnsiString folder;
    folder.reserve(Name.size());
    for (const char c : Name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F)
            continue;
        folder += c;
    }
    if (folder.count('.') == folder.size())
        return {};
    return folder;
}

QString ScanStoreRoot()
{
    const QString chosen = StoreFolder();
    return chosen.isEmpty() ? DefaultScanStoreRoot() : IncludeTrailingPathDelimiter(chosen);
}

QString DefaultScanStoreRoot()
{
    return ScanDataDir() + QStringLiteral("pics") + PathDelim;
}

TStorePaths GetStorePaths(const TGame *Game, const TExpansion *Expansion)
{
    const QString root = ScanStoreRoot();
    QString sub;
    const auto addFolder = [&sub](const QString &Code) {
        const AnsiString folder = SafeFolderName(AnsiLowerCase(ToAnsi(Code)));
        if (!folder.isEmpty())
            sub += FromAnsi(folder) + PathDelim;
    };
    if (Game)
        addFolder(Game->Code);
    if (Expansion)
        addFolder(Expansion->Code);
    TStorePaths paths;
    paths.WebDir = root + QStringLiteral("WEB") + PathDelim + sub;
    paths.MqDir = root + QStringLiteral("MQ") + PathDelim + sub;
    paths.HqDir = root + QStringLiteral("HQ") + PathDelim + sub;
    paths.VhqDir = root + QStringLiteral("VHQ") + PathDelim + sub;
    return paths;
}

namespace {

// A folder of the same name must not count as a scan.
bool scanFileExists(const QString &Path)
{
    return QFileInfo(Path).isFile();
}

// The catalogue's file name as a path below a quality folder, or nothing when it
// is empty or would lead out of that folder.
std::optional<QString> catalogueScanPath(const AnsiString &ScanFile)
{
    if (ScanFile.isEmpty() || ScanFile.contains('\0'))
        return std::nullopt;
    QString path = FromAnsi(ScanFile);
    path.replace(QLatin1Char('\\'), PathDelim);
    if (path.startsWith(PathDelim))
        return std::nullopt;
    const QStringList parts = path.split(PathDelim);
    // "C:" leads to another drive where the catalogue's names were written.
    const QString &first = parts.constFirst();
    if (first.size() == 2 && first.at(1) == QLatin1Char(':') && first.at(0).isLetter())
        return std::nullopt;
    for (const QString &part : parts)
        if (part == QLatin1String(".."))
            return std::nullopt;
    return path;
}

// Adds the files below Dir to Files as paths relative to the quality folder,
// going Depth levels of sub-folders down.
void listFolder(const QString &Dir, const QString &Prefix, int Depth, QSet<QString> &Files)
{
    QDirIterator it(Dir, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isFile())
            Files.insert(Prefix + info.fileName());
        else if (info.isDir() && Depth > 0)
            listFolder(info.filePath(), Prefix + info.fileName() + PathDelim, Depth - 1, Files);
    }
}

// The scan files of one quality folder of a set, read in one go so that a whole
// card list is marked with look-ups in memory: the folder itself and the two
// levels of sub-folders (subset, language) that a scan's name may begin with.
QSet<QString> listScanFiles(const QString &QualityDir)
{
    QSet<QString> files;
    listFolder(QualityDir, QString(), 2, files);
    return files;
}

} // namespace

void MarkLocalScans(const TGame *Game, const TExpansion *Expansion, TCardList &Cards,
                    int Naming)
{
    const TStorePaths dirs = GetStorePaths(Game, Expansion);
    const QSet<QString> vhq = listScanFiles(dirs.VhqDir);
    const QSet<QString> hq = listScanFiles(dirs.HqDir);
    const QSet<QString> mq = listScanFiles(dirs.MqDir);
    const bool noScans = vhq.isEmpty() && hq.isEmpty() && mq.isEmpty();
    for (int i = 0; i < Cards.Count(); ++i) {
        TGameCard *card = Cards.Objects(i);
        if (!card)
            continue;
        card->ScanStatus = card->ScanFile.isEmpty() ? ScanNone : ScanWeb;
        if (noScans)
            continue;
        const QString name = FromAnsi(card->ScanFileName(Naming));
        if (vhq.contains(name))
            card->ScanStatus = ScanVHQ;
        else if (hq.contains(name))
            card->ScanStatus = ScanHQ;
        else if (mq.contains(name))
            card->ScanStatus = ScanMQ;
    }
}

std::optional<TFoundScan> FindCardScan(TGameCard &Card, const TStorePaths &Dirs)
{
    struct TFolder
    {
        const QString &Dir;
        int Level;
    };
    const std::array<TFolder, 4> folders = {{
        {Dirs.VhqDir, ScanVHQ},
        {Dirs.HqDir, ScanHQ},
        {Dirs.MqDir, ScanMQ},
        {Dirs.WebDir, ScanWeb},
    }};

    auto found = [&Card](const QString &Path, int Level) {
        Card.ScanStatus = Level;
        return std::optional<TFoundScan>(TFoundScan{Path, Level});
    };

    // An empty ScanFile names the folder itself, which never matches: no test needed.
    if (const std::optional<QString> scanFile = catalogueScanPath(Card.ScanFile)) {
        for (const TFolder &folder : folders)
            if (scanFileExists(folder.Dir + *scanFile))
                return found(folder.Dir + *scanFile, folder.Level);
    }

    const std::array<QString, 3> names = {
        FromAnsi(Card.ScanFileName(1)),
        FromAnsi(Card.ScanFileName(2)),
        FromAnsi(Card.ScanFileName(0)),
    };
    for (const TFolder &folder : folders)
        for (const QString &name : names)
            if (scanFileExists(folder.Dir + name))
                return found(folder.Dir + name, folder.Level);
    return std::nullopt;
}

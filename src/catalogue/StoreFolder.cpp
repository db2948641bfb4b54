#include "catalogue/StoreFolder.h"

#include "platform/MessageCatalogue.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {
QString storeFolder;
}

QString StoreFolderProblem(const QString &Folder)
{
    const QFileInfo info(Folder);
    if (!info.exists())
        return _("it does not exist");
    if (!info.isDir())
        return _("it is not a folder");
    // Permission bits do not tell the truth on every network share: try it.
    QTemporaryFile probe(QDir(Folder).filePath(QStringLiteral(".vellumora-store-check-XXXXXX")));
    if (!probe.open())
        return _("it cannot be written");
    return {};
}

TStoreFolderChoice ChooseStoreFolder(const QString &Setting)
{
    TStoreFolderChoice choice;
    const QString environment = qEnvironmentVariable("VELLUMORA_STORE");
    choice.Wanted = environment.isEmpty() ? Setting : environment;
    if (!choice.Wanted.isEmpty())
        choice.Problem = StoreFolderProblem(choice.Wanted);
    return choice;
}

void SetStoreFolder(const QString &Folder)
{
    storeFolder = Folder.isEmpty() ? QString() : QDir(Folder).absolutePath();
}

QString StoreFolder()
{
    return storeFolder;
}

QHash<QString, qint64> ReadStoreFileTimes(const TStorePaths &Paths)
{
    QHash<QString, qint64> times;
    for (const QString &folder : {Paths.WebDir, Paths.MqDir, Paths.HqDir, Paths.VhqDir}) {
        if (folder.isEmpty())
            continue;
        QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            files.next();
            times.insert(files.filePath(), files.fileInfo().lastModified().toMSecsSinceEpoch());
        }
    }
    return times;
}

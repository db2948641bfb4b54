// Two stations scanning one set into one shared store, each in its own process
// and HOME, as a shop with two scanners runs them.
#include "../download/CatalogueServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace {

const char *const kArea = "[Std]\nQuality=300\nUnits=0\nLeft=0.1\nTop=0.1\nWidth=2.5\nHeight=3.5\n";

class TStation
{
public:
    TStation(const QString &Home, const QString &Store, const QString &CatalogueHost)
    {
        QDir().mkpath(Home + QStringLiteral("/.local/share/Quorvath/Vellu Mora"));
        QDir().mkpath(Home + QStringLiteral("/.config/Quorvath"));
        QFile areas(Home + QStringLiteral("/.local/share/Quorvath/Vellu Mora/scan areas.ini"));
        EXPECT_TRUE(areas.open(QIODevice::WriteOnly) && areas.write(kArea) > 0);
        QFile settings(Home + QStringLiteral("/.config/Quorvath/Vellumora.conf"));
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly) && settings.write("[General]\nFileNames=0\n") > 0);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), Home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Home + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), Home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), Home + QStringLiteral("/.local/state"));
        environment.insert(QStringLiteral("VELLUMORA_STORE"), Store);
        environment.insert(QStringLiteral("VELLUMORA_CATALOGUE_HOST"), CatalogueHost);
        environment.insert(QStringLiteral("VELLUMORA_VFB_SCAN_MS"), QStringLiteral("0"));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(STATION_PATH));
        EXPECT_TRUE(process_.waitForStarted(10000));
    }
    ~TStation()
    {
        Send("quit");
        if (!process_.waitForFinished(10000))
            process_.kill();
    }

    void Send(const QByteArray &Command) { process_.write(Command + '\n'); }

    // The next answer line; messages the station showed on the way are kept apart.
    QString Answer()
    {
        for (;;) {
            while (!process_.canReadLine())
                if (!process_.waitForReadyRead(60000))
                    return QStringLiteral("(no answer)");
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            if (!line.startsWith(u"message: "))
                return line;
            Messages << line;
        }
    }

    QStringList Messages;

private:
    QProcess process_;
};

} // namespace

TEST(Stations, TwoStationsScanOneSetIntoOneStoreAndSeeEachOthersWork)
{
    TCatalogueServer server = TCatalogueServer::Data(QStringLiteral(DEMO_CATALOGUE_DIR));
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("shared store"));
    QDir().mkpath(store);
    TStation first(dir.filePath(QStringLiteral("first")), store, server.HostSetting());
    TStation second(dir.filePath(QStringLiteral("second")), store, server.HostSetting());
    for (TStation *station : {&first, &second}) {
        station->Send("download Ironvale_Chronicles First_Dawn");
        ASSERT_EQ(station->Answer(), QStringLiteral("cards 480"));
    }

    // Interleaved: both stations scan at the same moments, into the same folders.
    constexpr int kCardsEach = 20;
    for (int i = 0; i < kCardsEach; ++i) {
        first.Send(QStringLiteral("scan %1 Std").arg(2 * i).toLatin1());
        second.Send(QStringLiteral("scan %1 Std").arg(2 * i + 1).toLatin1());
        EXPECT_EQ(first.Answer(), QStringLiteral("scanned %1 3").arg(2 * i));
        EXPECT_EQ(second.Answer(), QStringLiteral("scanned %1 3").arg(2 * i + 1));
    }

    // After a refresh each window shows every card either of them scanned.
    for (TStation *station : {&first, &second}) {
        station->Send("refresh");
        const QStringList statuses = station->Answer().split(u' ').mid(1);
        ASSERT_EQ(statuses.size(), 480);
        for (int row = 0; row < 2 * kCardsEach; ++row)
            EXPECT_EQ(statuses[row], QStringLiteral("3")) << row;
        EXPECT_TRUE(station->Messages.isEmpty()) << station->Messages.join(u'\n').toStdString();
    }

    // Every file whole: no half-written file, no leftover part-file.
    int fullSize = 0;
    int web = 0;
    QDirIterator files(store, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        ASSERT_TRUE(path.endsWith(u".jpg")) << path.toStdString();
        QImageReader reader(path);
        const QImage picture = reader.read();
        ASSERT_FALSE(picture.isNull()) << path.toStdString();
        if (path.contains(u"/HQ/")) {
            EXPECT_EQ(picture.size(), QSize(750, 1050));
            ++fullSize;
        } else if (path.contains(u"/WEB/")) {
            EXPECT_EQ(picture.size(), QSize(375, 525));
            ++web;
        }
    }
    EXPECT_EQ(fullSize, 2 * kCardsEach);
    EXPECT_EQ(web, 2 * kCardsEach);
}

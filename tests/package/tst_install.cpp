// The installed copy, as `cmake --install` lays it out in a temporary prefix: its
// programs run from there, and the application's own lookups (run here against
// that prefix) find the data source manager, the message catalogues and the
// per-user scan store.
#include "app/CardListModel.h"
#include "catalogue/ScanStore.h"
#include "platform/AppPaths.h"
#include "platform/MessageCatalogue.h"
#include "scanner/DsmLibrary.h"
#include "scanner/TwainManager.h"
#include "scanner/TwainSource.h"
#include "scanareas/ScanAreas.h"
#include "scanner/FormSelectSource.h"
#include "support/AppFixture.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QTableView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace {

// One installation for the whole executable: installing is the slow part.
class InstalledCopy : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The installed flatbed scans at once, as the build's does in the other tests.
        qputenv("VELLUMORA_VFB_SCAN_MS", "0");
        prefixDir_ = new QTemporaryDir;
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(VELLUMORA_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(VELLUMORA_BUILD_DIR),
                       QStringLiteral("--prefix"), prefixDir_->path()});
        installed_ = install.waitForFinished(60000) && install.exitStatus() == QProcess::NormalExit
                     && install.exitCode() == 0;
        installLog_ = QString::fromLocal8Bit(install.readAll());
    }
    static void TearDownTestSuite()
    {
        delete prefixDir_;
        prefixDir_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed_) << installLog_.toStdString(); }
    void TearDown() override { SetExeDirOverride({}); }

    static QString Prefix() { return prefixDir_->path() + u'/'; }

    // Runs an installed program without any display, as from a terminal or ssh.
    struct TRun
    {
        int Code = -1;
        QString Out;
    };
    static TRun Run(const QString &Program, const QStringList &Arguments,
                    const QProcessEnvironment &Environment = bareEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(Environment);
        process.start(Prefix() + QStringLiteral("bin/") + Program, Arguments);
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardOutput())};
    }
    static QProcessEnvironment bareEnvironment()
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return environment;
    }

    static inline QTemporaryDir *prefixDir_ = nullptr;
    static inline bool installed_ = false;
    static inline QString installLog_;
};

} // namespace

TEST_F(InstalledCopy, ProgramsAnswerVersionAndHelpWithoutADisplay)
{
    for (const QString &program :
         {QStringLiteral("vellumora"), QStringLiteral("vellumora-webcopy"),
          QStringLiteral("vellumora-catalogue-server"), QStringLiteral("vellumora-cards")}) {
        const TRun version = Run(program, {QStringLiteral("--version")});
        EXPECT_EQ(version.Code, 0) << program.toStdString();
        EXPECT_EQ(version.Out, program + QStringLiteral(" (Vellumora) 1.3.3.20\n"));
        const TRun help = Run(program, {QStringLiteral("--help")});
        EXPECT_EQ(help.Code, 0) << program.toStdString();
        EXPECT_TRUE(help.Out.contains(QStringLiteral("sage: ") + program)) << help.Out.toStdString();
        EXPECT_TRUE(help.Out.contains(QStringLiteral("--version"))) << program.toStdString();
    }
}

// The installed application itself starts offscreen in a fresh HOME and ends on
// SIGTERM as from File, Exit: its run log, named after the installed
// executable, shows both.
TEST_F(InstalledCopy, ApplicationStartsAndEndsCleanly)
{
    TTestEnvironment env;
    const QString logDir = env.Path(QStringLiteral("home/.local/state/Vellumora/log"));
    ASSERT_TRUE(QDir().mkpath(logDir));
    QProcessEnvironment environment = bareEnvironment();
    environment.insert(QStringLiteral("HOME"), env.Path(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), qEnvironmentVariable("XDG_STATE_HOME"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), qEnvironmentVariable("XDG_DATA_HOME"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), qEnvironmentVariable("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess app;
    app.setProcessEnvironment(environment);
    app.start(Prefix() + QStringLiteral("bin/vellumora"), {});
    ASSERT_TRUE(app.waitForStarted());
    // Waits until the application handles SIGTERM itself (its caught-signal mask
    // says so), not for a length of time: a signal sent earlier would kill it outright.
    const auto handlesTerm = [&app]() -> bool {
        QFile status(QStringLiteral("/proc/%1/status").arg(app.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        return false;
    };
    const QDeadlineTimer deadline(30000);
    while (!handlesTerm() && !deadline.hasExpired() && app.state() == QProcess::Running)
        QThread::msleep(10);
    ASSERT_TRUE(handlesTerm()) << app.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    QFile log(logDir + QStringLiteral("/vellumora000.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray lines = log.readAll();
    EXPECT_TRUE(lines.contains("Vellumora started") && lines.contains("Vellumora closed"))
        << lines.constData();
}

TEST_F(InstalledCopy, FindsItsDataSourceManager)
{
    SetExeDirOverride(Prefix() + QStringLiteral("bin"));
    const QString libDir = Prefix() + QStringLiteral("lib/vellumora/");
    EXPECT_TRUE(DefaultDsmSearchFolders().contains(libDir));

    QObject window;
    TTwainManager manager(&window);
    manager.DsmSearchFolders = {InstalledLibDir()};
    ASSERT_TRUE(manager.LoadDsm());
    EXPECT_EQ(manager.DsmModule().FileName(), libDir + QLatin1String(DsmFileName));
    ASSERT_TRUE(manager.OpenManager());
    QByteArrayList names;
    for (int i = 0; i < manager.NumSources(); ++i)
        names << manager.SourceAt(i)->ProductName();
    EXPECT_TRUE(names.contains("Virtual Flatbed")) << names.join(", ").toStdString();
    manager.CloseManager();
    manager.UnloadDsm();
}

// The package's catalogues carry its own text domain in the folder every program
// shares, and the installed program speaks them, down to --help in a terminal.
TEST_F(InstalledCopy, SpeaksGermanAndPolishFromItsOwnCatalogues)
{
    for (const QString &language : {QStringLiteral("de"), QStringLiteral("pl")}) {
        const QString dir = Prefix() + QStringLiteral("share/locale/%1/LC_MESSAGES/").arg(language);
        EXPECT_TRUE(QFile::exists(dir + QStringLiteral("vellumora.mo"))) << dir.toStdString();
        EXPECT_FALSE(QFile::exists(dir + QStringLiteral("default.mo"))) << dir.toStdString();
    }
    SetExeDirOverride(Prefix() + QStringLiteral("bin"));
    const TCatalogueLocation location = MessageCatalogueLocation();
    EXPECT_EQ(location.TextDomain, QByteArrayLiteral("vellumora"));
    qputenv("LANGUAGE", "pl");
    InitMessageCatalogue(location);
    EXPECT_EQ(_("Scanner"), QStringLiteral("Skaner"));
    qunsetenv("LANGUAGE");
    InitMessageCatalogue({QStringLiteral("/nonexistent"), QByteArrayLiteral("default")});

    struct
    {
        const char *Variable, *Value, *FirstWords;
    } const cases[] = {
        {"LANGUAGE", "de", "Aufruf: vellumora"},
        {"LANGUAGE", "pl", "Użycie: vellumora"},
        {"LANG", "de_DE.UTF-8", "Aufruf: vellumora"},   // whether or not that locale is installed
        {"LANGUAGE", "fr", "Usage: vellumora"},         // no catalogue: as written
    };
    for (const auto &c : cases) {
        // No LC_ALL: the language variable alone decides, as for a user who never chose a locale.
        QProcessEnvironment environment = bareEnvironment();
        environment.remove(QStringLiteral("LC_ALL"));
        environment.insert(QString::fromLatin1(c.Variable), QString::fromLatin1(c.Value));
        const TRun help = Run(QStringLiteral("vellumora"), {QStringLiteral("--help")}, environment);
        EXPECT_EQ(help.Code, 0);
        EXPECT_TRUE(help.Out.startsWith(QString::fromUtf8(c.FirstWords)))
            << c.Variable << "=" << c.Value << ": " << help.Out.toStdString();
    }
}

// Scans go beside the executable only where it may write and is no installed
// copy; otherwise they go to the user's data folder, where an uninstall leaves them.
TEST_F(InstalledCopy, KeepsScansInTheUsersDataFolder)
{
    TTestEnvironment env;
    const QString userStore = env.Path(QStringLiteral("home/.local/share/Vellumora/pics/"));
    const QString readOnly = env.Path(QStringLiteral("read-only/"));
    QDir().mkpath(readOnly);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    struct
    {
        QString ExeDir;
        QString Store;
        bool Applies;
    } const cases[] = {
        {Prefix() + QStringLiteral("bin/"), userStore, true},
        {env.ExeDir(), env.ExeDir() + QStringLiteral("pics/"), true},
        // Root may write anywhere, so only others can see a read-only folder.
        {readOnly, userStore, ::geteuid() != 0},
    };
    for (const auto &c : cases) {
        if (!c.Applies)
            continue;
        SetExeDirOverride(c.ExeDir);
        EXPECT_EQ(ScanStoreRoot(), c.Store) << c.ExeDir.toStdString();
        EXPECT_EQ(GetStorePaths(nullptr, nullptr).HqDir, c.Store + QStringLiteral("HQ/"));
    }
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                        | QFileDevice::ExeOwner);
}

// What a shop does after installing: a scan with the installed Virtual Flatbed,
// found through the application's own search folders, lands in the user's store.
TEST_F(InstalledCopy, ScanLandsInTheUsersStore)
{
    TAppFixture app;
    SetExeDirOverride(Prefix() + QStringLiteral("bin"));
    const QString userData = app.Env.Path(QStringLiteral("home/.local/share/Vellumora/"));
    EXPECT_EQ(TfrmMain().OpenDialog.InitialDir, userData);

    TfrmMain &main = app.Main();
    app.Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"),
                      "[Std]\nQuality=300\nUnits=0\nLeft=0\nTop=0\nWidth=2.5\nHeight=3.5\n");
    app.Forms.frmScanAreas->LoadScanAreas();
    main.Twain->DsmSearchFolders = DefaultDsmSearchFolders();
    TGame game;
    game.Code = QStringLiteral("XY");
    TExpansion set;
    set.Code = QStringLiteral("ABC");
    TGameCard card;
    card.Id = 1;
    card.Name = QStringLiteral("Card 1");
    main.AcceptDownloadedList(game, set, {&card});
    main.SetStorePaths(GetStorePaths(&game, &set));
    app.Dialogs.QueueModal([](QDialog &Dialog) {
        EXPECT_EQ(static_cast<TFormSelectSource &>(Dialog).lbSources->item(0)->text(),
                  QStringLiteral("Virtual Flatbed"));
        return int(QDialog::Accepted);
    });
    main.vstCards->selectionModel()->setCurrentIndex(
        main.CardsModel->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    main.cbFormat->setCurrentIndex(main.cbFormat->findText(QStringLiteral("Std")));
    main.mnAcquireImageClick();
    main.Twain->Poll();

    EXPECT_EQ(main.Twain->DsmModule().FileName(),
              Prefix() + QStringLiteral("lib/vellumora/") + QLatin1String(DsmFileName));
    EXPECT_TRUE(QFileInfo(userData + QStringLiteral("pics/HQ/xy/abc/1.jpg")).isFile());
    EXPECT_TRUE(QFileInfo(userData + QStringLiteral("pics/WEB/xy/abc/1.jpg")).isFile());
    main.Twain->ResetConnection();
}

// A crash while saving must never cost an earlier file: the writer is killed
// at every change it makes to its folders in turn, and every file it touches
// must afterwards hold the whole earlier or the whole later save. A full disk
// during a scan must leave the earlier scan in place and tell the operator.

#include "hardening/FaultContent.h"
#include "output/SaveJpeg.h"
#include "scanareas/ScanAreaStore.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>

extern char **environ;

namespace {

QByteArray readAll(const QString &Name)
{
    QFile file(Name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &Name, const QByteArray &Bytes)
{
    QDir().mkpath(QFileInfo(Name).path());
    QFile file(Name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(Bytes), Bytes.size());
}

struct TRun
{
    bool Killed = false;
    int ExitCode = -1;
};

// Runs the fault writer with Args and kills it with SIGKILL at its KillAt-th
// change to the folders (0: never). Nothing here waits for a time: the events
// and the writer's end are both waited for with poll.
TRun runWriter(const QStringList &Args, const QStringList &Folders, int KillAt)
{
    const int events = inotify_init1(IN_CLOEXEC);
    for (const QString &folder : Folders)
        inotify_add_watch(events, QFile::encodeName(folder).constData(),
                          IN_CREATE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM
                              | IN_MOVED_TO | IN_DELETE);
    // The writer holds the pipe's write end; its end, however it comes, is the
    // pipe's end.
    int gone[2];
    if (pipe2(gone, O_CLOEXEC) != 0)
        return {};
    fcntl(gone[1], F_SETFD, 0);

    std::vector<QByteArray> argBytes{QByteArray(HARDENING_WRITER)};
    for (const QString &arg : Args)
        argBytes.push_back(QFile::encodeName(arg));
    std::vector<char *> argv;
    for (QByteArray &arg : argBytes)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, HARDENING_WRITER, nullptr, nullptr, argv.data(), environ);
    close(gone[1]);
    if (spawned != 0) {
        close(gone[0]);
        close(events);
        return {};
    }

    bool killSent = false;
    int seen = 0;
    while (!killSent) {
        pollfd fds[2] = {{events, POLLIN, 0}, {gone[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        // Events first: the writer's last changes are queued before its end shows.
        if (fds[0].revents & POLLIN) {
            alignas(inotify_event) char buffer[8192];
            const ssize_t n = read(events, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n && !killSent;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (++seen == KillAt) {
                    kill(pid, SIGKILL);
                    killSent = true;
                }
            }
            continue;
        }
        if (fds[1].revents)
            break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(gone[0]);
    close(events);
    TRun run;
    run.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// One kind of save: the writer's arguments for a seed, the folders it changes
// and the files that must stay whole.
struct TSaveKind
{
    const char *Name;
    std::function<QStringList(const TTestEnvironment &, int Seed)> Args;
    std::function<QStringList(const TTestEnvironment &)> Folders;
    std::function<QStringList(const TTestEnvironment &)> Files;
};

QString settingsFile(const TTestEnvironment &Env)
{
    return Env.Path(QStringLiteral("home/.config/Quorvath/Vellumora.conf"));
}

const TSaveKind kSaveKinds[] = {
    {"scan",
     [](const TTestEnvironment &Env, int Seed) {
         return QStringList{"scan", Env.Path("pics/HQ/card.jpg"), Env.Path("pics/WEB/card.jpg"),
                            QString::number(Seed)};
     },
     [](const TTestEnvironment &Env) { return QStringList{Env.Path("pics/HQ"), Env.Path("pics/WEB")}; },
     [](const TTestEnvironment &Env) {
         return QStringList{Env.Path("pics/HQ/card.jpg"), Env.Path("pics/WEB/card.jpg")};
     }},
    {"scan areas",
     [](const TTestEnvironment &Env, int Seed) {
         return QStringList{"areas", Env.Path("data"), QString::number(Seed)};
     },
     [](const TTestEnvironment &Env) { return QStringList{Env.Path("data")}; },
     [](const TTestEnvironment &Env) {
         return QStringList{Env.Path("data/") + ScanAreaStoreName(),
                            Env.Path("data/") + ScanAreaBackupName()};
     }},
    {"settings",
     [](const TTestEnvironment &, int Seed) {
         return QStringList{"settings", QString::number(Seed)};
     },
     [](const TTestEnvironment &Env) { return QStringList{QFileInfo(settingsFile(Env)).path()}; },
     [](const TTestEnvironment &Env) { return QStringList{settingsFile(Env)}; }},
};

TEST(Faults, KilledAtEveryStepOfASaveLeavesEveryFileWhole)
{
    for (const TSaveKind &kind : kSaveKinds) {
        SCOPED_TRACE(kind.Name);
        TTestEnvironment env;
        const QStringList files = kind.Files(env);
        // The callers create the folders; the savers never do.
        for (const QString &folder : kind.Folders(env))
            QDir().mkpath(folder);

        // The later save's content, then the earlier one's on top of it: the
        // state each killed save starts from holds both (the store's backup).
        ASSERT_EQ(runWriter(kind.Args(env, 2), {}, 0).ExitCode, 0);
        std::map<QString, QByteArray> later;
        for (const QString &file : files)
            later[file] = readAll(file);
        ASSERT_EQ(runWriter(kind.Args(env, 1), {}, 0).ExitCode, 0);
        std::map<QString, QByteArray> before;
        for (const QString &file : files)
            before[file] = readAll(file);
        ASSERT_FALSE(before[files[0]].isEmpty());
        ASSERT_NE(before[files[0]], later[files[0]]);

        int kills = 0;
        for (int killAt = 1;; ++killAt) {
            for (const QString &file : files)
                if (!before[file].isEmpty())
                    writeAll(file, before[file]);
            const TRun run = runWriter(kind.Args(env, 2), kind.Folders(env), killAt);
            if (!run.Killed) {
                EXPECT_EQ(run.ExitCode, 0);
                break;
            }
            ++kills;
            for (const QString &file : files) {
                const QByteArray now = readAll(file);
                EXPECT_FALSE(now.isEmpty() && !before[file].isEmpty())
                    << qPrintable(file) << " lost when killed at change " << killAt;
                EXPECT_TRUE(now == before[file] || now == later[file] || now == before[files[0]])
                    << qPrintable(file) << " damaged when killed at change " << killAt;
            }
            if (kind.Name == std::string("scan areas")) {
                const size_t count = ReadScanAreaStore(files[0]).size();
                EXPECT_TRUE(count == FaultScanAreas(1).size() || count == FaultScanAreas(2).size());
            }
        }
        EXPECT_GT(kills, 0);
        std::printf("%s: killed at %d changes, every file whole\n", kind.Name, kills);

        // The next save after the crashes, with whatever they left behind.
        ASSERT_EQ(runWriter(kind.Args(env, 2), {}, 0).ExitCode, 0);
        EXPECT_EQ(readAll(files[0]), later[files[0]]);
    }
}

TEST(Faults, FullDiskDuringAScanKeepsTheEarlierScanAndTellsTheOperator)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    const QString disk = env.Path(QStringLiteral("disk"));
    QDir().mkpath(disk);
    if (mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "mounting a 1 MB tmpfs is not permitted here (" << std::strerror(errno)
                     << "); run as root to test a full disk";
    struct TUnmount
    {
        QByteArray Dir;
        ~TUnmount() { umount2(Dir.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(disk)};

    const QString hq = disk + QStringLiteral("/HQ/card.jpg");
    const QString web = disk + QStringLiteral("/WEB/card.jpg");
    QDir().mkpath(disk + QStringLiteral("/HQ"));
    QDir().mkpath(disk + QStringLiteral("/WEB"));
    const auto save = [&](const QImage &Picture) {
        SaveHqAndWebJpeg(Picture, hq, 280, 80, web, double(Picture.width()) / Picture.height(),
                         QStringLiteral("Vellumora"), {});
    };
    QImage small(64, 90, QImage::Format_RGB32);
    small.fill(Qt::darkGreen);
    save(small);
    ASSERT_TRUE(dialogs.Messages.empty());
    const QByteArray hqBefore = readAll(hq);
    const QByteArray webBefore = readAll(web);

    {
        QFile filler(disk + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    save(FaultScanPicture(3));

    EXPECT_EQ(dialogs.Texts(),
              QStringList({QStringLiteral("Cannot save JPEG file!"),
                           QStringLiteral("Cannot save scaled JPEG file!")}));
    EXPECT_EQ(readAll(hq), hqBefore);
    EXPECT_EQ(readAll(web), webBefore);
    // No half-written file is left to fill the disk further.
    EXPECT_EQ(QDir(disk + QStringLiteral("/HQ")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("card.jpg")});
    EXPECT_EQ(QDir(disk + QStringLiteral("/WEB")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("card.jpg")});

    // Once there is room again the same scan is saved.
    ASSERT_TRUE(QFile::remove(disk + QStringLiteral("/filler")));
    dialogs.Messages.clear();
    save(FaultScanPicture(3));
    EXPECT_TRUE(dialogs.Messages.empty());
    EXPECT_NE(readAll(hq), hqBefore);
}

} // namespace

// Opening a set as the download dialog does it, from the answer's bytes on a
// loopback server to a painted grid with the local scans marked: 100,000 cards
// must take well under a second, and the largest answer the client accepts
// (64 MiB, 200,000 cards) under 2 s and 400 MB at its peak.
#include "download/DownloadCardModel.h"
#include "download/DownloadCards.h"
#include "download/DownloadData.h"

#include "catalogue/ScanStore.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

constexpr int CardCount = 100'000;

// An answer as the catalogue sends it: UTF-8 with its signature, quoted names
// with accents, four languages, a few rarities and subsets, some foils.
QByteArray makeAnswer(int Count)
{
    static const char *const names[] = {"\"Ember Archer\"", "\"Łódź Warden\"", "\"Stone Golem\"",
                                        "\"Żar Mystic\"", "Wisp", "\"Émeraude Seer\""};
    static const char *const languages[] = {"EN", "DE", "PL", "FR"};
    static const char *const rarities[] = {"C", "U", "R", "M"};
    QByteArray body = "\xEF\xBB\xBF";
    body.reserve(Count * 70);
    for (int i = 0; i < Count; ++i) {
        body += QByteArray::number(100'000 + i) + ',' + names[i % 6] + ',' + languages[i % 4] + ','
                + QByteArray::number(i / 8) + ",01-" + QByteArray::number(i / 8) + ','
                + (i % 3 ? QByteArray() : QByteArray::number(i) + ".jpg") + ',' + rarities[i % 7 % 4]
                + ',' + (i % 5 ? "" : "FOIL") + ',' + (i % 9 ? "0" : "10") + ",Creature,Human,\r\n";
    }
    return body;
}

// The largest answer the client takes: 200,000 cards in just under 64 MiB,
// long quoted names and notes, every card its own collector's number, and
// with DistinctRarities its own rarity too.
QByteArray makeLargestAnswer(bool DistinctRarities)
{
    constexpr int count = 200'000;
    constexpr qsizetype limit = (64 << 20) - 4096;
    const QByteArray notes = '"' + QByteArray(150, 'n') + '"';
    QByteArray body;
    body.reserve(limit);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "\"Card " + QByteArray::number(i) + ' ' + QByteArray(90, 'x') + '"';
        const QByteArray rarity = DistinctRarities ? 'R' + QByteArray::number(i) : QByteArray("C");
        body += QByteArray::number(i + 1) + ',' + name + ",EN," + QByteArray::number(i) + ",c"
                + QByteArray::number(i) + ",," + rarity + ",,0,Creature,Human," + notes + "\r\n";
    }
    if (body.size() > limit)
        qFatal("the largest answer is over the limit: %lld bytes", static_cast<long long>(body.size()));
    return body;
}

QByteArray ok(const QByteArray &Body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(Body.size()) + "\r\n\r\n" + Body;
}

// Our catalogue server answering every request with the same bytes.
class TRawServer
{
public:
    explicit TRawServer(const QByteArray &Answer)
    {
        QFile file(dir_.filePath(QStringLiteral("answer")));
        if (!file.open(QIODevice::WriteOnly) || file.write(Answer) != Answer.size())
            qFatal("cannot write the answer");
        file.close();
        process_.start(QStringLiteral(CATALOGUE_SERVER_PATH),
                       {"--port", "0", "--raw", file.fileName()});
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(60'000))
                qFatal("the catalogue server did not start");
        const QByteArray line = process_.readLine().trimmed();
        qputenv("VELLUMORA_CATALOGUE_HOST", "127.0.0.1:" + line.mid(line.lastIndexOf(' ') + 1));
    }
    ~TRawServer()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
};

// A message would wait for a user who is not there: it ends the benchmark.
class TNoMessages : public TDialogService
{
public:
    void ShowMessage(QWidget *, const QString &, const QString &Text, TMsgDlgType, bool) override
    {
        qFatal("message: %s", qPrintable(Text));
    }
    QString GetOpenFileName(QWidget *, const QString &, const QString &) override { return {}; }
    QString GetExistingDirectory(QWidget *, const QString &, const QString &) override { return {}; }
    int ExecModal(QDialog &) override { return 0; }
    bool AskYesNo(QWidget *, const QString &, const QString &) override { return false; }
    void Beep() override {}
};

// The dialog with a game and set chosen, shown offscreen.
struct TDialog
{
    TfrmDownloadData Form;

    TDialog()
    {
        Form.SetNetworkCheck([] { return false; });
        Form.Game = std::make_unique<TGame>();
        Form.Game->Code = QStringLiteral("benchgame");
        Form.Expansion = std::make_unique<TExpansion>();
        Form.Expansion->Code = QStringLiteral("benchset");
        Form.show();
    }

    // As opening a set does it; the grid paints its first screen.
    void OpenSet(benchmark::State &State, int Expected)
    {
        Form.LoadCards(1);
        benchmark::DoNotOptimize(Form.vstCards->viewport()->grab());
        if (Form.Cards.Count() != Expected)
            State.SkipWithError("cards lost");
    }
};

// Scans of every tenth card of a list, spread over the three quality folders.
void writeStore(const TCardList &Cards, int Every)
{
    const TStorePaths dirs = GetStorePaths(nullptr, nullptr);
    const QString folders[] = {dirs.MqDir, dirs.HqDir, dirs.VhqDir};
    for (int i = 0; i < Cards.Count(); i += Every) {
        const QString path = folders[(i / Every) % 3] + QStringLiteral("benchgame/benchset/")
                             + FromAnsi(Cards.Objects(i)->ScanFileName(0));
        QDir().mkpath(QFileInfo(path).path());
        QFile(path).open(QIODevice::WriteOnly);
    }
}

long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// peak_MB is the process's peak so far: run one case alone to see its own.
void BM_LargestAcceptedAnswer(benchmark::State &State)
{
    TRawServer server(ok(makeLargestAnswer(State.range(0) != 0)));
    TDialog dialog;
    for (auto _ : State)
        dialog.OpenSet(State, 200'000);
    State.counters["peak_MB"] = static_cast<double>(peakMegabytes());
}
BENCHMARK(BM_LargestAcceptedAnswer)->ArgName("distinct_rarities")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OpenSet(benchmark::State &State)
{
    TRawServer server(ok(makeAnswer(CardCount)));
    TDialog dialog;
    dialog.Form.LoadCards(1);
    writeStore(dialog.Form.Cards, 10);
    for (auto _ : State)
        dialog.OpenSet(State, CardCount);
}
BENCHMARK(BM_OpenSet)->Unit(benchmark::kMillisecond);

// Marking a set of 480 cards against a store of 10,000 files, as a refresh
// from a shared store would do it again and again.
void BM_MarkLocalScans(benchmark::State &State)
{
    const TCatalogueCards store = ReadCatalogueCards(makeAnswer(10'000), 10'000);
    writeStore(store.Cards, 1);
    TCardList cards;
    for (int i = 0; i < 480; ++i)
        cards.Add(QString(), std::make_unique<TGameCard>(*store.Cards.Objects(i * 20)));
    TGame game;
    game.Code = QStringLiteral("benchgame");
    TExpansion expansion;
    expansion.Code = QStringLiteral("benchset");
    for (auto _ : State)
        MarkLocalScans(&game, &expansion, cards, 0);
}
BENCHMARK(BM_MarkLocalScans)->Unit(benchmark::kMillisecond);

void BM_SortByRarity(benchmark::State &State)
{
    const TCatalogueCards read = ReadCatalogueCards(makeAnswer(CardCount), CardCount);
    std::vector<const TGameCard *> current;
    for (const TCardItem &item : read.Cards.Items())
        current.push_back(item.Card.get());
    for (auto _ : State)
        benchmark::DoNotOptimize(DownloadSortOrder(current, dcRarity, false));
}
BENCHMARK(BM_SortByRarity)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The scan store lives in a folder of its own, never beside the benchmark.
    QTemporaryDir exeDir;
    SetExeDirOverride(exeDir.path() + QLatin1Char('/'));
    TNoMessages messages;
    SetDialogService(&messages);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SetDialogService(nullptr);
    return 0;
}

// Loading a card list file: 100,000 cards must load well under a second.
#include "catalogue/CardListFile.h"
#include "catalogue/SharedFileNames.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCardCount = 100000;

// A realistic list: quoted names with blanks, some doubled quotes in the
// notes, numbers, collector numbers, both line ends.
QString cardListText(int Cards)
{
    QString text = QStringLiteral("Id;Name;Number;ColNo;Rarity;Foil;Lang;Scan;Subset;Notes;P0;P1\r\n");
    text.reserve(Cards * 110);
    for (int i = 0; i < Cards; ++i) {
        text += QString::number(100000 + i);
        text += u";\"Żółta Smocza Wieża "_s;
        text += QString::number(i);
        text += u"\";"_s;
        text += QString::number(i % 400 + 1);
        text += u';';
        text += QString::number(i % 400 + 1);
        text += u"a;Uncommon;"_s;
        if (i % 7 == 0)
            text += u"FOIL"_s;
        text += u";;;0;"_s;
        if (i % 10 == 0)
            text += u"\"Notes with \"\"quotes\"\"\""_s;
        text += u";Creature;\"Dragon Wizard\""_s;
        text += i % 2 ? u"\r\n"_s : u"\n"_s;
    }
    return text;
}

QByteArray withMark(const char *Mark, const QByteArray &Bytes)
{
    return QByteArray(Mark) + Bytes;
}

QByteArray utf16le(const QString &Text)
{
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char *>(Text.utf16()), Text.size() * 2);
    return bytes;
}

void parse(benchmark::State &State, const QByteArray &Bytes)
{
    for (auto _ : State) {
        TCardList cards;
        const TCardLinesResult result =
            ReadCardLines(DecodeCardListText(Bytes), cards);
        if (result.WrongFormat || cards.Count() != kCardCount)
            State.SkipWithError("the generated list did not load");
        benchmark::DoNotOptimize(cards.Items().data());
    }
    State.SetBytesProcessed(State.iterations() * Bytes.size());
    State.counters["cards"] = kCardCount;
}

void BM_ParseCardList_Utf8(benchmark::State &State)
{
    static const QByteArray bytes = cardListText(kCardCount).toUtf8();
    parse(State, bytes);
}

void BM_ParseCardList_Utf8Mark(benchmark::State &State)
{
    static const QByteArray bytes = withMark("\xEF\xBB\xBF", cardListText(kCardCount).toUtf8());
    parse(State, bytes);
}

void BM_ParseCardList_Utf16(benchmark::State &State)
{
    static const QByteArray bytes = utf16le(cardListText(kCardCount));
    parse(State, bytes);
}

// The parts on their own, to see where the time goes.
void BM_DecodeOnly(benchmark::State &State)
{
    static const QByteArray bytes = cardListText(kCardCount).toUtf8();
    for (auto _ : State)
        benchmark::DoNotOptimize(DecodeCardListText(bytes));
}

void BM_ReadCardLinesOnly(benchmark::State &State)
{
    static const QString text = cardListText(kCardCount);
    for (auto _ : State) {
        TCardList cards;
        ReadCardLines(text, cards);
        benchmark::DoNotOptimize(cards.Items().data());
    }
}

// From a real file on disk, as "Load From File" does it.
void BM_LoadCardListFile(benchmark::State &State)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cards.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(cardListText(kCardCount).toUtf8()) < 0) {
            State.SkipWithError("cannot write the card list file");
            return;
        }
    }
    for (auto _ : State) {
        TCardList cards;
        const TCardLinesResult result =
            ReadCardLines(DecodeCardListText(ReadCardListFile(path)), cards);
        if (result.WrongFormat || cards.Count() != kCardCount)
            State.SkipWithError("the file did not load");
        benchmark::DoNotOptimize(cards.Items().data());
    }
    State.counters["cards"] = kCardCount;
}

// After every load the list is checked for cards whose scans would share files,
// under each naming option (0 by id, 1 by name, 2 by number).
void BM_FindSharedFileNames(benchmark::State &State)
{
    static const QString text = cardListText(kCardCount);
    TCardList cards;
    ReadCardLines(text, cards);
    for (auto _ : State)
        benchmark::DoNotOptimize(FindSharedFileNames(cards, int(State.range(0))));
    State.counters["cards"] = kCardCount;
}

} // namespace

BENCHMARK(BM_FindSharedFileNames)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseCardList_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseCardList_Utf8Mark)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseCardList_Utf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCardLinesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCardListFile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// What a pass of several cards costs the operator, measured through the real
// main window: Enter on the first card of a list of nine, the Virtual Flatbed
// scanning a picture of a glass with nine cards (VELLUMORA_VFB_GLASS), the
// finder, the review window "Cards found", and on its accept the nine
// full-size and nine web files. Counters, in milliseconds per pass:
//   scan_ms    Enter to the image delivered: the simulated scanner's own
//              rendering, which a real head replaces (see the model below)
//   review_ms  image delivered to the review window shown and painted
//   save_ms    accept to all 18 files written, cards marked, selection moved
//
// Cards per minute compares nine single passes (one card, one frame of the
// card's size) with one pass of nine under this model of a flatbed and an
// operator, stated here so the figures can be redone for another scanner:
//   - the head needs kHeadStartS to start (lamp, calibration) and return,
//     and travels kHeadMmPerS300 mm/s at 300 dpi, half that at 600 dpi;
//     one card's frame is 90 mm long, the glass 297 mm;
//   - a single pass costs the operator kSwapOneS (lid up, card out, next card
//     in, lid down, Enter); a pass of nine costs kLayOneS per card laid out
//     and taken up, plus kReviewS to read the review window;
//   - the program's own time is measured: a single pass saves one card
//     (save_ms / 9, the whole frame kept), a pass of nine adds review_ms.
#include "app/AppForms.h"
#include "app/CardListModel.h"
#include "app/Main.h"
#include "app/ReviewCards.h"
#include "cards/CardCorpus.h"
#include "catalogue/ScanStore.h"
#include "platform/Application.h"
#include "scanareas/ScanAreas.h"
#include "scanner/DsmLibrary.h"
#include "scanner/TwainManager.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QFile>
#include <QTableView>

#include <chrono>
#include <dlfcn.h>
#include <string>

namespace {

constexpr double kHeadStartS = 4;
constexpr double kHeadMmPerS300 = 25;
constexpr double kCardFrameMm = 90;
constexpr double kGlassMm = 297;
constexpr double kSwapOneS = 6;
constexpr double kLayOneS = 4;
constexpr double kReviewS = 5;

using TClock = std::chrono::steady_clock;

double msBetween(TClock::time_point From, TClock::time_point To)
{
    return std::chrono::duration<double, std::milli>(To - From).count();
}

double headSeconds(double Dpi, double LengthMm)
{
    return kHeadStartS + LengthMm / (kHeadMmPerS300 * 300 / Dpi);
}

void BM_PassOfNineCards(benchmark::State &State)
{
    const double dpi = double(State.range(0));
    // The manager library stays loaded between scans, so the scan delay set here holds.
    const std::string dsmFile = std::string(VELLUMORA_DSM_DIR "/") + DsmFileName;
    void *dsm = dlopen(dsmFile.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dsm) {
        State.SkipWithError("data source manager not found");
        return;
    }
    reinterpret_cast<int (*)(const char *, const char *)>(dlsym(dsm, "VfbSet"))("scan_ms", "0");

    TTestEnvironment env;
    TDialogRecorder dialogs;
    TAppForms forms;
    StartUp(forms);
    TfrmMain &main = *forms.frmMain;
    env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"),
                  QStringLiteral("[Glass]\nQuality=%1\nUnits=1\nLeft=0\nTop=0\nWidth=21\nHeight=29.7\n"
                                 "CardWidth=6.3\nCardHeight=8.8\nSeveralCards=1\n").arg(dpi).toLatin1());
    forms.frmScanAreas->LoadScanAreas();
    main.Twain->DsmSearchFolders = {QStringLiteral(VELLUMORA_DSM_DIR)};

    TGame game;
    game.Name = game.Code = QStringLiteral("XY");
    TExpansion set;
    set.Name = set.Code = QStringLiteral("ABC");
    std::vector<std::unique_ptr<TGameCard>> cards;
    std::vector<const TGameCard *> list;
    for (int i = 1; i <= 9; ++i) {
        cards.push_back(std::make_unique<TGameCard>());
        cards.back()->Id = i;
        cards.back()->Name = QStringLiteral("Card %1").arg(i);
        list.push_back(cards.back().get());
    }
    main.AcceptDownloadedList(game, set, list);
    main.SetStorePaths(GetStorePaths(&game, &set));
    main.cbFormat->setCurrentIndex(main.cbFormat->findText(QStringLiteral("Glass")));

    QImage glass = RenderGlass(RandomGlass(22, dpi, 9, 3, 3)).Image;
    glass.setDotsPerMeterX(qRound(dpi / 0.0254));
    glass.setDotsPerMeterY(qRound(dpi / 0.0254));
    // Read by the source at every scan; stored without compression to keep that short.
    const QString glassFile = env.Path(QStringLiteral("glass.png"));
    glass.save(glassFile, "PNG", 100);
    qputenv("VELLUMORA_VFB_GLASS", QFile::encodeName(glassFile));

    TClock::time_point delivered, shown, accepted;
    const auto acquire = main.Twain->OnTwainAcquire;
    main.Twain->OnTwainAcquire = [&](TTwainManager *Sender, int Index, const QImage &Image, bool &Cancel) {
        delivered = TClock::now();
        acquire(Sender, Index, Image, Cancel);
    };
    double scanMs = 0, reviewMs = 0, saveMs = 0;
    int saved = 0;
    // The first scan asks for the source: the first one, the Virtual Flatbed.
    dialogs.QueueModal([](QDialog &) { return int(QDialog::Accepted); });
    for (auto _ : State) {
        main.vstCards->selectionModel()->setCurrentIndex(
            main.CardsModel->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        dialogs.QueueModal([&](QDialog &Dialog) {
            Dialog.show();
            Dialog.repaint();
            shown = TClock::now();
            saved = 0;
            for (const TPassCard &card : static_cast<TfrmReviewCards &>(Dialog).Cards())
                saved += card.WillBeSaved();
            accepted = TClock::now();
            return int(QDialog::Accepted);
        });
        const TClock::time_point enter = TClock::now();
        main.mnAcquireImageClick();
        main.Twain->Poll();
        const TClock::time_point written = TClock::now();
        scanMs += msBetween(enter, delivered);
        reviewMs += msBetween(delivered, shown);
        saveMs += msBetween(accepted, written);
        State.SetIterationTime(msBetween(enter, written) / 1000);
    }
    qunsetenv("VELLUMORA_VFB_GLASS");
    const double passes = double(State.iterations());
    scanMs /= passes;
    reviewMs /= passes;
    saveMs /= passes;
    State.counters["cards"] = saved;
    int files = 0;
    const TStorePaths store = GetStorePaths(&game, &set);
    for (int i = 1; i <= 9; ++i)
        for (const QString &folder : {dpi >= 600 ? store.VhqDir : store.HqDir, store.WebDir})
            files += QFile::exists(folder + QStringLiteral("%1.jpg").arg(i));
    State.counters["files"] = files;
    State.counters["scan_ms"] = scanMs;
    State.counters["review_ms"] = reviewMs;
    State.counters["save_ms"] = saveMs;
    const double single = headSeconds(dpi, kCardFrameMm) + kSwapOneS + saveMs / 9 / 1000;
    const double several = headSeconds(dpi, kGlassMm) + 9 * kLayOneS + kReviewS + (reviewMs + saveMs) / 1000;
    State.counters["cpm_single"] = 60 / single;
    State.counters["cpm_pass_of_9"] = 9 * 60 / several;
    dlclose(dsm);
}
BENCHMARK(BM_PassOfNineCards)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VELLUMORA_SANE", "0");
    TApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

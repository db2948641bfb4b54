// A 600 dpi A4 RGB page (4960 x 7014, about 104 MB) moved through a memory and a
// native transfer from the real data source manager, each reported as a ratio to a
// plain memcpy of the same bytes (the page's DIB rows) timed in the same iterations:
// "x_memcpy" by the wall clock, "x_memcpy_cpu" by this thread's processor time. The
// source renders the page before it announces it, and the connection is rebuilt (with
// the manager's search for SANE devices) after the transfer has reported its end:
// only the transfer itself, from the first image request to OnTransferComplete, is timed.

#include "scanner/Dib.h"
#include "scanner/TwainManager.h"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <memory>
#include <vector>

namespace {

// Seconds of this thread's processor time: on a shared machine the wall clock also
// counts other people's work.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

constexpr double PageWidthInches = 4960 / 600.0;
constexpr double PageHeightInches = 7016 / 600.0;

const QString &dsmDir()
{
    static const QString dir = QStringLiteral(VELLUMORA_DSM_DIR);
    return dir;
}

// Keeps the manager library and its settings loaded while the layer unloads and
// reloads it between acquisitions.
struct TDsmHold
{
    void *Handle;
    TDsmHold()
    {
        const QString path = dsmDir() + QLatin1Char('/') + QLatin1String(DsmFileName);
        Handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (Handle) {
            reinterpret_cast<void (*)()>(dlsym(Handle, "VfbReset"))();
            auto set = reinterpret_cast<int (*)(const char *, const char *)>(dlsym(Handle, "VfbSet"));
            set("scan_ms", "0");
        }
    }
    ~TDsmHold()
    {
        if (Handle)
            dlclose(Handle);
    }
};

void transfer(benchmark::State &State, uint8_t Mode)
{
    TDsmHold hold;
    if (!hold.Handle) {
        State.SkipWithError("data source manager not found");
        return;
    }
    QObject window;
    TTwainManager manager(&window);
    manager.DsmSearchFolders = {dsmDir()};
    int64_t bytes = 0;
    QSize size;
    manager.OnTwainAcquire = [&](TTwainManager *, int, const QImage &Image, bool &) {
        size = Image.size();
        bytes = DibRowBytes(24, Image.width()) * Image.height();
    };
    // The transfer ends here; what follows (the rebuilt connection) is not timed.
    std::chrono::steady_clock::time_point ended;
    double endedCpu = 0;
    manager.OnTransferComplete = [&](TTwainManager *, int, bool) {
        ended = std::chrono::steady_clock::now();
        endedCpu = threadSeconds();
    };
    std::vector<uint8_t> from, to;
    double transferSeconds = 0, memcpySeconds = 0, transferCpu = 0, memcpyCpu = 0;
    for (auto _ : State) {
        manager.LoadDsm();
        manager.OpenManager();
        TTwainSource *source = manager.SourceAt(0);
        source->SetLoaded(true);
        source->TransferMode = Mode;
        source->SetPixelType(TWPT_RGB);
        source->SetUnits(TWUN_INCHES);
        source->SetXResolution(600);
        source->SetYResolution(600);
        source->SetFrame(0, 0, PageWidthInches, PageHeightInches);
        source->EnableSource(false, true);
        // The scan itself (the source rendering the page) happens when it is first
        // offered a message; the transfer that follows is what is timed.
        TW_MSG msg{};
        TW_EVENT event{&msg, MSG_NULL};
        manager.CallDsm(source->Record(), DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        if (event.TWMessage != MSG_XFERREADY) {
            State.SkipWithError("the source announced no image");
            break;
        }
        const double c0 = threadSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        source->TransferImages();
        transferCpu += endedCpu - c0;
        const auto t1 = ended;
        from.resize(size_t(bytes), 1);
        to.resize(size_t(bytes));
        const double d0 = threadSeconds();
        const auto m0 = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        const auto m1 = std::chrono::steady_clock::now();
        memcpyCpu += threadSeconds() - d0;
        transferSeconds += std::chrono::duration<double>(t1 - t0).count();
        memcpySeconds += std::chrono::duration<double>(m1 - m0).count();
        State.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    State.counters["width"] = size.width();
    State.counters["height"] = size.height();
    State.counters["MB"] = double(bytes) / 1e6;
    State.counters["memcpy_ms"] = memcpySeconds * 1e3 / double(State.iterations());
    State.counters["x_memcpy"] = memcpySeconds > 0 ? transferSeconds / memcpySeconds : 0;
    State.counters["x_memcpy_cpu"] = memcpyCpu > 0 ? transferCpu / memcpyCpu : 0;
    State.SetBytesProcessed(int64_t(State.iterations()) * bytes);
}

void BM_MemoryTransfer(benchmark::State &State)
{
    transfer(State, TransferMemory);
}
void BM_NativeTransfer(benchmark::State &State)
{
    transfer(State, TransferNative);
}

} // namespace

BENCHMARK(BM_MemoryTransfer)->Unit(benchmark::kMillisecond)->Iterations(8)->UseManualTime();
BENCHMARK(BM_NativeTransfer)->Unit(benchmark::kMillisecond)->Iterations(8)->UseManualTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

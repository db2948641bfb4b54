// The library's only public symbols: DSM_Entry and the functions of DsmControl.h. Nothing may unwind out of them into the caller's C frames.

// Declared first, with default visibility, before any other header declares them hidden.
#include "Entry.h"
#pragma GCC visibility push(default)
#include "DsmControl.h"
#pragma GCC visibility pop

#include "Manager.h"

#include <algorithm>
#include <dlfcn.h>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

namespace {

// One manager per process, as a loaded library has.
TDsm &manager()
{
    static TDsm instance;
    return instance;
}

// Calls from several threads take turns; the manager itself is single-threaded.
std::mutex &lock()
{
    return TDsm::Mutex();
}

// The application lets the manager go after every acquisition. Kept loaded, it
// keeps what a system's manager keeps across sessions, above all the scan count
// that makes each scan of the flatbed differ from the one before.
__attribute__((constructor)) void keepLoaded()
{
    Dl_info self{};
    if (dladdr(reinterpret_cast<void *>(&keepLoaded), &self) && self.dli_fname)
        dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace

static_assert(std::is_same_v<decltype(&DSM_Entry), DSMENTRYPROC>);

extern "C" TW_UINT16 DSM_Entry(TW_IDENTITY *pOrigin, TW_IDENTITY *pDest, TW_UINT32 DG, TW_UINT16 DAT,
                               TW_UINT16 MSG, TW_MEMREF pData)
{
    try {
        const std::lock_guard guard(lock());
        return manager().Entry(pOrigin, pDest, DG, DAT, MSG, pData);
    } catch (...) {
        // Only memory can run out in here; the caller sees a plain failure.
        return TWRC_FAILURE;
    }
}

extern "C" void VfbReset(void)
{
    try {
        const std::lock_guard guard(lock());
        manager().Reset();
    } catch (...) {
    }
}

extern "C" int VfbSet(const char *Key, const char *Value)
{
    if (!Key || !Value)
        return -1;
    try {
        const std::lock_guard guard(lock());
        return manager().Set(Key, Value) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

extern "C" size_t VfbTripletCount(void)
{
    const std::lock_guard guard(lock());
    return manager().TripletCount();
}

extern "C" int VfbTripletAt(size_t Index, VfbTriplet *Out)
{
    const std::lock_guard guard(lock());
    if (!Out || !manager().TripletAt(Index, *Out))
        return -1;
    return 0;
}

extern "C" int VellumoraDsmProbeReport(char *Buffer, size_t Size)
{
    try {
        std::string report;
        {
            const std::lock_guard guard(lock());
            report = manager().ProbeReport();
        }
        if (Buffer && Size > 0) {
            const size_t count = std::min(report.size(), Size - 1);
            std::memcpy(Buffer, report.data(), count);
            Buffer[count] = '\0';
        }
        return static_cast<int>(report.size());
    } catch (...) {
        if (Buffer && Size > 0)
            Buffer[0] = '\0';
        return 0;
    }
}

extern "C" int VfbLastImage(VfbImage *Out)
{
    const std::lock_guard guard(lock());
    if (!Out || !manager().LastImage(*Out))
        return -1;
    return 0;
}

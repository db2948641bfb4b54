// The scan area store as any editor or a crash may have left it. What the
// loader accepts must survive being written and read back unchanged, or the
// next start would show the operator other areas than the last one did.

#include "FuzzTarget.h"

#include "scanareas/ScanAreaStore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool sameArea(const TScanArea &A, const TScanArea &B)
{
    // The store keeps decimals as text, so the values are compared as written.
    const std::vector<const TScanArea *> one{&A}, other{&B};
    return FormatScanAreas(one) == FormatScanAreas(other);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QByteArray ini(reinterpret_cast<const char *>(Data), qsizetype(Size));
    const std::vector<TScanArea> areas = ParseScanAreas(ini);

    std::vector<const TScanArea *> stored;
    for (const TScanArea &area : areas)
        stored.push_back(&area);
    const std::vector<TScanArea> again = ParseScanAreas(FormatScanAreas(stored));

    bool same = again.size() == areas.size();
    for (size_t i = 0; same && i < areas.size(); ++i)
        same = sameArea(areas[i], again[i]);
    if (!same) {
        std::fprintf(stderr, "scan areas changed on the way through the store\n");
        std::abort();
    }
    return 0;
}

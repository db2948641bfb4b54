// The memory block a source hands over in a native transfer: a DIB whose
// header may lie about everything.

#include "FuzzTarget.h"

#include "scanner/DibImage.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    // A copy of exactly Size bytes, so that reading one byte too far is seen
    // by the sanitizer instead of landing in the fuzzer's own buffer.
    std::unique_ptr<uint8_t[]> block(new uint8_t[Size ? Size : 1]);
    if (Size)
        std::memcpy(block.get(), Data, Size);
    const TImageOutcome outcome = NativeDibToImage(block.get(), Size);
    if (!outcome.Image.isNull())
        outcome.Image.pixel(outcome.Image.width() - 1, outcome.Image.height() - 1);
    return 0;
}

#pragma once

// Shared memory blocks handed between the application and the data source manager.
// Both sides allocate with TwainAlloc (calloc), so the allocator knows each block's
// true size: a source whose headers lie about sizes is caught against that, instead
// of being trusted into an out-of-bounds read.

#include "scanner/TwainTypes.h"

#include <malloc.h>

#include <memory>

// Bytes that may be read from a block the manager or a source allocated; 0 for none.
inline size_t TwainHandleSize(TW_HANDLE Handle)
{
    return Handle ? malloc_usable_size(Handle) : 0;
}

struct TTwainFree
{
    void operator()(void *Handle) const { TwainFree(Handle); }
};

// Owns one shared block and frees it however the operation using it ends.
using TTwainMemory = std::unique_ptr<void, TTwainFree>;

#pragma once

// DSM_Entry, the one entry point of the standard, declared with default visibility
// before any other header declares it hidden. The manager hands its own address to
// TWAIN 2 applications (DAT_ENTRYPOINT).

#pragma GCC visibility push(default)
#include "scanner/TwainTypes.h"
extern "C" TW_UINT16 DSM_Entry(TW_IDENTITY *pOrigin, TW_IDENTITY *pDest, TW_UINT32 DG, TW_UINT16 DAT,
                               TW_UINT16 MSG, TW_MEMREF pData);
#pragma GCC visibility pop

#pragma once

#include <QString>

#include <cstddef>

// Writes Size bytes to a new file beside FileName, flushes it to the disk and
// renames it over FileName, so that readers see either the old file or the
// whole new one, never a torn mix. On any failure the new file is removed, the
// old one stays as it was, and the result is false. FileName goes through the
// 8-bit code page like every path of the application.
bool ReplaceFileAtomically(const QString &FileName, const void *Data, std::size_t Size);

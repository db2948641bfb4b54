#pragma once

#include "platform/AnsiText.h"

#include <QImage>
#include <QList>

inline constexpr int kFlagWidth = 18;
inline constexpr int kFlagHeight = 12;
inline constexpr int kFlagCount = 24;

// Index of the language's flag in the flag images, -1 for none. The code must
// match exactly, upper case included.
int FlagImageIndex(const AnsiString &Code);

// The flag of a language out of Flags (DrawFlagImages), or a null image for none.
QImage FlagImageOf(const QList<QImage> &Flags, const AnsiString &Code);

// The 24 flag pictures, 18 x 12 pixels, in the order of FlagImageIndex.
QList<QImage> DrawFlagImages();

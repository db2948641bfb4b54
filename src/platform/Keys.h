#pragma once

#include <Qt>

// The main keyboard's Return and the keypad's Enter do the same everywhere.
inline bool IsEnterKey(int Key)
{
    return Key == Qt::Key_Return || Key == Qt::Key_Enter;
}

#pragma once

#include <QChar>
#include <QString>

// Number of positions in Text that hold Ch (compared as 16-bit code units).
int WideCharCount(QChar Ch, const QString &Text);
// Replaces every Ch in Text by Replacement; an empty Replacement deletes Ch.
void WideReplaceChar(QChar Ch, const QString &Replacement, QString &Text);

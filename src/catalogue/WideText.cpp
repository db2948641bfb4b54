#include "catalogue/WideText.h"

int WideCharCount(QChar Ch, const QString &Text)
{
    int count = 0;
    for (const QChar c : Text)
        if (c == Ch)
            ++count;
    return count;
}

void WideReplaceChar(QChar Ch, const QString &Replacement, QString &Text)
{
    const int count = WideCharCount(Ch, Text);
    if (count == 0)
        return;
    const qsizetype newLength = Text.size() + count * (Replacement.size() - 1);
    if (newLength == 0) {
        Text.clear();
        return;
    }
    QString result;
    result.reserve(newLength);
    for (const QChar c : Text) {
        if (c == Ch)
            result += Replacement;
        else
            result += c;
    }
    Text = result;
}

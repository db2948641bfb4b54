// The card list file as the user picks it: any bytes, any encoding mark.

#include "FuzzTarget.h"

#include "catalogue/CardListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QString text =
        DecodeCardListText(QByteArrayView(reinterpret_cast<const char *>(Data), qsizetype(Size)));

    TCardList cards;
    ReadCardLines(text, cards);

    // The pieces again on their own, as a caller that wants a list uses them.
    for (const QString &line : SplitCardListLines(text))
        for (const QString &field : SplitCardFields(line))
            CardFileInteger(field);
    return 0;
}

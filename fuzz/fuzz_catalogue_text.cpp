// The body of a catalogue answer once the transfer is done: decoding, lines,
// fields and the records the three answers are read into.

#include "FuzzTarget.h"

#include "download/CatalogueText.h"
#include "download/DownloadCards.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QByteArray body(reinterpret_cast<const char *>(Data), qsizetype(Size));
    const QStringList lines = CatalogueLines(body);

    ReadCatalogueEntries(body, 1000);
    ReadCatalogueCards(body, 1000);
    for (const QString &line : lines) {
        const QStringList fields = SplitCatalogueFields(line);
        ReadCatalogueCard(fields);
        for (const QString &field : fields)
            ReadCatalogueInteger(field);
    }
    return 0;
}

// vellumora-cards find IMAGE --card-size WxH --dpi D [--out DIR]
// vellumora-cards same A B
// vellumora-cards empty IMAGE
//
// Runs the application's card finder and scan guard on image files. Standard
// output holds the answer and nothing else, so scripts can read it.
#include "cards/CardFinder.h"
#include "cards/ScanGuard.h"
#include "settings/VerInfo.h"

#include <QDir>
#include <QImageReader>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr int kBadArguments = 2;
constexpr int kCannotWrite = 1;

struct TCommand
{
    const char *Name;
    const char *Usage;
    int (*Run)(const QStringList &Arguments);
};

int runFind(const QStringList &Arguments);
int runSame(const QStringList &Arguments);
int runEmpty(const QStringList &Arguments);

const TCommand kCommands[] = {
    {"find", "vellumora-cards find IMAGE --card-size WxH --dpi D [--out DIR]", runFind},
    {"same", "vellumora-cards same A B", runSame},
    {"empty", "vellumora-cards empty IMAGE", runEmpty},
};

void printUsage(FILE *To)
{
    for (const TCommand &command : kCommands)
        std::fprintf(To, "%s %s\n", &command == kCommands ? "usage:" : "      ", command.Usage);
}

int badArguments(const char *Why)
{
    std::fprintf(stderr, "vellumora-cards: %s\n", Why);
    printUsage(stderr);
    return kBadArguments;
}

// A number with one decimal, never "-0.0".
QByteArray decimal(double Value, int Decimals = 1)
{
    const double unit = std::pow(10.0, -Decimals);
    if (std::abs(Value) < unit / 2)
        Value = 0;
    return QByteArray::number(Value, 'f', Decimals);
}

QByteArray cornersText(const TFoundCard &Card)
{
    QByteArray text;
    for (const QPointF &corner : Card.Corners)
        text += (text.isEmpty() ? "" : " ") + decimal(corner.x()) + ',' + decimal(corner.y());
    return text;
}

std::optional<double> positiveNumber(const QString &Text, double Largest)
{
    bool ok = false;
    const double value = Text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > Largest)
        return std::nullopt;
    return value;
}

std::optional<TCardSize> cardSizeOf(const QString &Text)
{
    const QStringList sides = Text.split(QLatin1Char('x'));
    if (sides.size() != 2)
        return std::nullopt;
    const auto width = positiveNumber(sides[0], 1000);
    const auto height = positiveNumber(sides[1], 1000);
    if (!width || !height)
        return std::nullopt;
    return TCardSize{*width, *height};
}

// The picture in a file, or a message on standard error and nothing.
std::optional<QImage> readImage(const QString &FileName)
{
    QImageReader reader(FileName);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "vellumora-cards: cannot read image file %s: %s\n", qPrintable(FileName),
                     qPrintable(reader.errorString()));
        return std::nullopt;
    }
    return image;
}

int printAnswer(const char *Question, TGuardScore Answer)
{
    std::printf("%s: %s (score %s)\n", Question, Answer.Yes ? "yes" : "no", decimal(Answer.Score, 2).constData());
    return 0;
}

// The command's image files, exactly Count of them and no options.
std::optional<std::vector<QImage>> imageArguments(const QStringList &Arguments, qsizetype Count, const char *Wants)
{
    for (const QString &argument : Arguments)
        if (argument.startsWith(QLatin1String("--"))) {
            badArguments(qPrintable(QStringLiteral("unexpected argument %1").arg(argument)));
            return std::nullopt;
        }
    if (Arguments.size() != Count) {
        badArguments(Wants);
        return std::nullopt;
    }
    std::vector<QImage> images;
    for (const QString &name : Arguments) {
        std::optional<QImage> image = readImage(name);
        if (!image)
            return std::nullopt;
        images.push_back(std::move(*image));
    }
    return images;
}

int runSame(const QStringList &Arguments)
{
    const auto images = imageArguments(Arguments, 2, "same wants two images");
    if (!images)
        return kBadArguments;
    return printAnswer("same", SameCard((*images)[0], (*images)[1]));
}

int runEmpty(const QStringList &Arguments)
{
    const auto images = imageArguments(Arguments, 1, "empty wants one image");
    if (!images)
        return kBadArguments;
    return printAnswer("empty", EmptyArea(images->front()));
}

int runFind(const QStringList &Arguments)
{
    QString imageName;
    QString outDir;
    std::optional<TCardSize> size;
    std::optional<double> dpi;
    for (qsizetype i = 0; i < Arguments.size(); ++i) {
        const QString &argument = Arguments[i];
        const bool hasValue = i + 1 < Arguments.size();
        if (argument == QLatin1String("--card-size") && hasValue) {
            size = cardSizeOf(Arguments[++i]);
            if (!size)
                return badArguments("--card-size wants WxH in millimetres, for example 63x88");
        } else if (argument == QLatin1String("--dpi") && hasValue) {
            dpi = positiveNumber(Arguments[++i], 10000);
            if (!dpi)
                return badArguments("--dpi wants a resolution in dots per inch, for example 600");
        } else if (argument == QLatin1String("--out") && hasValue) {
            outDir = Arguments[++i];
        } else if (argument.startsWith(QLatin1String("--")) || !imageName.isEmpty()) {
            return badArguments(qPrintable(QStringLiteral("unexpected argument %1").arg(argument)));
        } else {
            imageName = argument;
        }
    }
    if (imageName.isEmpty() || !size || !dpi)
        return badArguments("find wants an image, --card-size and --dpi");

    const std::optional<QImage> read = readImage(imageName);
    if (!read)
        return kBadArguments;
    const QImage &image = *read;
    if (!outDir.isEmpty() && !QDir().mkpath(outDir)) {
        std::fprintf(stderr, "vellumora-cards: cannot create folder %s\n", qPrintable(outDir));
        return kCannotWrite;
    }

    const std::vector<TFoundCard> found = FindCards(image, *dpi, *size);
    int sure = 0;
    int unsure = 0;
    for (const TFoundCard &card : found) {
        if (!card.Sure())
            continue;
        ++sure;
        std::printf("card %d: %s angle %s\n", sure, cornersText(card).constData(),
                    decimal(card.AngleDegrees, 2).constData());
        if (outDir.isEmpty())
            continue;
        const QString cutName = QDir(outDir).filePath(QStringLiteral("card-%1.png").arg(sure));
        if (!CutCard(image, card, *dpi, *size).save(cutName, "PNG")) {
            std::fprintf(stderr, "vellumora-cards: cannot write %s\n", qPrintable(cutName));
            return kCannotWrite;
        }
    }
    for (const TFoundCard &card : found) {
        if (card.Sure())
            continue;
        ++unsure;
        std::printf("unsure %d: %s reason %s\n", unsure, cornersText(card).constData(),
                    UnsureReasonText(card.Unsure));
    }
    std::printf("cards: %d found, %d unsure\n", sure, unsure);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.contains(QLatin1String("--help"))) {
        printUsage(stdout);
        std::fputs("find: finds the cards of a known size on a scanned glass, as the application\n"
                   "does when it straightens and crops a scan. Prints one line per sure card in\n"
                   "reading order (corners top-left, top-right, bottom-right, bottom-left in\n"
                   "image pixels, angle in degrees, clockwise positive), one line per unsure\n"
                   "region with its reason, and a count. With --out, writes DIR/card-K.png\n"
                   "for each sure card, straightened and cut to the card's size.\n"
                   "\n"
                   "same: whether two scans show the same physical card (moved or turned a\n"
                   "little, otherwise exposed), as the application checks each scan against the\n"
                   "one saved before it. Prints \"same: yes (score S)\" or \"same: no (score S)\".\n"
                   "\n"
                   "empty: whether a scan shows the lid alone, no card. Prints\n"
                   "\"empty: yes (score S)\" or \"empty: no (score S)\".\n"
                   "\n"
                   "Scores run from 0 to 1; the answer is yes from 0.5 up. Images may be PNG,\n"
                   "JPEG or BMP files.\n"
                   "\n"
                   "      --help     display this help and exit\n"
                   "      --version  output version information and exit\n"
                   "\n"
                   "Exit status: 0 done, 1 cannot write, 2 bad arguments or unreadable image.\n",
                   stdout);
        return 0;
    }
    if (arguments.contains(QLatin1String("--version")))
        return PrintProgramVersion("vellumora-cards");
    if (arguments.isEmpty())
        return badArguments("no command given");
    for (const TCommand &command : kCommands)
        if (arguments.front() == QLatin1String(command.Name))
            return command.Run(arguments.mid(1));
    return badArguments(qPrintable(QStringLiteral("unknown command %1").arg(arguments.front())));
}

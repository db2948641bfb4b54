// vellumora-webcopy IN OUT --long-side N [--quality Q] [--watermark TEXT]
// vellumora-webcopy IN OUT --full
//
// Runs the application's own web copy (or full-size) code on an image file.
// OUT ending in ".png" gets the web copy's pixels without JPEG losses, so the
// filter can be checked pixel for pixel.
#include "PpmImage.h"

#include "output/JpegEncoder.h"
#include "output/ScanOutput.h"
#include "platform/AppError.h"
#include "settings/VerInfo.h"

#include <QGuiApplication>
#include <QImageReader>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace {

struct TOptions
{
    QString In;
    QString Out;
    bool Full = false;
    int LongSide = -1;
    int Quality = kWebJpegQuality;
    QString Watermark;
};

constexpr const char *kUsage =
    "usage: vellumora-webcopy IN OUT --long-side N [--quality Q] [--watermark TEXT]\n"
    "       vellumora-webcopy IN OUT --full\n"
    "IN is a PNG, BMP, JPEG or PPM file; OUT ending in .png gets lossless pixels.\n";

void PrintUsage()
{
    std::fputs(kUsage, stderr);
}

// The program carries the application's version block; --version reads it back
// from the file, so both always agree. Returns the exit code, or -1 to go on.
int AnswerInformationOptions(int Argc, char **Argv)
{
    for (int i = 1; i < Argc; ++i) {
        if (std::strcmp(Argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs("Remakes a web copy (or the full-size file) of a scan with exactly the\n"
                       "application's resampler, watermark and JPEG settings.\n"
                       "\n"
                       "      --help     display this help and exit\n"
                       "      --version  output version information and exit\n"
                       "\n"
                       "Exit status: 0 done, 1 cannot write, 2 bad arguments or unreadable\n"
                       "input, 3 encoding error.\n",
                       stdout);
            return 0;
        }
        if (std::strcmp(Argv[i], "--version") == 0)
            return PrintProgramVersion("vellumora-webcopy");
    }
    return -1;
}

std::optional<int> ToInt(const char *Text, int Low, int High)
{
    bool Ok = false;
    const int Value = QByteArray(Text).toInt(&Ok);
    if (!Ok || Value < Low || Value > High)
        return std::nullopt;
    return Value;
}

std::optional<TOptions> ParseArguments(int Argc, char **Argv)
{
    TOptions Options;
    QStringList Files;
    for (int i = 1; i < Argc; ++i) {
        const QByteArray Arg(Argv[i]);
        const bool HasValue = i + 1 < Argc;
        if (Arg == "--full") {
            Options.Full = true;
        } else if (Arg == "--long-side" && HasValue) {
            const auto Value = ToInt(Argv[++i], 1, 65500);
            if (!Value)
                return std::nullopt;
            Options.LongSide = *Value;
        } else if (Arg == "--quality" && HasValue) {
            const auto Value = ToInt(Argv[++i], 1, 100);
            if (!Value)
                return std::nullopt;
            Options.Quality = *Value;
        } else if (Arg == "--watermark" && HasValue) {
            Options.Watermark = QString::fromLocal8Bit(Argv[++i]);
        } else if (Arg.startsWith("--")) {
            return std::nullopt;
        } else {
            Files << QString::fromLocal8Bit(Arg);
        }
    }
    if (Files.size() != 2 || Options.Full == (Options.LongSide > 0))
        return std::nullopt;
    Options.In = Files[0];
    Options.Out = Files[1];
    return Options;
}

QImage ReadPicture(const QString &FileName)
{
    QImage Picture = MapPpmImage(FileName);
    if (!Picture.isNull())
        return Picture;
    QImageReader Reader(FileName);
    Reader.setAutoTransform(false);
    Reader.setAllocationLimit(0);
    return Reader.read();
}

int Run(const TOptions &Options)
{
    const QImage Picture = ReadPicture(Options.In);
    if (Picture.isNull()) {
        std::fprintf(stderr, "Cannot read image file %s\n", qPrintable(Options.In));
        return 2;
    }
    const bool Png = Options.Out.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
    bool Written;
    if (Options.Full) {
        Written = Png ? Picture.save(Options.Out, "PNG") : WriteHqJpeg(Picture, Options.Out);
    } else {
        const double Ratio = double(Picture.width()) / Picture.height();
        if (Png)
            Written = MakeWebCopy(Picture, Options.LongSide, Ratio, Options.Watermark)
                          .save(Options.Out, "PNG");
        else
            Written = WriteWebJpeg(Picture, Options.LongSide, Options.Quality, Options.Out, Ratio,
                                   Options.Watermark);
    }
    if (!Written) {
        std::fputs(Options.Full ? "Cannot save JPEG file!\n" : "Cannot save scaled JPEG file!\n",
                   stderr);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (const int Code = AnswerInformationOptions(argc, argv); Code >= 0)
        return Code;
    const std::optional<TOptions> Options = ParseArguments(argc, argv);
    if (!Options) {
        PrintUsage();
        return 2;
    }
    // Fonts need a GUI application; it costs start-up time, so only the
    // watermark makes one, and never one that wants a display.
    std::unique_ptr<QGuiApplication> App;
    if (!Options->Full && !Options->Watermark.isEmpty()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        App = std::make_unique<QGuiApplication>(argc, argv);
    }
    try {
        return Run(*Options);
    } catch (const std::exception &Error) {
        std::fprintf(stderr, "%s\n", qPrintable(ErrorMessageOf(Error)));
        return 3;
    }
}

#include "output/JpegEncoder.h"
#include "output/SaveJpeg.h"
#include "output/ScanOutput.h"

#include "platform/AppError.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>

#include <csetjmp>
#include <cstdio>
#include <csignal>

#include <jpeglib.h>
#include <sys/resource.h>

namespace {

// What a scan file holds, read back with libjpeg itself.
struct TDecoded
{
    bool Ok = false;
    int Width = 0;
    int Height = 0;
    int Components = 0;
    bool Progressive = true;
    bool Jfif = false;
    std::vector<std::vector<UINT16>> Tables;
    QImage Pixels;
};

struct TTestErrors
{
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
};

void JumpOut(j_common_ptr Info)
{
    std::longjmp(reinterpret_cast<TTestErrors *>(Info->err)->Jump, 1);
}

bool DecodeInto(jpeg_decompress_struct *Info, TTestErrors *Errors, const QByteArray *Bytes,
                TDecoded *Out)
{
    if (setjmp(Errors->Jump))
        return false;
    jpeg_mem_src(Info, reinterpret_cast<const unsigned char *>(Bytes->constData()),
                 static_cast<unsigned long>(Bytes->size()));
    jpeg_read_header(Info, TRUE);
    Out->Width = static_cast<int>(Info->image_width);
    Out->Height = static_cast<int>(Info->image_height);
    Out->Components = Info->num_components;
    Out->Progressive = Info->progressive_mode;
    Out->Jfif = Info->saw_JFIF_marker;
    for (int t = 0; t < NUM_QUANT_TBLS && Info->quant_tbl_ptrs[t]; ++t)
        Out->Tables.emplace_back(Info->quant_tbl_ptrs[t]->quantval, Info->quant_tbl_ptrs[t]->quantval + DCTSIZE2);
    Info->out_color_space = JCS_RGB;
    jpeg_start_decompress(Info);
    while (Info->output_scanline < Info->output_height) {
        JSAMPROW Row = Out->Pixels.scanLine(static_cast<int>(Info->output_scanline));
        jpeg_read_scanlines(Info, &Row, 1);
    }
    jpeg_finish_decompress(Info);
    return true;
}

TDecoded Decode(const QString &FileName)
{
    QFile File(FileName);
    TDecoded Out;
    if (!File.open(QIODevice::ReadOnly))
        return Out;
    const QByteArray Bytes = File.readAll();
    QImage Probe;
    Probe.loadFromData(Bytes, "JPEG");
    Out.Pixels = QImage(Probe.size(), QImage::Format_RGB888);
    jpeg_decompress_struct Info;
    TTestErrors Errors;
    Info.err = jpeg_std_error(&Errors.Pub);
    Errors.Pub.error_exit = JumpOut;
    jpeg_create_decompress(&Info);
    Out.Ok = !Probe.isNull() && DecodeInto(&Info, &Errors, &Bytes, &Out);
    jpeg_destroy_decompress(&Info);
    return Out;
}

// The tables jpeg_set_quality makes for baseline files.
std::vector<std::vector<UINT16>> BaselineTables(int Quality)
{
    jpeg_compress_struct Info;
    jpeg_error_mgr Errors;
    Info.err = jpeg_std_error(&Errors);
    jpeg_create_compress(&Info);
    Info.in_color_space = JCS_RGB;
    Info.input_components = 3;
    jpeg_set_defaults(&Info);
    jpeg_set_quality(&Info, Quality, TRUE);
    std::vector<std::vector<UINT16>> Tables;
    for (int t = 0; t < NUM_QUANT_TBLS && Info.quant_tbl_ptrs[t]; ++t)
        Tables.emplace_back(Info.quant_tbl_ptrs[t]->quantval, Info.quant_tbl_ptrs[t]->quantval + DCTSIZE2);
    jpeg_destroy_compress(&Info);
    return Tables;
}

QByteArray ReadAll(const QString &FileName)
{
    QFile File(FileName);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// Blocks of 16 x 16 pixels, aligned with the encoder's blocks, so that a
// decoded block's inside shows its colour undisturbed.
QImage Blocks(QImage::Format Format, const QList<QRgb> &Colours)
{
    QImage Image(16 * Colours.size(), 32, QImage::Format_RGB32);
    QPainter Painter(&Image);
    for (int i = 0; i < Colours.size(); ++i)
        Painter.fillRect(16 * i, 0, 16, 32, QColor(Colours[i]));
    Painter.end();
    return Format == QImage::Format_Indexed8 ? Image.convertToFormat(Format, Colours)
                                             : Image.convertToFormat(Format);
}

} // namespace

TEST(ScanFiles, DecodeBackAtTheirQualityFromEveryDepth)
{
    const QList<QRgb> Colours{qRgb(0, 0, 0), qRgb(255, 255, 255)};
    const QList<QRgb> Greys{qRgb(0, 0, 0), qRgb(90, 90, 90), qRgb(255, 255, 255)};
    const QList<QRgb> Hues{qRgb(200, 30, 60), qRgb(20, 160, 90), qRgb(40, 60, 220), qRgb(255, 255, 0)};
    struct TCase
    {
        QImage::Format Format;
        QList<QRgb> Colours;
    };
    const TCase Cases[] = {
        {QImage::Format_Mono, Colours},        {QImage::Format_Indexed8, Hues},
        {QImage::Format_Grayscale8, Greys},    {QImage::Format_RGB888, Hues},
        {QImage::Format_RGB32, Hues},          {QImage::Format_ARGB32, Hues},
        {QImage::Format_RGB16, {qRgb(0, 0, 0), qRgb(255, 0, 0)}},
    };
    TTestEnvironment Env;
    TDialogRecorder Recorder;
    const QString Hq = Env.Path(QStringLiteral("card.jpg"));
    const QString Web = Env.Path(QStringLiteral("web.jpg"));
    for (const TCase &Case : Cases) {
        SCOPED_TRACE(testing::Message() << "format " << Case.Format);
        const QImage Picture = Blocks(Case.Format, Case.Colours);
        const double Ratio = double(Picture.width()) / Picture.height();
        SaveHqJpeg(Picture, Hq);
        // The web copy of the same size is copied, not filtered, so its blocks stay clean.
        SaveWebJpeg(Picture, std::max(Picture.width(), Picture.height()), kWebJpegQuality, Web,
                    Ratio, QString());
        for (const auto &[File, Quality] : {std::pair{Hq, 95}, std::pair{Web, 80}}) {
            const TDecoded Decoded = Decode(File);
            ASSERT_TRUE(Decoded.Ok);
            EXPECT_EQ(QSize(Decoded.Width, Decoded.Height), Picture.size());
            EXPECT_EQ(Decoded.Components, 3);
            EXPECT_FALSE(Decoded.Progressive);
            EXPECT_TRUE(Decoded.Jfif);
            EXPECT_EQ(Decoded.Tables, BaselineTables(Quality)) << "quality " << Quality;
            for (int i = 0; i < Case.Colours.size(); ++i) {
                const QRgb Got = Decoded.Pixels.pixel(16 * i + 8, 16);
                const QRgb Want = Case.Colours[i];
                EXPECT_NEAR(qRed(Got), qRed(Want), 6) << "block " << i;
                EXPECT_NEAR(qGreen(Got), qGreen(Want), 6) << "block " << i;
                EXPECT_NEAR(qBlue(Got), qBlue(Want), 6) << "block " << i;
            }
        }
    }
    EXPECT_TRUE(Recorder.Messages.empty());
}

// A write that fails half way (the file size limit stands in for a full disk)
// leaves the earlier scan as it was and no stray file beside it; a missing
// folder is reported the same way.
TEST(ScanFiles, WriteFailureIsReportedAndKeepsTheEarlierFile)
{
    TTestEnvironment Env;
    QDir().mkpath(Env.Path(QStringLiteral("pics")));
    QImage Small(32, 32, QImage::Format_RGB32);
    Small.fill(Qt::green);
    QImage Noise(400, 400, QImage::Format_RGB32);
    QRandomGenerator Random(7);
    for (int y = 0; y < Noise.height(); ++y)
        for (int x = 0; x < Noise.width(); ++x)
            Noise.setPixel(x, y, Random.generate());

    struct TCase
    {
        const char *Name;
        const char *Message;
        std::function<void(const QImage &, const QString &)> Save;
    };
    const TCase Cases[] = {
        {"hq.jpg", "Cannot save JPEG file!",
         [](const QImage &P, const QString &F) { SaveHqJpeg(P, F); }},
        {"web.jpg", "Cannot save scaled JPEG file!",
         [](const QImage &P, const QString &F) {
             SaveWebJpeg(P, std::max(P.width(), P.height()), kWebJpegQuality, F, 1.0, QString());
         }},
    };
    std::signal(SIGXFSZ, SIG_IGN);
    for (const TCase &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const QString Target = Env.Path(QStringLiteral("pics/")) + QString::fromUtf8(Case.Name);
        TDialogRecorder Recorder;
        Case.Save(Small, Target);
        const QByteArray Earlier = ReadAll(Target);
        ASSERT_FALSE(Earlier.isEmpty());

        rlimit Saved;
        getrlimit(RLIMIT_FSIZE, &Saved);
        rlimit Tight = Saved;
        Tight.rlim_cur = 2000;
        setrlimit(RLIMIT_FSIZE, &Tight);
        Case.Save(Noise, Target);
        setrlimit(RLIMIT_FSIZE, &Saved);
        Case.Save(Noise, Env.Path(QStringLiteral("missing/")) + QString::fromUtf8(Case.Name));

        ASSERT_EQ(Recorder.Messages.size(), 2u);
        for (const TDialogRecorder::Message &Shown : Recorder.Messages) {
            EXPECT_EQ(Shown.Caption, QStringLiteral("Error"));
            EXPECT_EQ(Shown.Text, QString::fromUtf8(Case.Message));
            EXPECT_EQ(Shown.Type, TMsgDlgType::Error);
        }
        EXPECT_EQ(ReadAll(Target), Earlier);
        EXPECT_EQ(QDir(Env.Path(QStringLiteral("pics"))).entryList(QDir::Files | QDir::Hidden).size(),
                  1);
        QFile::remove(Target);
    }
    std::signal(SIGXFSZ, SIG_DFL);
}

// Done on two cores, the pair still shows what the two calls in a row would:
// the full-size file's dialog, then the caller's step, then the web copy's.
TEST(ScanFiles, SavingBothKeepsTheOrderOfTheTwoCalls)
{
    TTestEnvironment Env;
    QDir().mkpath(Env.Path(QStringLiteral("HQ")));
    QDir().mkpath(Env.Path(QStringLiteral("WEB")));
    // Noise makes the full-size file several of the writer's chunks long.
    QImage Picture(1200, 1700, QImage::Format_RGB32);
    QRandomGenerator Random(3);
    for (int y = 0; y < Picture.height(); ++y)
        Random.fillRange(reinterpret_cast<quint32 *>(Picture.scanLine(y)), Picture.width());
    const double Ratio = 1200.0 / 1700;
    const QString Hq = Env.Path(QStringLiteral("HQ/card.jpg"));
    const QString Web = Env.Path(QStringLiteral("WEB/card.jpg"));
    const QString Missing = Env.Path(QStringLiteral("none/card.jpg"));

    {
        TDialogRecorder Recorder;
        QStringList Steps;
        SaveHqAndWebJpeg(Picture, Hq, 850, kWebJpegQuality, Web, Ratio, QStringLiteral("Vellumora"),
                         [&] { Steps << QStringLiteral("after hq"); });
        EXPECT_EQ(Steps, QStringList{QStringLiteral("after hq")});
        EXPECT_TRUE(Recorder.Messages.empty());
        const TDecoded HqFile = Decode(Hq);
        const TDecoded WebFile = Decode(Web);
        EXPECT_EQ(QSize(HqFile.Width, HqFile.Height), QSize(1200, 1700));
        EXPECT_EQ(QSize(WebFile.Width, WebFile.Height), QSize(600, 850));
        EXPECT_EQ(WebFile.Tables, BaselineTables(80));
        const TJpegBytes InMemory = EncodeJpeg(Picture, kHqJpegQuality);
        EXPECT_EQ(ReadAll(Hq), QByteArray(reinterpret_cast<const char *>(InMemory.Data()),
                                          qsizetype(InMemory.Size())));
    }
    {
        TDialogRecorder Recorder;
        QStringList Steps;
        SaveHqAndWebJpeg(Picture, Missing, 850, kWebJpegQuality, Missing, Ratio, QString(),
                         [&] { Steps << Recorder.Texts().join(QLatin1Char('|')); });
        EXPECT_EQ(Steps, QStringList{QStringLiteral("Cannot save JPEG file!")});
        EXPECT_EQ(Recorder.Texts(), (QStringList{QStringLiteral("Cannot save JPEG file!"),
                                                 QStringLiteral("Cannot save scaled JPEG file!")}));
    }
    {
        // A web copy that cannot be made: the full-size file is written and the
        // caller's step runs before the error arrives.
        TDialogRecorder Recorder;
        QFile::remove(Hq);
        bool After = false;
        EXPECT_THROW(SaveHqAndWebJpeg(Picture, Hq, 100000, kWebJpegQuality, Web, Ratio, QString(),
                                      [&] { After = true; }),
                     EAppError);
        EXPECT_TRUE(After);
        EXPECT_TRUE(QFile::exists(Hq));
    }
    EXPECT_THROW(SaveHqJpeg(QImage(), Hq), EAppError);
}

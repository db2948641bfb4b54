#include "output/ScanOutput.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

namespace {

int RunTool(const QStringList &Arguments)
{
    QProcess Tool;
    Tool.start(QStringLiteral(WEBCOPY_TOOL), Arguments);
    if (!Tool.waitForFinished(30000))
        return -1;
    return Tool.exitStatus() == QProcess::NormalExit ? Tool.exitCode() : -1;
}

} // namespace

// The tool must run the application's own code on every input it reads,
// including the memory-mapped PPM files the timing script feeds it.
TEST(WebCopyTool, WritesTheApplicationsPixels)
{
    TTestEnvironment Env;
    QImage Picture(301, 187, QImage::Format_RGB32);
    QRandomGenerator Random(11);
    for (int y = 0; y < Picture.height(); ++y)
        for (int x = 0; x < Picture.width(); ++x)
            Picture.setPixel(x, y, Random.generate() | 0xff000000u);
    const QImage Expected =
        MakeWebCopy(Picture, 150, double(Picture.width()) / Picture.height(), QStringLiteral("Vellumora"));
    for (const char *Kind : {"png", "bmp", "ppm"}) {
        SCOPED_TRACE(Kind);
        const QString In = Env.Path(QStringLiteral("in.") + QLatin1String(Kind));
        const QString Out = Env.Path(QStringLiteral("out.png"));
        ASSERT_TRUE(Picture.save(In, Kind));
        ASSERT_EQ(RunTool({In, Out, QStringLiteral("--long-side"), QStringLiteral("150"),
                           QStringLiteral("--watermark"), QStringLiteral("Vellumora")}),
                  0);
        const QImage Got = QImage(Out).convertToFormat(QImage::Format_ARGB32);
        EXPECT_TRUE(Got == Expected);
    }
}

TEST(WebCopyTool, RefusesBadInputWithAnExitCode)
{
    TTestEnvironment Env;
    const QString Out = Env.Path(QStringLiteral("out.jpg"));
    struct TCase
    {
        const char *Name;
        QByteArray Bytes;
        QStringList Options;
        int ExitCode;
    };
    QImage Small(8, 8, QImage::Format_RGB32);
    Small.fill(Qt::red);
    const QString Good = Env.Path(QStringLiteral("good.png"));
    Small.save(Good);
    const TCase Cases[] = {
        {"short.ppm", "P6\n4000 4000\n255\n\x01\x02\x03", {"--long-side", "100"}, 2},
        {"huge.ppm", "P6\n99999999 99999999\n255\n", {"--long-side", "100"}, 2},
        {"text.png", "not a picture", {"--full"}, 2},
        {"good", {}, {"--long-side", "0"}, 2},
        {"good", {}, {"--long-side", "100", "--quality", "101"}, 2},
        {"good", {}, {"--long-side", "100000"}, 2},
    };
    for (const TCase &Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const QString In = Case.Bytes.isEmpty() ? Good : Env.WriteFile(QString::fromUtf8(Case.Name), Case.Bytes);
        EXPECT_EQ(RunTool(QStringList{In, Out} + Case.Options), Case.ExitCode);
    }
    // A folder that does not exist: the write fails, reported like the application does.
    EXPECT_EQ(RunTool({Good, Env.Path(QStringLiteral("none/out.jpg")), QStringLiteral("--full")}), 1);
}

// vellumora-cards run as a user runs it, on generated glasses.
#include "GuardCorpus.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineF>
#include <QProcess>
#include <QRegularExpression>

namespace {

struct TRun
{
    int ExitCode = -1;
    QStringList Lines;   // standard output
    QString Errors;
};

TRun runTool(const QStringList &Arguments)
{
    QProcess tool;
    tool.start(QStringLiteral(CARDS_TOOL), Arguments);
    TRun run;
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit)
        return run;
    run.ExitCode = tool.exitCode();
    run.Lines = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.Errors = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

QStringList findArguments(const QString &Image, const QString &Out = QString())
{
    QStringList arguments = {QStringLiteral("find"), Image, QStringLiteral("--card-size"), QStringLiteral("63x88"),
                             QStringLiteral("--dpi"), QStringLiteral("300")};
    if (!Out.isEmpty())
        arguments << QStringLiteral("--out") << Out;
    return arguments;
}

} // namespace

TEST(CardsTool, PrintsEveryCardInReadingOrderAndWritesItsCut)
{
    TTestEnvironment env;
    // Three rows of three: the corpus places them in reading order.
    const TGlassLayout layout = RandomGlass(41, 300, 9, 2, 3);
    const TGlass glass = RenderGlass(layout);
    const QString image = env.Path(QStringLiteral("glass.png"));
    ASSERT_TRUE(glass.Image.save(image));
    const QString out = env.Path(QStringLiteral("cut"));

    const TRun run = runTool(findArguments(image, out));
    ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
    ASSERT_EQ(run.Lines.size(), 10) << run.Lines.join(QLatin1Char('\n')).toStdString();
    const QRegularExpression cardLine(QStringLiteral(
        "^card (\\d+): (-?\\d+\\.\\d),(-?\\d+\\.\\d) (-?\\d+\\.\\d),(-?\\d+\\.\\d) (-?\\d+\\.\\d),(-?\\d+\\.\\d) "
        "(-?\\d+\\.\\d),(-?\\d+\\.\\d) angle (-?\\d+(\\.\\d+)?)$"));
    for (int k = 0; k < 9; ++k) {
        const QRegularExpressionMatch match = cardLine.match(run.Lines[k]);
        ASSERT_TRUE(match.hasMatch()) << run.Lines[k].toStdString();
        EXPECT_EQ(match.captured(1).toInt(), k + 1);
        for (int corner = 0; corner < 4; ++corner) {
            const QPointF printed(match.captured(2 + 2 * corner).toDouble(), match.captured(3 + 2 * corner).toDouble());
            EXPECT_LT(QLineF(printed, glass.Truth[size_t(k)].Corners[size_t(corner)]).length(), 2.0)
                << run.Lines[k].toStdString();
        }
        EXPECT_NEAR(match.captured(10).toDouble(), glass.Truth[size_t(k)].AngleDegrees, 0.1);
        const QImage cut(QDir(out).filePath(QStringLiteral("card-%1.png").arg(k + 1)));
        EXPECT_EQ(cut.size(), QSize(744, 1039));
        EXPECT_GT(Psnr(cut, RenderReference(layout, k)), 30);
    }
    EXPECT_EQ(run.Lines.last(), QStringLiteral("cards: 9 found, 0 unsure"));
}

TEST(CardsTool, ReportsUnsureRegionsApartAndCutsNoneOfThem)
{
    TTestEnvironment env;
    TGlassLayout layout = RandomGlass(42, 300, 3, 0, 3);
    // The first card slides onto the second; the third hangs off the glass.
    layout.Cards[0].CentreMm = layout.Cards[1].CentreMm + QPointF(-25, 12);
    layout.Cards[2].CentreMm.setX(layout.GlassMm.width() - 20);
    const QString image = env.Path(QStringLiteral("glass.png"));
    ASSERT_TRUE(RenderGlass(layout).Image.save(image));
    const QString out = env.Path(QStringLiteral("cut"));

    const TRun run = runTool(findArguments(image, out));
    ASSERT_EQ(run.ExitCode, 0);
    ASSERT_FALSE(run.Lines.isEmpty());
    EXPECT_EQ(run.Lines.last(), QStringLiteral("cards: 0 found, %1 unsure").arg(run.Lines.size() - 1));
    const QRegularExpression unsureLine(QStringLiteral(
        "^unsure (\\d+): (-?\\d+\\.\\d,-?\\d+\\.\\d ){4}reason (overlaps another region|touches the image edge)$"));
    QStringList reasons;
    for (int k = 0; k + 1 < run.Lines.size(); ++k) {
        const QRegularExpressionMatch match = unsureLine.match(run.Lines[k]);
        ASSERT_TRUE(match.hasMatch()) << run.Lines[k].toStdString();
        EXPECT_EQ(match.captured(1).toInt(), k + 1);
        reasons << match.captured(3);
    }
    EXPECT_TRUE(reasons.contains(QStringLiteral("overlaps another region")));
    EXPECT_TRUE(reasons.contains(QStringLiteral("touches the image edge")));
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

TEST(CardsTool, RefusesBadArgumentsAndUnreadableImagesWithStatusTwo)
{
    TTestEnvironment env;
    const QString image = env.Path(QStringLiteral("glass.png"));
    QImage lid(200, 200, QImage::Format_RGB32);
    lid.fill(Qt::white);
    ASSERT_TRUE(lid.save(image));
    const QString garbage = env.WriteFile(QStringLiteral("garbage.png"), "not a picture");
    const QString size = QStringLiteral("--card-size");
    const QString dpi = QStringLiteral("--dpi");
    const QStringList cases[] = {
        {},
        {QStringLiteral("cut"), image},
        {QStringLiteral("find"), image, size, QStringLiteral("63x88")},
        {QStringLiteral("find"), image, size, QStringLiteral("63"), dpi, QStringLiteral("300")},
        {QStringLiteral("find"), image, size, QStringLiteral("0x88"), dpi, QStringLiteral("300")},
        {QStringLiteral("find"), image, size, QStringLiteral("63x88"), dpi, QStringLiteral("-300")},
        {QStringLiteral("find"), image, size, QStringLiteral("63x88"), dpi, QStringLiteral("300"), QStringLiteral("--frob")},
        {QStringLiteral("find"), env.Path(QStringLiteral("missing.png")), size, QStringLiteral("63x88"), dpi,
         QStringLiteral("300")},
        {QStringLiteral("find"), garbage, size, QStringLiteral("63x88"), dpi, QStringLiteral("300")},
        {QStringLiteral("same"), image},
        {QStringLiteral("same"), image, image, image},
        {QStringLiteral("same"), image, garbage},
        {QStringLiteral("same"), image, image, QStringLiteral("--frob")},
        {QStringLiteral("empty")},
        {QStringLiteral("empty"), env.Path(QStringLiteral("missing.png"))},
    };
    for (const QStringList &arguments : cases) {
        const TRun run = runTool(arguments);
        EXPECT_EQ(run.ExitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.Lines.isEmpty()) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(run.Errors.isEmpty());
    }
    // An empty lid is no error: it holds no card.
    const TRun empty = runTool(findArguments(image));
    EXPECT_EQ(empty.ExitCode, 0);
    EXPECT_EQ(empty.Lines, QStringList({QStringLiteral("cards: 0 found, 0 unsure")}));
}

TEST(CardsTool, AnswersSameAndEmptyForPngAndJpegScans)
{
    TTestEnvironment env;
    const std::vector<TPlacedCard> set = CardSet(TCardDesign::ColourFrame, 12, 2);
    const TGlassLayout first = CardOnArea(set[0], 300, false, 1201);
    const QString files[] = {env.Path(QStringLiteral("first.png")), env.Path(QStringLiteral("again.jpg")),
                             env.Path(QStringLiteral("other.jpg")), env.Path(QStringLiteral("lid.png"))};
    ASSERT_TRUE(RenderGlass(first).Image.save(files[0]));
    ASSERT_TRUE(RenderGlass(Rescan(first, 1202)).Image.save(files[1], "JPEG", 95));
    ASSERT_TRUE(RenderGlass(CardOnArea(set[1], 300, false, 1203)).Image.save(files[2], "JPEG", 95));
    ASSERT_TRUE(RenderGlass(EmptyLid(300, true, 1204)).Image.save(files[3]));

    const struct
    {
        QStringList Arguments;
        QString Answer;
    } cases[] = {
        {{QStringLiteral("same"), files[0], files[1]}, QStringLiteral("same: yes")},
        {{QStringLiteral("same"), files[0], files[2]}, QStringLiteral("same: no")},
        {{QStringLiteral("empty"), files[3]}, QStringLiteral("empty: yes")},
        {{QStringLiteral("empty"), files[2]}, QStringLiteral("empty: no")},
    };
    const QRegularExpression answerLine(QStringLiteral("^(.*) \\(score (0|1)\\.\\d\\d\\)$"));
    for (const auto &c : cases) {
        const TRun run = runTool(c.Arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
        ASSERT_EQ(run.Lines.size(), 1) << c.Arguments.join(QLatin1Char(' ')).toStdString();
        const QRegularExpressionMatch match = answerLine.match(run.Lines[0]);
        ASSERT_TRUE(match.hasMatch()) << run.Lines[0].toStdString();
        EXPECT_EQ(match.captured(1), c.Answer) << c.Arguments.join(QLatin1Char(' ')).toStdString();
    }
}

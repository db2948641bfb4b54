#include "platform/MessageCatalogue.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>

namespace {

// Compiles a small catalogue for the language "xx" into <exe>/locale with msgfmt,
// the tool translators use.
bool installCatalogue(const TTestEnvironment &Env)
{
    const QString po = Env.WriteFile(QStringLiteral("default.po"),
                                     "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                                     "msgid \"Scanner\"\nmsgstr \"Skaner\"\n\n"
                                     "msgid \"Load From File\"\nmsgstr \"Wczytaj z pliku\"\n");
    const QString dir = Env.ExeDir() + QStringLiteral("locale/xx/LC_MESSAGES");
    QDir().mkpath(dir);
    return QProcess::execute(QStringLiteral("msgfmt"),
                             {QStringLiteral("-o"), dir + QStringLiteral("/default.mo"), po}) == 0;
}

struct LanguageGuard
{
    LanguageGuard() { qputenv("LANGUAGE", "xx"); }
    ~LanguageGuard()
    {
        qunsetenv("LANGUAGE");
        InitMessageCatalogue(QStringLiteral("/nonexistent"));
    }
};

} // namespace

TEST(MessageCatalogue, FormsTranslateTheirTextsWhenACatalogueIsBesideTheExecutable)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    ASSERT_TRUE(installCatalogue(env));
    LanguageGuard language;
    InitMessageCatalogue(env.ExeDir() + QStringLiteral("locale"));

    EXPECT_EQ(_("Scanner"), QStringLiteral("Skaner"));
    // Texts without a translation show as written.
    EXPECT_EQ(_("Exit"), QStringLiteral("Exit"));

    TfrmMain main;
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Skaner"));
    EXPECT_EQ(main.actLoadFromFile->text(), QStringLiteral("Wczytaj z pliku"));
}

TEST(MessageCatalogue, WithoutACatalogueEveryTextShowsAsWritten)
{
    TTestEnvironment env;
    InitMessageCatalogue(env.ExeDir() + QStringLiteral("locale"));
    EXPECT_EQ(_("Scanner"), QStringLiteral("Scanner"));
    EXPECT_TRUE(_("").isEmpty());
}

namespace {

// The msgids of a catalogue template, with continued lines joined.
QSet<QString> msgidsOf(const QString &PotFile)
{
    QSet<QString> ids;
    QFile file(PotFile);
    if (!file.open(QIODevice::ReadOnly))
        return ids;
    QString current;
    bool inId = false;
    const auto quoted = [](const QString &Line) {
        const qsizetype first = Line.indexOf(u'"');
        return Line.mid(first + 1, Line.lastIndexOf(u'"') - first - 1);
    };
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(QStringLiteral("msgid "))) {
            inId = true;
            current = quoted(line);
        } else if (inId && line.startsWith(u'"')) {
            current += quoted(line);
        } else if (inId) {
            inId = false;
            if (!current.isEmpty())
                ids.insert(current);
        }
    }
    return ids;
}

} // namespace

TEST(MessageCatalogue, TemplateHoldsEveryTextOfTheCode)
{
    TTestEnvironment env;
    const QString source = QStringLiteral(VELLUMORA_SOURCE_DIR);
    const QString fresh = env.Path(QStringLiteral("fresh.pot"));
    QProcess update;
    update.setWorkingDirectory(source);
    update.start(QStringLiteral("bash"), {source + QStringLiteral("/scripts/update-pot"), fresh});
    ASSERT_TRUE(update.waitForFinished(60000));
    ASSERT_EQ(update.exitCode(), 0) << update.readAllStandardError().toStdString();

    const QSet<QString> committed = msgidsOf(source + QStringLiteral("/locale/vellumora.pot"));
    const QSet<QString> code = msgidsOf(fresh);
    EXPECT_TRUE(code.contains(QStringLiteral("Empty name")));   // passed through a helper
    QStringList missing = (code - committed).values();
    missing.sort();
    EXPECT_TRUE(missing.isEmpty()) << "run scripts/update-pot; missing: "
                                   << missing.join(QStringLiteral(" | ")).toStdString();
}

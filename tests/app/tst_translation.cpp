#include "platform/MessageCatalogue.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

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

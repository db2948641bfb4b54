#include "platform/MessageCatalogue.h"
#include "scanner/FormSelectSource.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

const QString kSourceDir = QStringLiteral(VELLUMORA_SOURCE_DIR);

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

// Sets the language variables for one test (an empty value unsets one) and
// leaves the catalogue unbound again afterwards.
class LanguageGuard
{
public:
    explicit LanguageGuard(std::initializer_list<std::pair<const char *, QByteArray>> Values)
    {
        for (const char *name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            saved_.push_back({name, qgetenv(name)});
        for (const auto &[name, value] : Values)
            value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    }
    ~LanguageGuard()
    {
        for (const auto &[name, value] : saved_)
            value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
        InitMessageCatalogue({QStringLiteral("/nonexistent"), QByteArrayLiteral("default")});
    }

private:
    std::vector<std::pair<const char *, QByteArray>> saved_;
};

TCatalogueLocation besideExecutable(const TTestEnvironment &Env)
{
    return {Env.ExeDir() + QStringLiteral("locale"), QByteArrayLiteral("default")};
}

} // namespace

TEST(MessageCatalogue, FormsTranslateTheirTextsWhenACatalogueIsBesideTheExecutable)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    ASSERT_TRUE(installCatalogue(env));
    LanguageGuard language{{"LANGUAGE", "xx"}};
    InitMessageCatalogue(besideExecutable(env));

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
    InitMessageCatalogue(besideExecutable(env));
    EXPECT_EQ(_("Scanner"), QStringLiteral("Scanner"));
    EXPECT_TRUE(_("").isEmpty());
    EXPECT_TRUE(MessageCatalogueLanguage().isEmpty());
}

// The language follows the environment as gettext reads it, also where the
// machine lacks the locale named (a fresh one has only C and C.UTF-8).
TEST(MessageCatalogue, FollowsTheLanguageTheEnvironmentNames)
{
    TTestEnvironment env;
    ASSERT_TRUE(installCatalogue(env));
    struct
    {
        const char *Language, *LcAll, *LcMessages, *Lang;
        const char *Expected;
    } const cases[] = {
        {"", "", "", "xx_YY.UTF-8", "Skaner"},
        {"", "", "xx_YY.UTF-8", "en_US.UTF-8", "Skaner"},
        {"", "C.UTF-8", "xx_YY.UTF-8", "xx_YY.UTF-8", "Scanner"},  // LC_ALL wins
        {"", "", "C", "xx_YY.UTF-8", "Scanner"},                   // LC_MESSAGES wins over LANG
        {"xx", "", "", "", "Skaner"},                              // no locale named at all
        {"xx", "C", "", "", "Scanner"},                            // LC_ALL=C: as written
    };
    for (const auto &c : cases) {
        LanguageGuard language{
            {"LANGUAGE", c.Language}, {"LC_ALL", c.LcAll}, {"LC_MESSAGES", c.LcMessages}, {"LANG", c.Lang}};
        InitMessageCatalogue(besideExecutable(env));
        EXPECT_EQ(_("Scanner"), QString::fromUtf8(c.Expected))
            << c.Language << "|" << c.LcAll << "|" << c.LcMessages << "|" << c.Lang;
    }
}

// The build's own catalogues, as a copy run from the build folder finds them.
TEST(MessageCatalogue, TheBuildSpeaksGermanAndPolishFromTheFirstRunOn)
{
    struct
    {
        const char *Language;
        const char *Caption, *FirstWords, *FileMenu, *Yes;
    } const cases[] = {
        {"de", "Information", "Vellumora wird zum ersten Mal gestartet.", "Datei", "&Ja"},
        {"pl", "Informacja", "To pierwsze uruchomienie programu Vellumora.", "Plik", "&Tak"},
    };
    for (const auto &c : cases) {
        TTestEnvironment env;
        TDialogRecorder dialogs;
        LanguageGuard language{{"LANGUAGE", c.Language}};
        InitMessageCatalogue({QStringLiteral(VELLUMORA_LOCALE_DIR), QByteArrayLiteral("default")});
        EXPECT_EQ(MessageCatalogueLanguage(), QLatin1String(c.Language));
        // Qt's own buttons speak the same language.
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QString::fromUtf8(c.Yes));

        TAppForms forms;
        StartUp(forms);
        forms.frmMain->FormShow();
        ASSERT_EQ(dialogs.Messages.size(), 1u) << c.Language;
        EXPECT_EQ(dialogs.Messages[0].Caption, QString::fromUtf8(c.Caption));
        EXPECT_TRUE(dialogs.Messages[0].Text.startsWith(QString::fromUtf8(c.FirstWords)))
            << dialogs.Messages[0].Text.toStdString();
        EXPECT_EQ(forms.frmMain->menuBar()->actions().value(0)->text(), QString::fromUtf8(c.FileMenu));
    }
}

namespace {

// The width a widget's text needs and the width it has, or {0, 0} for a widget
// without text. A push button's size hint holds a minimum width of the style's,
// so its own content rectangle is measured instead.
std::pair<int, int> neededAndGiven(QWidget *Widget)
{
    if (auto *button = qobject_cast<QPushButton *>(Widget); button && !button->text().isEmpty()) {
        QStyleOptionButton option;
        option.initFrom(button);
        const int given = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        return {button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) + icon, given};
    }
    const auto *button = qobject_cast<QAbstractButton *>(Widget);
    const auto *label = qobject_cast<QLabel *>(Widget);
    if ((button && !button->text().isEmpty()) || (label && !label->wordWrap() && !label->text().isEmpty()))
        return {Widget->sizeHint().width(), Widget->width()};
    return {0, 0};
}

// Buttons and single-line labels narrower than their text: a longer translation
// must widen them, never cut their end off.
QStringList cutOffTexts(QWidget &Form)
{
    Form.show();
    QCoreApplication::processEvents();
    QStringList cut;
    for (QWidget *widget : Form.findChildren<QWidget *>()) {
        const auto [needed, given] = neededAndGiven(widget);
        if (widget->isVisibleTo(&Form) && given < needed)
            cut << QStringLiteral("%1: %2 needs %3, has %4")
                       .arg(Form.objectName(), widget->objectName().isEmpty() ? widget->metaObject()->className()
                                                                               : widget->objectName())
                       .arg(needed)
                       .arg(given);
    }
    Form.hide();
    return cut;
}

} // namespace

TEST(MessageCatalogue, NoTextIsCutOffInGermanOrPolish)
{
    for (const char *language : {"de", "pl"}) {
        TTestEnvironment env;
        TDialogRecorder dialogs;
        LanguageGuard guard{{"LANGUAGE", language}};
        InitMessageCatalogue({QStringLiteral(VELLUMORA_LOCALE_DIR), QByteArrayLiteral("default")});
        TAppForms forms;
        StartUp(forms);
        TFormSelectSource selectSource;
        QStringList cut;
        for (QWidget *form : std::initializer_list<QWidget *>{
                 forms.frmMain.get(), forms.frmLoading.get(), forms.frmCustomizeFormat.get(),
                 forms.frmDownloadData.get(), forms.frmAbout.get(), forms.frmConfiguration.get(),
                 forms.frmScanAreas.get(), forms.frmTest.get(), &selectSource})
            cut << cutOffTexts(*form);
        EXPECT_TRUE(cut.isEmpty()) << language << ":\n  " << cut.join(QStringLiteral("\n  ")).toStdString();
    }
}

namespace {

// One message of a catalogue, its texts as they stand between the quotes.
struct TPoEntry
{
    QString Context, Id, IdPlural;
    QStringList Strs;   // msgstr, or msgstr[0], msgstr[1], ...
    bool Fuzzy = false;
    QString Key() const { return Context + QChar(4) + Id; }
};

struct TPoFile
{
    bool Read = false;
    QString Header;
    QList<TPoEntry> Entries;   // obsolete (#~) ones left out
};

TPoFile readPo(const QString &Path)
{
    TPoFile po;
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return po;
    po.Read = true;
    TPoEntry entry;
    QString *continued = nullptr;
    bool obsolete = false;
    const auto finish = [&] {
        if (!obsolete && entry.Id.isEmpty() && !entry.Strs.isEmpty())
            po.Header = entry.Strs.first();
        else if (!obsolete && !entry.Id.isEmpty())
            po.Entries << entry;
        entry = {};
        continued = nullptr;
        obsolete = false;
    };
    const auto quoted = [](const QString &Line) {
        const qsizetype first = Line.indexOf(u'"');
        return Line.mid(first + 1, Line.lastIndexOf(u'"') - first - 1);
    };
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.trimmed().isEmpty()) {
            finish();
        } else if (line.startsWith(QStringLiteral("#~"))) {
            obsolete = true;
        } else if (line.startsWith(QStringLiteral("#,"))) {
            entry.Fuzzy = line.contains(QStringLiteral("fuzzy"));
        } else if (line.startsWith(u'"')) {
            if (continued)
                *continued += quoted(line);
        } else if (!line.startsWith(u'#')) {
            const QString keyword = line.section(u' ', 0, 0);
            if (keyword == QStringLiteral("msgctxt"))
                continued = &entry.Context;
            else if (keyword == QStringLiteral("msgid"))
                continued = &entry.Id;
            else if (keyword == QStringLiteral("msgid_plural"))
                continued = &entry.IdPlural;
            else if (keyword.startsWith(QStringLiteral("msgstr")))
                continued = &entry.Strs.emplace_back();
            else
                continue;
            *continued = quoted(line);
        }
    }
    finish();
    return po;
}

QSet<QString> placeholdersOf(const QString &Text)
{
    static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    QSet<QString> found;
    for (const auto &match : placeholder.globalMatch(Text))
        found.insert(match.captured());
    return found;
}

// Everything a translator still has to do in Catalogue, one line per message.
QStringList catalogueProblems(const TPoFile &Template, const TPoFile &Catalogue, const QString &Language)
{
    QStringList problems;
    if (!Catalogue.Header.contains(QStringLiteral("Language: %1\\n").arg(Language)))
        problems << QStringLiteral("header: no \"Language: %1\"").arg(Language);
    QHash<QString, const TPoEntry *> byKey;
    for (const TPoEntry &entry : Catalogue.Entries)
        byKey.insert(entry.Key(), &entry);
    QSet<QString> templateKeys;
    for (const TPoEntry &wanted : Template.Entries) {
        templateKeys.insert(wanted.Key());
        const QString name = QStringLiteral("\"%1\"").arg(wanted.Id);
        const TPoEntry *entry = byKey.value(wanted.Key());
        if (!entry) {
            problems << QStringLiteral("missing: ") + name;
            continue;
        }
        if (entry->Fuzzy)
            problems << QStringLiteral("fuzzy: ") + name;
        if (entry->Strs.isEmpty() || entry->Strs.contains(QString())) {
            problems << QStringLiteral("untranslated: ") + name;
            continue;
        }
        const QSet<QString> placeholders = placeholdersOf(wanted.Id) | placeholdersOf(wanted.IdPlural);
        for (const QString &translation : entry->Strs) {
            if (placeholdersOf(translation) != placeholders) {
                problems << QStringLiteral("placeholders differ: ") + name;
                break;
            }
        }
    }
    for (const TPoEntry &entry : Catalogue.Entries)
        if (!templateKeys.contains(entry.Key()))
            problems << QStringLiteral("not in the template, run scripts/update-pot: \"%1\"").arg(entry.Id);
    return problems;
}

} // namespace

TEST(Catalogues, TemplateHoldsEveryTextOfTheCode)
{
    TTestEnvironment env;
    const QString fresh = env.Path(QStringLiteral("fresh.pot"));
    QProcess update;
    update.setWorkingDirectory(kSourceDir);
    update.start(QStringLiteral("bash"), {kSourceDir + QStringLiteral("/scripts/update-pot"), fresh});
    ASSERT_TRUE(update.waitForFinished(60000));
    ASSERT_EQ(update.exitCode(), 0) << update.readAllStandardError().toStdString();

    QSet<QString> committed, code;
    for (const TPoEntry &entry : readPo(kSourceDir + QStringLiteral("/locale/vellumora.pot")).Entries)
        committed.insert(entry.Id);
    for (const TPoEntry &entry : readPo(fresh).Entries)
        code.insert(entry.Id);
    EXPECT_TRUE(code.contains(QStringLiteral("Empty name")));   // passed through a helper
    QStringList missing = (code - committed).values();
    missing.sort();
    EXPECT_TRUE(missing.isEmpty()) << "run scripts/update-pot; missing: "
                                   << missing.join(QStringLiteral(" | ")).toStdString();
}

// German and Polish ship with the program; any further <lang>.po is held to the same.
TEST(Catalogues, EveryTranslationIsCompleteAndCompiles)
{
    const TPoFile pot = readPo(kSourceDir + QStringLiteral("/locale/vellumora.pot"));
    ASSERT_TRUE(pot.Read);
    QStringList languages = QDir(kSourceDir + QStringLiteral("/locale"))
                                .entryList({QStringLiteral("*.po")}, QDir::Files, QDir::Name)
                                .replaceInStrings(QStringLiteral(".po"), QString());
    EXPECT_TRUE(languages.contains(QStringLiteral("de")) && languages.contains(QStringLiteral("pl")));
    for (const QString &language : languages) {
        const QString path = kSourceDir + QStringLiteral("/locale/%1.po").arg(language);
        const QStringList problems = catalogueProblems(pot, readPo(path), language);
        EXPECT_TRUE(problems.isEmpty()) << path.toStdString() << ":\n  "
                                        << problems.join(QStringLiteral("\n  ")).toStdString();
        QProcess msgfmt;
        msgfmt.start(QStringLiteral("msgfmt"),
                     {QStringLiteral("--check"), QStringLiteral("-o"), QStringLiteral("/dev/null"), path});
        ASSERT_TRUE(msgfmt.waitForFinished(30000));
        EXPECT_EQ(msgfmt.exitCode(), 0) << msgfmt.readAllStandardError().toStdString();
    }
}

TEST(Catalogues, TheCheckNamesEachMessageThatNeedsATranslator)
{
    TTestEnvironment env;
    const QByteArray header = "msgid \"\"\nmsgstr \"Language: xx\\n\"\n\n";
    const QString pot = env.WriteFile(
        QStringLiteral("t.pot"),
        header + "msgid \"Kept\"\nmsgstr \"\"\n\n"
                 "msgid \"Gone\"\nmsgstr \"\"\n\n"
                 "msgid \"Empty\"\nmsgstr \"\"\n\n"
                 "#, fuzzy\nmsgid \"Guessed\"\nmsgstr \"\"\n\n"
                 "#, qt-format\nmsgid \"\"\n\"Cannot open %1: \"\n\"%2\"\nmsgstr \"\"\n\n"
                 "msgid \"%1 card\"\nmsgid_plural \"%1 cards\"\nmsgstr[0] \"\"\nmsgstr[1] \"\"\n\n"
                 "msgctxt \"menu\"\nmsgid \"Kept\"\nmsgstr \"\"\n");
    const QString po = env.WriteFile(
        QStringLiteral("xx.po"),
        header + "msgid \"Kept\"\nmsgstr \"K\"\n\n"
                 "msgid \"Empty\"\nmsgstr \"\"\n\n"
                 "#, fuzzy\nmsgid \"Guessed\"\nmsgstr \"G\"\n\n"
                 "#, qt-format\nmsgid \"Cannot open %1: %2\"\nmsgstr \"%1 \"\n\"zu\"\n\n"
                 "msgid \"%1 card\"\nmsgid_plural \"%1 cards\"\nmsgstr[0] \"%1 K\"\nmsgstr[1] \"\"\n\n"
                 "msgctxt \"menu\"\nmsgid \"Kept\"\nmsgstr \"M\"\n\n"
                 "msgid \"Extra\"\nmsgstr \"E\"\n\n"
                 "#~ msgid \"Old\"\n#~ msgstr \"O\"\n");
    const QStringList expected{
        QStringLiteral("missing: \"Gone\""),
        QStringLiteral("untranslated: \"Empty\""),
        QStringLiteral("fuzzy: \"Guessed\""),
        QStringLiteral("placeholders differ: \"Cannot open %1: %2\""),
        QStringLiteral("untranslated: \"%1 card\""),
        QStringLiteral("not in the template, run scripts/update-pot: \"Extra\""),
    };
    EXPECT_EQ(catalogueProblems(readPo(pot), readPo(po), QStringLiteral("xx")), expected);
    EXPECT_EQ(catalogueProblems(readPo(pot), readPo(po), QStringLiteral("de")).value(0),
              QStringLiteral("header: no \"Language: de\""));
}

#include "platform/MessageCatalogue.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QTranslator>

#include <clocale>
#include <libintl.h>

namespace {

QByteArray &textDomain()
{
    static QByteArray domain = QByteArrayLiteral("default");
    return domain;
}

// The locale the environment names for messages, by POSIX precedence.
QByteArray messagesLocaleOfEnvironment()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

void setLocaleFromEnvironment()
{
    const bool found = std::setlocale(LC_ALL, "") != nullptr;
    if (!found)
        std::setlocale(LC_ALL, "C.UTF-8");
    const QByteArray named = messagesLocaleOfEnvironment();
    if (named.isEmpty()) {
        // Naming no locale at all means "C", under which gettext ignores
        // LANGUAGE; C.UTF-8 is the same in every other respect. An explicit
        // LC_ALL=C still asks for the texts as written.
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    } else if (!found && qEnvironmentVariableIsEmpty("LANGUAGE") && named != "C" && named != "POSIX"
               && !named.startsWith("C.")) {
        // Only C, C.UTF-8 and POSIX exist on a fresh machine, so the user's
        // locale is often missing. gettext would then ignore the language the
        // user named; LANGUAGE, which it reads under C.UTF-8, still carries it.
        qputenv("LANGUAGE", named);
    }
    // Qt and our parsers read numbers themselves; keep the C library's own
    // number format neutral so nothing else changes under us.
    std::setlocale(LC_NUMERIC, "C");
}

// Qt's standard buttons and file dialog speak the language our own texts do,
// never another one: a German "Ja" under English texts would be as odd as the
// reverse. Qt's translations come with the system (qt6-translations-l10n).
void followWithQtTexts(const QString &Language)
{
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    if (Language.isEmpty() || !QCoreApplication::instance())
        return;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(Language), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
        installed = translator;
    } else {
        delete translator;
    }
}

} // namespace

void InitMessageCatalogue(const TCatalogueLocation &Location)
{
    setLocaleFromEnvironment();
    textDomain() = Location.TextDomain;
    bindtextdomain(textDomain().constData(), Location.Dir.toLocal8Bit().constData());
    bind_textdomain_codeset(textDomain().constData(), "UTF-8");
    followWithQtTexts(MessageCatalogueLanguage());
}

QString MessageCatalogueLanguage()
{
    // gettext answers the empty text with the header of the catalogue it found.
    static const QRegularExpression language(QStringLiteral("^Language: *([A-Za-z_@]+)"),
                                             QRegularExpression::MultilineOption);
    const QString header = QString::fromUtf8(dgettext(textDomain().constData(), ""));
    return language.match(header).captured(1);
}

QString _(const char *MsgId)
{
    if (!MsgId || !*MsgId)
        return {};
    return QString::fromUtf8(dgettext(textDomain().constData(), MsgId));
}

QString _n(const char *Singular, const char *Plural, unsigned long N)
{
    return QString::fromUtf8(dngettext(textDomain().constData(), Singular, Plural, N));
}

#include "platform/MessageCatalogue.h"

#include <clocale>
#include <libintl.h>

namespace {
constexpr const char *kTextDomain = "default";
}

void InitMessageCatalogue(const QString &LocaleDir)
{
    // gettext ignores LANGUAGE while LC_MESSAGES is "C", and a machine may lack
    // the user's locale altogether.
    if (!std::setlocale(LC_ALL, ""))
        std::setlocale(LC_ALL, "C.UTF-8");
    // Qt and our parsers read numbers themselves; keep the C library's own
    // number format neutral so nothing else changes under us.
    std::setlocale(LC_NUMERIC, "C");
    bindtextdomain(kTextDomain, LocaleDir.toLocal8Bit().constData());
    bind_textdomain_codeset(kTextDomain, "UTF-8");
}

QString _(const char *MsgId)
{
    if (!MsgId || !*MsgId)
        return {};
    return QString::fromUtf8(dgettext(kTextDomain, MsgId));
}

QString _n(const char *Singular, const char *Plural, unsigned long N)
{
    return QString::fromUtf8(dngettext(kTextDomain, Singular, Plural, N));
}

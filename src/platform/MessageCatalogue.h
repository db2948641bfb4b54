#pragma once

#include "platform/AppPaths.h"

#include <QString>

// Sets the process locale from the environment and binds the catalogues of
// Location: texts follow the user's language as gettext chooses it (LANGUAGE,
// LC_ALL, LC_MESSAGES, LANG), and Qt's own texts (standard buttons, the file
// dialog) follow the language of the catalogue in use. Without a catalogue for
// the user's language every text shows as written.
void InitMessageCatalogue(const TCatalogueLocation &Location);

// The language of the catalogue in use ("de", "pl"); empty when texts show as written.
QString MessageCatalogueLanguage();

// A user-visible text through the message catalogue. Without a catalogue the
// text shows as written.
QString _(const char *MsgId);

// A text with a count, in the plural form the user's language takes for N.
QString _n(const char *Singular, const char *Plural, unsigned long N);

// Marks a text for the catalogue template where it is passed on before it is
// translated (a table of messages, a helper taking the message).
constexpr const char *N_(const char *MsgId)
{
    return MsgId;
}

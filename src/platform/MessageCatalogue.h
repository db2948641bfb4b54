#pragma once

#include <QString>

// Sets the process locale from the environment (falling back to C.UTF-8) and
// binds the text domain "default" to the catalogues in LocaleDir.
void InitMessageCatalogue(const QString &LocaleDir);

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

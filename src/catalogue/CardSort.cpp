#include "catalogue/CardSort.h"

#include <QCollator>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <optional>
#include <vector>

// Grids sort lists of a hundred thousand cards, so no collator runs inside a
// comparison: every text is turned into a rank (its position among the distinct
// texts in collation order) once per sort, and the sort compares integers.

namespace {

// Collation keys of the user's locale. Qt's keys for the C locale compare code
// units and ignore the case setting, so that locale gets keys of our own.
class TTextRanker
{
public:
    explicit TTextRanker(Qt::CaseSensitivity CaseSensitivity)
        : collator_(QLocale()), caseSensitivity_(CaseSensitivity)
    {
        collator_.setCaseSensitivity(CaseSensitivity);
        plain_ = collator_.locale().language() == QLocale::C;
    }

    // Ranks[i] for Texts[i]; equal under the collation means equal rank.
    std::vector<int> Rank(const std::vector<QString> &Texts) const
    {
        // Card lists repeat many texts (languages above all): key each once.
        QHash<QString, int> distinctIndex;
        std::vector<QString> distinct;
        std::vector<int> textToDistinct(Texts.size());
        for (size_t i = 0; i < Texts.size(); ++i) {
            auto it = distinctIndex.constFind(Texts[i]);
            if (it == distinctIndex.constEnd()) {
                it = distinctIndex.insert(Texts[i], static_cast<int>(distinct.size()));
                distinct.push_back(Texts[i]);
            }
            textToDistinct[i] = it.value();
        }

        const std::vector<int> distinctRanks = plain_ ? rankPlain(distinct) : rankCollated(distinct);
        std::vector<int> ranks(Texts.size());
        for (size_t i = 0; i < Texts.size(); ++i)
            ranks[i] = distinctRanks[static_cast<size_t>(textToDistinct[i])];
        return ranks;
    }

private:
    template<typename Key, typename Compare>
    static std::vector<int> rankByKeys(const std::vector<Key> &Keys, Compare compare)
    {
        std::vector<int> order(Keys.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<int>(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return compare(Keys[static_cast<size_t>(a)], Keys[static_cast<size_t>(b)]) < 0;
        });
        std::vector<int> ranks(Keys.size());
        int rank = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0
                && compare(Keys[static_cast<size_t>(order[i - 1])], Keys[static_cast<size_t>(order[i])]) != 0)
                ++rank;
            ranks[static_cast<size_t>(order[i])] = rank;
        }
        return ranks;
    }

    std::vector<int> rankCollated(const std::vector<QString> &Texts) const
    {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(Texts.size());
        for (const QString &text : Texts)
            keys.push_back(collator_.sortKey(text));
        return rankByKeys(keys, [](const QCollatorSortKey &a, const QCollatorSortKey &b) {
            return a.compare(b);
        });
    }

    std::vector<int> rankPlain(const std::vector<QString> &Texts) const
    {
        std::vector<QString> keys;
        keys.reserve(Texts.size());
        for (const QString &text : Texts)
            keys.push_back(caseSensitivity_ == Qt::CaseSensitive ? text : text.toCaseFolded());
        return rankByKeys(keys, [](const QString &a, const QString &b) {
            return QString::compare(a, b, Qt::CaseSensitive);
        });
    }

    QCollator collator_;
    Qt::CaseSensitivity caseSensitivity_;
    bool plain_ = false;
};

struct TSortEntry
{
    int Primary = 0;
    int Name = 0;
    int Language = 0;
    int Item = 0;

    bool operator<(const TSortEntry &Other) const
    {
        if (Primary != Other.Primary)
            return Primary < Other.Primary;
        if (Name != Other.Name)
            return Name < Other.Name;
        return Language < Other.Language;
    }
};

// Entries that share their key with another entry; only they need the next
// tie-break, which spares collating every name when the numbers differ.
template<typename KeyOf>
std::vector<size_t> tiedEntries(const std::vector<TSortEntry> &Entries, KeyOf keyOf)
{
    std::vector<size_t> order(Entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return keyOf(Entries[a]) < keyOf(Entries[b]); });
    std::vector<size_t> tied;
    for (size_t i = 0; i < order.size();) {
        size_t end = i + 1;
        while (end < order.size() && keyOf(Entries[order[end]]) == keyOf(Entries[order[i]]))
            ++end;
        if (end - i > 1)
            tied.insert(tied.end(), order.begin() + static_cast<std::ptrdiff_t>(i),
                        order.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
    return tied;
}

template<typename TextOf>
std::vector<int> rankCards(const TCardList &Cards, const std::vector<size_t> &Which,
                           const std::vector<TSortEntry> &Entries, Qt::CaseSensitivity CaseSensitivity,
                           TextOf textOf)
{
    std::vector<QString> texts;
    texts.reserve(Which.size());
    for (const size_t entry : Which) {
        const TGameCard *card = Cards.Objects(Entries[entry].Item);
        texts.push_back(card ? textOf(*card) : QString());
    }
    return TTextRanker(CaseSensitivity).Rank(texts);
}

QString cardName(const TGameCard &Card) { return Card.Name; }
QString cardLanguage(const TGameCard &Card) { return FromAnsi(Card.Language); }
QString cardCollectorsNo(const TGameCard &Card) { return Card.CollectorsNo; }

} // namespace

void SortCards(TCardList &Cards, int Column, bool Descending)
{
    if (Column < ColumnNumber || Column > ColumnLanguage || Cards.Count() < 2)
        return;

    std::vector<TSortEntry> entries(static_cast<size_t>(Cards.Count()));
    std::vector<size_t> all(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].Item = static_cast<int>(i);
        all[i] = i;
    }

    auto assign = [&entries](const std::vector<size_t> &Which, const std::vector<int> &Ranks,
                             int TSortEntry::*Field) {
        for (size_t i = 0; i < Which.size(); ++i)
            entries[Which[i]].*Field = Ranks[i];
    };

    switch (Column) {
    case ColumnNumber:
        // Compared, not subtracted: numbers far apart must not overflow.
        for (TSortEntry &entry : entries) {
            const TGameCard *card = Cards.Objects(entry.Item);
            entry.Primary = card ? card->Number : 0;
        }
        break;
    case ColumnCollectorsNo:
        assign(all, rankCards(Cards, all, entries, Qt::CaseSensitive, cardCollectorsNo),
               &TSortEntry::Primary);
        break;
    case ColumnName:
        assign(all, rankCards(Cards, all, entries, Qt::CaseInsensitive, cardName),
               &TSortEntry::Primary);
        break;
    case ColumnLanguage:
        assign(all, rankCards(Cards, all, entries, Qt::CaseSensitive, cardLanguage),
               &TSortEntry::Primary);
        break;
    }

    const std::vector<size_t> tiedOnPrimary =
        tiedEntries(entries, [](const TSortEntry &e) { return e.Primary; });
    if (!tiedOnPrimary.empty()) {
        if (Column == ColumnName) {
            for (TSortEntry &entry : entries)
                entry.Name = entry.Primary;
        } else {
            assign(tiedOnPrimary,
                   rankCards(Cards, tiedOnPrimary, entries, Qt::CaseInsensitive, cardName),
                   &TSortEntry::Name);
        }
        const std::vector<size_t> tiedOnName = tiedEntries(entries, [](const TSortEntry &e) {
            return std::pair(e.Primary, e.Name);
        });
        if (!tiedOnName.empty())
            assign(tiedOnName,
                   rankCards(Cards, tiedOnName, entries, Qt::CaseInsensitive, cardLanguage),
                   &TSortEntry::Language);
    }

    if (Descending)
        std::sort(entries.begin(), entries.end(),
                  [](const TSortEntry &a, const TSortEntry &b) { return b < a; });
    else
        std::sort(entries.begin(), entries.end());

    std::vector<TCardItem> &items = Cards.Items();
    std::vector<TCardItem> sorted;
    sorted.reserve(items.size());
    for (const TSortEntry &entry : entries)
        sorted.push_back(std::move(items[static_cast<size_t>(entry.Item)]));
    items.swap(sorted);
}

namespace {

bool equalFoldingAToZ(const char *A, const char *B, qsizetype Length)
{
    for (qsizetype i = 0; i < Length; ++i) {
        char a = A[i];
        char b = B[i];
        if (a >= 'a' && a <= 'z')
            a = static_cast<char>(a - ('a' - 'A'));
        if (b >= 'a' && b <= 'z')
            b = static_cast<char>(b - ('a' - 'A'));
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

int FindCardByNamePrefix(const TCardList &Cards, int RowCount, const QString &SearchText)
{
    const AnsiString search = ToAnsi(SearchText);
    const qsizetype length = search.size();
    const int rows = std::min(RowCount, Cards.Count());
    for (int row = 0; row < rows; ++row) {
        // The 8-bit form (as ToAnsi gives it) of just the start of the name: every
        // code unit gives at least one byte, so this many give the first `length`
        // bytes even when the last one is half of a surrogate pair.
        const AnsiString item = QStringView(Cards.Strings(row)).left(length + 1).toUtf8();
        if (item.size() >= length && equalFoldingAToZ(item.constData(), search.constData(), length))
            return row;
    }
    return -1;
}

void TIncrementalSearch::expire(qint64 NowMs)
{
    if (anyKey_ && NowMs - lastKeyMs_ > ResetAfterMs)
        text_.clear();
    anyKey_ = true;
    lastKeyMs_ = NowMs;
}

QString TIncrementalSearch::Typed(const QString &Chars, qint64 NowMs)
{
    expire(NowMs);
    QString candidate = text_;
    // Enter, Tab or Escape arrive as control characters; they are not part of a name.
    for (const QChar ch : Chars)
        if (ch.unicode() >= 0x20 && ch.unicode() != 0x7F)
            candidate += ch;
    return candidate;
}

QString TIncrementalSearch::Backspace(qint64 NowMs)
{
    expire(NowMs);
    QString candidate = text_;
    if (candidate.isEmpty())
        return candidate;
    qsizetype cut = 1;
    if (candidate.size() >= 2 && candidate.back().isLowSurrogate()
        && candidate.at(candidate.size() - 2).isHighSurrogate())
        cut = 2;
    candidate.chop(cut);
    return candidate;
}

void TIncrementalSearch::Clear()
{
    text_.clear();
    anyKey_ = false;
}

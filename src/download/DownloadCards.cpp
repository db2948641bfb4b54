#include "download/DownloadCards.h"

#include "download/AssocArray.h"
#include "download/CatalogueText.h"

#include <QCollator>
#include <QHash>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace {

// The text as a case-insensitive comparison sees it: each character folded
// on its own. A text that folding leaves alone is not copied.
QString foldCase(const QString &Text)
{
    qsizetype first = 0;
    while (first < Text.size() && Text[first].toCaseFolded() == Text[first])
        ++first;
    if (first == Text.size())
        return Text;
    QString folded = Text;
    for (qsizetype i = first; i < folded.size(); ++i)
        folded[i] = folded[i].toCaseFolded();
    return folded;
}

// Hands Use the keys under which Texts sort as the user's locale has it, and
// the comparison of two keys. Each text becomes a key once, so sorting a list
// of many distinct texts compares keys, not texts. The C locale's collation
// ignores the case setting: there the keys are the texts, folded when asked.
template <typename F>
void withSortKeys(const std::vector<QString> &Texts, Qt::CaseSensitivity Case, F &&Use)
{
    QCollator collator;
    collator.setCaseSensitivity(Case);
    if (collator.locale().language() == QLocale::C) {
        std::vector<QString> keys;
        keys.reserve(Texts.size());
        for (const QString &text : Texts)
            keys.push_back(Case == Qt::CaseInsensitive ? foldCase(text) : text);
        Use(keys, [](const QString &A, const QString &B) { return A.compare(B); });
    } else {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(Texts.size());
        for (const QString &text : Texts)
            keys.push_back(collator.sortKey(text));
        Use(keys, [](const QCollatorSortKey &A, const QCollatorSortKey &B) { return A.compare(B); });
    }
}

// Ranks of texts in collation order, equal texts sharing a rank. Sorting a
// hundred thousand cards then compares integers, and the collator runs only
// on the few distinct texts of a column.
std::vector<int> rankTexts(const std::vector<QString> &Texts, Qt::CaseSensitivity Case)
{
    QHash<QString, int> distinctIndex;
    std::vector<QString> distinct;
    std::vector<int> toDistinct(Texts.size());
    for (size_t i = 0; i < Texts.size(); ++i) {
        auto it = distinctIndex.constFind(Texts[i]);
        if (it == distinctIndex.constEnd()) {
            it = distinctIndex.insert(Texts[i], static_cast<int>(distinct.size()));
            distinct.push_back(Texts[i]);
        }
        toDistinct[i] = it.value();
    }
    std::vector<int> order(distinct.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<int> distinctRank(distinct.size());
    withSortKeys(distinct, Case, [&](const auto &Keys, const auto &Compare) {
        std::sort(order.begin(), order.end(), [&](int A, int B) {
            return Compare(Keys[static_cast<size_t>(A)], Keys[static_cast<size_t>(B)]) < 0;
        });
        int rank = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && Compare(Keys[static_cast<size_t>(order[i - 1])], Keys[static_cast<size_t>(order[i])]) != 0)
                ++rank;
            distinctRank[static_cast<size_t>(order[i])] = rank;
        }
    });
    std::vector<int> ranks(Texts.size());
    for (size_t i = 0; i < Texts.size(); ++i)
        ranks[i] = distinctRank[static_cast<size_t>(toDistinct[i])];
    return ranks;
}

QString columnText(const TGameCard &Card, int Column)
{
    switch (Column) {
    case dcCollectorsNo: return Card.CollectorsNo;
    case dcName: return Card.Name;
    case dcLanguage: return FromAnsi(Card.Language);
    case dcRarity: return Card.Rarity;
    case dcFoil: return FromAnsi(Card.Foil);
    case dcType1: return Card.P0;
    case dcType2: return Card.P1;
    case dcScan: return FromAnsi(Card.ScanFile);
    }
    return {};
}

QImage blankIcon()
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void drawFunnel(QPainter &P)
{
    QPainterPath funnel;
    funnel.moveTo(1, 2);
    funnel.lineTo(12, 2);
    funnel.lineTo(8, 7);
    funnel.lineTo(8, 13);
    funnel.lineTo(5, 11);
    funnel.lineTo(5, 7);
    funnel.closeSubpath();
    P.setPen(QPen(QColor(60, 60, 60), 1));
    P.setBrush(QColor(230, 200, 90));
    P.drawPath(funnel);
}

void drawCross(QPainter &P, QRectF Box, qreal Width)
{
    P.setPen(QPen(QColor(210, 30, 30), Width, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(Box.topLeft(), Box.bottomRight());
    P.drawLine(Box.topRight(), Box.bottomLeft());
}

} // namespace

QList<QImage> DrawDownloadIcons()
{
    QList<QImage> icons;
    for (int i = 0; i < 6; ++i) {
        QImage image = blankIcon();
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        switch (i) {
        case iconFilter:
            drawFunnel(p);
            p.setPen(QPen(QColor(0, 150, 0), 2));
            p.drawLine(QPointF(12, 9), QPointF(12, 15));
            p.drawLine(QPointF(9, 12), QPointF(15, 12));
            break;
        case iconResetFilter:
            drawFunnel(p);
            drawCross(p, QRectF(10, 10, 5, 5), 2);
            break;
        case iconScanner:
            p.setPen(QPen(QColor(60, 60, 60), 1));
            p.setBrush(QColor(200, 200, 210));
            p.drawRoundedRect(QRectF(1.5, 7.5, 13, 6), 1, 1);
            p.setBrush(QColor(120, 170, 230));
            p.drawRect(QRectF(3.5, 4.5, 9, 3));
            p.setPen(QPen(QColor(0, 170, 0), 1));
            p.drawLine(QPointF(4, 10.5), QPointF(12, 10.5));
            break;
        case iconTick:
            p.setPen(QPen(QColor(0, 160, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(6.5, 12), QPointF(13, 4)}));
            break;
        case iconCross:
            drawCross(p, QRectF(4, 4, 8, 8), 2.5);
            break;
        case iconQuestion: {
            p.fillRect(QRect(0, 0, 16, 16), Qt::white);
            p.setPen(QColor(210, 30, 30));
            QFont font = p.font();
            font.setBold(true);
            font.setPixelSize(14);
            p.setFont(font);
            p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        }
        p.end();
        icons << image;
    }
    return icons;
}

std::vector<int> CatalogueTextOrder(const std::vector<QString> &Texts, Qt::CaseSensitivity Case)
{
    std::vector<int> order(Texts.size());
    std::iota(order.begin(), order.end(), 0);
    withSortKeys(Texts, Case, [&order](const auto &Keys, const auto &Compare) {
        std::stable_sort(order.begin(), order.end(), [&](int A, int B) {
            return Compare(Keys[static_cast<size_t>(A)], Keys[static_cast<size_t>(B)]) < 0;
        });
    });
    return order;
}

std::vector<int> DownloadSortOrder(const std::vector<const TGameCard *> &Cards, int Column,
                                   bool Descending)
{
    const size_t count = Cards.size();
    std::vector<int> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = static_cast<int>(i);
    if (Column < 0 || Column >= dcColumnCount)
        return order;

    std::vector<qint64> primary(count);
    if (Column == dcNumber) {
        for (size_t i = 0; i < count; ++i)
            primary[i] = Cards[i]->Number;
    } else {
        const Qt::CaseSensitivity sensitivity = Column == dcName ? Qt::CaseInsensitive : Qt::CaseSensitive;
        std::vector<QString> texts(count);
        for (size_t i = 0; i < count; ++i)
            texts[i] = columnText(*Cards[i], Column);
        const std::vector<int> ranks = rankTexts(texts, sensitivity);
        std::copy(ranks.begin(), ranks.end(), primary.begin());
    }
    std::vector<QString> names(count);
    std::vector<QString> languages(count);
    for (size_t i = 0; i < count; ++i) {
        names[i] = Cards[i]->Name;
        languages[i] = FromAnsi(Cards[i]->Language);
    }
    const std::vector<int> nameRank = rankTexts(names, Qt::CaseInsensitive);
    const std::vector<int> languageRank = rankTexts(languages, Qt::CaseInsensitive);

    std::sort(order.begin(), order.end(), [&](int A, int B) {
        const auto a = static_cast<size_t>(Descending ? B : A);
        const auto b = static_cast<size_t>(Descending ? A : B);
        if (primary[a] != primary[b])
            return primary[a] < primary[b];
        if (nameRank[a] != nameRank[b])
            return nameRank[a] < nameRank[b];
        return languageRank[a] < languageRank[b];
    });
    return order;
}

namespace {

// Short values that recur from card to card (language, rarity, types, foil)
// share one copy, which keeps a large set's memory and its allocations down.
// The pool stops growing where values stop recurring.
template <typename Text>
class TTextPool
{
public:
    void Share(Text &Value)
    {
        if (Value.isEmpty() || Value.size() > 64)
            return;
        const auto found = pool_.constFind(Value);
        if (found != pool_.constEnd())
            Value = *found;
        else if (pool_.size() < 4096)
            pool_.insert(Value);
    }

private:
    QSet<Text> pool_;
};

// One column's distinct values in the order they first appear, kept in the
// map a filter list is filled from. The set beside it answers "seen before?"
// at once, where the map's own look-up walks its chain and would make a set
// of many distinct values quadratic. Past kMaxFilterValues the column stops
// collecting and offers none.
template <typename Key>
class TDistinctColumn
{
public:
    template <typename ToText>
    void Note(const Key &Value, ToText &&Text)
    {
        if (seen_.size() > kMaxFilterValues || seen_.contains(Value))
            return;
        seen_.insert(Value);
        map_.Add(Text(Value), QVariant(1));
    }

    QStringList Texts() const
    {
        QStringList texts;
        TAssocItem *cursor = nullptr;
        if (seen_.size() <= kMaxFilterValues)
            while (map_.NextItem(cursor))
                texts << cursor->Key.toString();
        return texts;
    }

private:
    QSet<Key> seen_;
    TAssocArray map_;
};

} // namespace

TCatalogueCards ReadCatalogueCards(QByteArrayView Body, int MaxCards)
{
    TCatalogueCards result;
    TDistinctColumn<AnsiString> languages;
    TDistinctColumn<int> subsets;
    TDistinctColumn<QString> rarities;
    TTextPool<QString> texts;
    TTextPool<AnsiString> bytes;
    TCatalogueLines lines(Body);
    QString line;
    while (lines.Next(line)) {
        std::optional<TGameCard> card = ReadCatalogueCard(SplitCatalogueFields(line));
        if (!card)
            continue;
        if (result.Cards.Count() == MaxCards) {
            result.TooMany = true;
            result.Cards.Clear();
            return result;
        }
        bytes.Share(card->Language);
        bytes.Share(card->Foil);
        texts.Share(card->Rarity);
        texts.Share(card->P0);
        texts.Share(card->P1);
        languages.Note(card->Language, [](const AnsiString &Language) { return FromAnsi(Language); });
        subsets.Note(card->SubsetId, [](int Subset) { return QString::number(Subset); });
        rarities.Note(card->Rarity, [](const QString &Rarity) { return Rarity; });
        const QString name = card->Name;
        result.Cards.Add(name, std::make_unique<TGameCard>(std::move(*card)));
    }
    result.Distinct.Languages = languages.Texts();
    result.Distinct.Rarities = rarities.Texts();
    for (const QString &subset : subsets.Texts())
        result.Distinct.Subsets << subset.toInt();
    return result;
}

bool PassesFilter(const TGameCard &Card, const TCardFilter &Filter)
{
    if (Filter.SubsetId && *Filter.SubsetId != Card.SubsetId)
        return false;
    if (Filter.Language && *Filter.Language != FromAnsi(Card.Language))
        return false;
    if (Filter.Rarity && *Filter.Rarity != Card.Rarity)
        return false;
    if (Filter.WithoutScan && !Card.ScanFile.isEmpty())
        return false;
    return true;
}

int FindNameFrom(const std::vector<const TGameCard *> &Cards, int Start, const QString &Typed)
{
    const int count = static_cast<int>(Cards.size());
    if (count == 0 || Typed.isEmpty())
        return -1;
    const auto fold = [](char16_t C) { return C >= u'a' && C <= u'z' ? char16_t(C - 32) : C; };
    const auto matches = [&](const QString &Name) {
        if (Name.size() < Typed.size())
            return false;
        for (qsizetype i = 0; i < Typed.size(); ++i)
            if (fold(Name[i].unicode()) != fold(Typed[i].unicode()))
                return false;
        return true;
    };
    const int first = Start >= 0 && Start < count ? Start : 0;
    for (int step = 0; step < count; ++step) {
        const int row = (first + step) % count;
        if (matches(Cards[static_cast<size_t>(row)]->Name))
            return row;
    }
    return -1;
}


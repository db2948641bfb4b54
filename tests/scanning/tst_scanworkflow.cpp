// The scanning workflow without a window: generated glasses saved into a
// temporary store, the operator's answers given by the host.
#include "cards/CardCorpus.h"
#include "scanning/ScanWorkflow.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImageReader>

#include <deque>
#include <functional>

namespace {

class TAnsweringHost final : public TScanHost
{
public:
    // Changes the operator's choices; without it the review is cancelled.
    std::function<void(std::vector<TPassCard> &)> Review;
    std::vector<TPassCard> Reviewed;
    int Selected = 0;

    bool AskYesNo(const QString &) override { return false; }
    void ShowError(const QString &Text) override { ADD_FAILURE() << Text.toStdString(); }
    bool ReviewCards(const QImage &, std::vector<TPassCard> &Cards) override
    {
        Reviewed = Cards;
        if (Review)
            Review(Cards);
        return bool(Review);
    }
    void ShowPicture(const QImage &) override {}
    void ShowFileFacts(const QString &, const QString &) override {}
    void RepaintCards() override {}
    int SelectedRow() const override { return Selected; }
    void SelectRow(int Row) override { Selected = Row; }
};

// Four cards, two rows of two, at 300 dpi, the last one pushed over the
// glass's right edge: rendered once for every test.
const TGlassLayout &glassLayout()
{
    static const TGlassLayout layout = [] {
        TGlassLayout made = RandomGlass(14, 300, 4, 6, 4);
        made.Cards[3].CentreMm.setX(made.GlassMm.width() - 25);
        return made;
    }();
    return layout;
}

const QImage &glass()
{
    static const QImage image = RenderGlass(glassLayout()).Image;
    return image;
}

struct TWorkflow
{
    TTestEnvironment Env;
    TCardList Cards;
    TAnsweringHost Host;
    TScanWorkflow Flow{Cards, Host};
    TStorePaths Store{Env.Path("WEB/"), Env.Path("MQ/"), Env.Path("HQ/"), Env.Path("VHQ/")};

    explicit TWorkflow(int Count)
    {
        for (int i = 1; i <= Count; ++i) {
            auto card = std::make_unique<TGameCard>();
            card->Id = i;
            card->Name = QStringLiteral("Card %1").arg(i);
            const QString name = card->Name;
            Cards.Add(name, std::move(card));
        }
        Flow.StoreLoaded(Store);
    }

    void Pass(int Row, bool SeveralCards = true)
    {
        TScanArea area{QStringLiteral("Glass"), 300, 1, 0, 0, 21, 29.7, false, 6.3, 8.8, SeveralCards};
        Host.Selected = Row;
        Flow.Start(Row, area, Store, 0, QStringLiteral("shop"));
        Flow.Save(glass());
        Flow.End();
    }

    // The statuses of the list, "-" for none and "H" for HQ.
    QString Statuses() const
    {
        QString text;
        for (int i = 0; i < Cards.Count(); ++i)
            text += Cards.Objects(i)->ScanStatus == ScanHQ ? QLatin1Char('H')
                    : Cards.Objects(i)->ScanStatus == ScanNone ? QLatin1Char('-') : QLatin1Char('?');
        return text;
    }
};

} // namespace

TEST(CardPass, FoundCardsTakeTheListCardsInReadingOrderAndUnsureOnesKeepTheirPlace)
{
    const auto U = TUnsureReason::Size;
    const auto N = TUnsureReason::None;
    struct TRegion
    {
        TUnsureReason Unsure;
        double Cards = 1;   // how many cards' area it covers: cards laid touching or overlapping
    };
    const struct {
        std::vector<TRegion> Found;
        int ListCards;
        QString Expected;   // per region: its list index and names taken, "x" beyond the list
    } cases[] = {
        {{{N}, {N}, {N}}, 5, QStringLiteral("0 1 2")},
        {{{N}, {U}, {N}}, 3, QStringLiteral("0 u1:1 2")},
        {{{N}, {N}, {N}, {U}}, 2, QStringLiteral("0 1 x x")},
        {{{N}, {U, 2}, {N}}, 5, QStringLiteral("0 u1:2 3")},
        {{{N}, {U, 3}, {N}}, 3, QStringLiteral("0 u1:2 x")},
        {{{U, 1.4}, {U, 1.1}, {N}}, 5, QStringLiteral("u0:2 u2:1 3")},
        {{}, 3, QString()},
    };
    constexpr double CardArea = 100.0 * 140.0;
    for (const auto &c : cases) {
        std::vector<TFoundCard> found(c.Found.size());
        QStringList names;
        double left = 0;
        for (size_t i = 0; i < found.size(); ++i) {
            const double right = left + 100.0 * c.Found[i].Cards;
            found[i].Corners = {QPointF(left, 0), QPointF(right, 0), QPointF(right, 140), QPointF(left, 140)};
            found[i].Unsure = c.Found[i].Unsure;
            left = right + 10;
        }
        for (int i = 0; i < c.ListCards; ++i)
            names << QStringLiteral("Card %1").arg(i);
        QStringList shown;
        const std::vector<TPassCard> pass = AssignFoundCards(found, names, CardArea);
        for (const TPassCard &card : pass) {
            EXPECT_EQ(card.Number, int(shown.size()) + 1);
            shown << (card.Extra()       ? QStringLiteral("x")
                      : !card.Savable() ? QStringLiteral("u%1:%2").arg(card.ListIndex).arg(card.ListCount)
                                        : QString::number(card.ListIndex));
        }
        EXPECT_EQ(shown.join(QLatin1Char(' ')), c.Expected);
    }
}

TEST(ScanWorkflow, EachKeptCardIsSavedAsItsListCardAndTheSelectionMovesAfterTheLast)
{
    TWorkflow w(6);
    // The second card found is left out.
    w.Host.Review = [](std::vector<TPassCard> &Cards) { Cards[1].Keep = false; };
    w.Pass(1);
    ASSERT_EQ(w.Host.Reviewed.size(), 4u);
    EXPECT_EQ(w.Host.Reviewed[0].CardName, QStringLiteral("Card 2"));
    EXPECT_EQ(w.Host.Reviewed[3].CardName, QStringLiteral("Card 5"));
    EXPECT_EQ(w.Host.Reviewed[3].Unsure, TUnsureReason::ImageEdge);
    // Card 5 lies over the edge: it stays unscanned, the selection moves after card 4.
    EXPECT_EQ(w.Statuses(), QStringLiteral("-H-H--"));
    EXPECT_EQ(w.Host.Selected, 4);
    EXPECT_FALSE(QFile::exists(w.Store.HqDir + "3.jpg"));
    EXPECT_FALSE(QFile::exists(w.Store.WebDir + "3.jpg"));
    // Each file holds the card that lay in its place, not a neighbour.
    const int truth[] = {0, 2};
    const int ids[] = {2, 4};
    for (int i = 0; i < 2; ++i) {
        const QImage saved(w.Store.HqDir + QStringLiteral("%1.jpg").arg(ids[i]));
        EXPECT_EQ(saved.size(), QSize(744, 1039)) << ids[i];
        EXPECT_GT(Psnr(saved.convertToFormat(QImage::Format_RGB32), RenderReference(glassLayout(), truth[i])), 25)
            << ids[i];
        EXPECT_EQ(QImageReader(w.Store.WebDir + QStringLiteral("%1.jpg").arg(ids[i])).size(), QSize(372, 519));
    }
}

TEST(ScanWorkflow, CardsBeyondTheListStayUnsavedAndACancelledReviewSavesNothing)
{
    TWorkflow w(3);
    w.Host.Review = [](std::vector<TPassCard> &) {};
    w.Pass(1);
    ASSERT_EQ(w.Host.Reviewed.size(), 4u);
    EXPECT_TRUE(w.Host.Reviewed[2].Extra());
    EXPECT_TRUE(w.Host.Reviewed[3].Extra());
    EXPECT_EQ(w.Statuses(), QStringLiteral("-HH"));
    EXPECT_EQ(w.Host.Selected, 2);   // the list's last card: nothing after it
    EXPECT_EQ(QDir(w.Store.HqDir).entryList(QDir::Files).size(), 2);

    w.Host.Review = nullptr;
    w.Pass(0);
    EXPECT_EQ(w.Statuses(), QStringLiteral("-HH"));
    EXPECT_EQ(w.Host.Selected, 0);
}

TEST(ScanWorkflow, TheSaveCheckSeesWhatTheScanBeforeSavedAndMayKeepACardBack)
{
    TWorkflow w(6);
    QStringList seen;
    w.Flow.SetSaveCheck([&](const TCardToSave &Card, TScanHost &) {
        QStringList previous;
        for (const TSavedScan &saved : Card.Previous)
            previous << saved.Card;
        seen << Card.CardName + QStringLiteral(" after ") + previous.join(QStringLiteral(", "));
        return Card.CardName != QStringLiteral("Card 3");
    });
    w.Host.Review = [](std::vector<TPassCard> &) {};
    w.Pass(0);
    w.Pass(4, false);   // one card: the whole frame
    // The cards of a pass are each checked against the scan before, not against each other.
    EXPECT_EQ(seen, QStringList({"Card 1 after ", "Card 2 after ", "Card 3 after ", "Card 5 after Card 1, Card 2"}));
    EXPECT_EQ(w.Statuses(), QStringLiteral("HH--H-"));
    ASSERT_EQ(w.Flow.PreviousScan().size(), 1u);
    EXPECT_EQ(w.Flow.PreviousScan().front().Card, QStringLiteral("Card 5"));
}

TEST(ScanWorkflow, AGlassPassedAgainUnswappedComesToTheReviewWithItsCardsLeftOut)
{
    TWorkflow w(8);
    w.Flow.SetPassCheck([](const TCardToSave &Card) {
        const TScanQuestion question = ScanQuestion(Card.Previous, Card.Picture, Card.CardName, true);
        return question.Doubt == TScanDoubt::SameCard ? question.PreviousCard : QString();
    });
    w.Host.Review = [](std::vector<TPassCard> &) {};
    w.Pass(0);
    EXPECT_EQ(w.Statuses(), QStringLiteral("HHH-----"));

    // The operator takes the first card back: only it is saved.
    w.Host.Review = [](std::vector<TPassCard> &Cards) { Cards[0].Keep = true; };
    w.Pass(3);
    QStringList shown;
    for (const TPassCard &card : w.Host.Reviewed)
        shown << card.CardName + QStringLiteral(" like ") + card.Doubt + (card.Keep ? "" : ", left out");
    EXPECT_EQ(shown, QStringList({"Card 4 like Card 1, left out", "Card 5 like Card 2, left out",
                                  "Card 6 like Card 3, left out", "Card 7 like "}));
    EXPECT_EQ(w.Statuses(), QStringLiteral("HHHH----"));
}

// The review window of a pass over several cards, through real keys and clicks.
#include "app/ReviewCards.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>

namespace {

// Four regions side by side on a 1000 x 400 glass: two sure, one unsure and,
// for a list with two cards left, one beyond it.
struct TReview
{
    TfrmReviewCards Form;
    QAbstractItemModelTester Tester;

    explicit TReview(QStringList Names = {QStringLiteral("Forest Guard"), QStringLiteral("Stone Golem"),
                                          QStringLiteral("Ash Wolf")})
        : TReview(AssignFoundCards(found(), Names, 220.0 * 300.0))
    {
    }
    explicit TReview(std::vector<TPassCard> Cards)
        : Form(glass(), std::move(Cards)),
          Tester(Form.lvCards->model(), QAbstractItemModelTester::FailureReportingMode::Fatal)
    {
        Form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Form));
    }

    static QImage glass()
    {
        QImage image(1000, 400, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    }
    static std::vector<TFoundCard> found()
    {
        std::vector<TFoundCard> cards(4);
        for (size_t i = 0; i < cards.size(); ++i) {
            const double left = 20 + 245.0 * double(i);
            cards[i].Corners = {QPointF(left, 50), QPointF(left + 220, 50), QPointF(left + 220, 350),
                                QPointF(left, 350)};
        }
        cards[2].Unsure = TUnsureReason::ImageEdge;
        return cards;
    }

    void ClickCard(int Index)
    {
        const TPassCard &card = Form.Cards()[size_t(Index)];
        const QPointF centre = (card.Corners[0] + card.Corners[2]) / 2;
        QTest::mouseClick(Form.imCards, Qt::LeftButton, {}, Form.imCards->ToWidget(centre).toPoint());
    }
    QStringList Lines() const
    {
        QStringList lines;
        for (int row = 0; row < Form.lvCards->model()->rowCount(); ++row)
            lines << Form.lvCards->model()->index(row, 0).data(Qt::AccessibleTextRole).toString();
        return lines;
    }
};

} // namespace

TEST(ReviewCards, NumberKeysAndClicksLeaveCardsOutAndEnterSavesTheRest)
{
    TReview r;
    EXPECT_EQ(r.Form.windowTitle(), QStringLiteral("Cards found"));
    EXPECT_EQ(r.Lines(), QStringList({"1. Forest Guard", "2. Stone Golem",
                                      "3. Ash Wolf: not saved, it touches the edge of the scan",
                                      "4. Not saved: the list has no card left for it"}));
    EXPECT_EQ(r.Form.lbSummary->text(), QStringLiteral("2 cards will be saved."));

    QTest::keyClick(r.Form.lvCards, Qt::Key_1);   // out
    r.ClickCard(1);                                // out
    r.ClickCard(2);                                // unsure: stays unsaved
    QTest::keyClick(r.Form.lvCards, Qt::Key_4);    // beyond the list: stays unsaved
    EXPECT_EQ(r.Form.lbSummary->text(), QStringLiteral("No card will be saved."));
    EXPECT_FALSE(r.Form.btSave->isEnabled());
    QTest::keyClick(r.Form.lvCards, Qt::Key_Return);
    EXPECT_TRUE(r.Form.isVisible());

    r.ClickCard(0);                                // back in
    EXPECT_EQ(r.Lines().mid(0, 2), QStringList({"1. Forest Guard", "2. Stone Golem: left out"}));
    QTest::keyClick(r.Form.lvCards, Qt::Key_Return);
    EXPECT_EQ(r.Form.result(), QDialog::Accepted);
    QStringList kept;
    for (const TPassCard &card : r.Form.Cards())
        kept << (card.WillBeSaved() ? card.CardName : QStringLiteral("-"));
    EXPECT_EQ(kept, QStringList({"Forest Guard", "-", "-", "-"}));
}

TEST(ReviewCards, ACardTheCheckDoubtsStartsLeftOutWithItsReasonAndComesBackOnItsNumber)
{
    std::vector<TPassCard> cards = AssignFoundCards(
        TReview::found(), {QStringLiteral("Forest Guard"), QStringLiteral("Stone Golem")}, 220.0 * 300.0);
    cards[1].Doubt = QStringLiteral("it looks like Oak Sage of the scan before");
    cards[1].Keep = false;
    TReview r(std::move(cards));
    EXPECT_EQ(r.Lines()[1], QStringLiteral("2. Stone Golem: left out, it looks like Oak Sage of the scan before"));
    EXPECT_EQ(r.Form.lbSummary->text(), QStringLiteral("1 card will be saved."));
    QTest::keyClick(r.Form.lvCards, Qt::Key_2);
    EXPECT_EQ(r.Lines()[1], QStringLiteral("2. Stone Golem: saved although it looks like Oak Sage of the scan before"));
    EXPECT_EQ(r.Form.lbSummary->text(), QStringLiteral("2 cards will be saved."));
}

TEST(ReviewCards, OnlyAnEnterPressedHereAcceptsAndEscapeCancels)
{
    TReview r;
    // The release of the Enter that started the scan.
    QTest::keyRelease(r.Form.lvCards, Qt::Key_Return);
    EXPECT_TRUE(r.Form.isVisible());
    QTest::keyClick(r.Form.lvCards, Qt::Key_Escape);
    EXPECT_FALSE(r.Form.isVisible());
    EXPECT_EQ(r.Form.result(), QDialog::Rejected);

    // Enter on the focused "Cancel" cancels.
    TReview other;
    other.Form.btCancel->setFocus();
    QTest::keyClick(other.Form.btCancel, Qt::Key_Return);
    EXPECT_FALSE(other.Form.isVisible());
    EXPECT_EQ(other.Form.result(), QDialog::Rejected);
}

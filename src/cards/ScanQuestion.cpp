#include "cards/ScanQuestion.h"

#include "cards/ScanGuard.h"
#include "platform/MessageCatalogue.h"

namespace {

QString score(double Value)
{
    return QString::number(Value, 'f', 2);
}

} // namespace

QString ScanCheckAnswerLogLine(const QString &Card, bool Save)
{
    return Save ? QStringLiteral("Scan check: operator saved the scan as %1 anyway").arg(Card)
                : QStringLiteral("Scan check: operator kept nothing, %1 stays unscanned").arg(Card);
}

TScanQuestion ScanQuestion(const std::vector<TSavedScan> &Previous, const QImage &Scan, const QString &Card,
                           bool Check)
{
    TScanQuestion question;
    question.Card = Card;
    if (!Check)
        return question;
    // One small copy serves both looks and, once saved, the next scan's.
    question.Picture = GuardPicture(Scan);
    const TGuardScore empty = EmptyArea(question.Picture);
    // An empty area is the plainer finding: an empty lid saved before would
    // make every empty scan after it look like "the previous card".
    TGuardScore same;
    QString previousCard;
    for (const TSavedScan &saved : Previous) {
        if (empty.Yes)
            break;
        if (saved.Picture.isNull())
            continue;
        const TGuardScore score = SameCard(saved.Picture, question.Picture);
        if (score.Score >= same.Score) {
            same = score;
            previousCard = saved.Card;
        }
    }
    if (empty.Yes) {
        question.Doubt = TScanDoubt::EmptyArea;
        question.Text = _("This scan shows no card, only the lid. Save it as %1 anyway?").arg(Card);
        question.LogLine = QStringLiteral("Scan check: no card in the area (score %1)").arg(score(empty.Score));
    } else if (same.Yes) {
        question.Doubt = TScanDoubt::SameCard;
        question.PreviousCard = previousCard;
        question.Text =
            _("This scan looks like the previous card, %1. Save it as %2 anyway?").arg(previousCard, Card);
        question.LogLine = QStringLiteral("Scan check: looks like the previous card %1 (score %2)")
                                 .arg(previousCard, score(same.Score));
    } else {
        question.LogLine = QStringLiteral("Scan check passed (empty %1, previous card %2)")
                                 .arg(score(empty.Score), previousCard.isEmpty() ? QStringLiteral("none")
                                                                                 : score(same.Score));
    }
    return question;
}

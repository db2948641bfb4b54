#include "platform/AppError.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>

#include "platform/TerminationSignals.h"

#include <csignal>

namespace {
// Throws from inside event delivery, as a failing menu command would.
class TThrowingObject : public QObject
{
public:
    bool event(QEvent *Event) override
    {
        if (Event->type() == QEvent::User)
            throw EAppError(QStringLiteral("Cannot open file \"x.csv\"."));
        return QObject::event(Event);
    }
};
} // namespace

TEST(ErrorHandler, EscapingExceptionIsShownWrittenAndTheLoopGoesOn)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    TThrowingObject target;

    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&target, &event);
    QCoreApplication::sendEvent(&target, &event);

    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("Cannot open file \"x.csv\"."));
    EXPECT_EQ(dialogs.Messages[0].Type, TMsgDlgType::Error);

    QFile report(CrashReportFileName());
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QByteArray contents = report.readAll();
    EXPECT_EQ(contents.count("Cannot open file"), 2);
    EXPECT_TRUE(CrashReportFileName().startsWith(env.Root()));
}

TEST(ErrorHandler, UnwritableReportFolderStillShowsTheError)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    // A file where the report's folder must go.
    env.WriteFile(QStringLiteral("home/.local/share/Quorvath"), "not a folder");
    HandleUnhandledError(QStringLiteral("boom"));
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, QStringLiteral("boom"));
}

TEST(Dialogs, MessageBoxHasNoIconAndMessageDlgNamesItsType)
{
    TDialogRecorder dialogs;
    ShowMessageBox(QStringLiteral("Information"), QStringLiteral("Hello"));
    MessageDlg(QStringLiteral("Wrong data format!"), TMsgDlgType::Error);
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_FALSE(dialogs.Messages[0].WithIcon);
    EXPECT_EQ(dialogs.Messages[1].Caption, QStringLiteral("Error"));
    EXPECT_TRUE(dialogs.Messages[1].WithIcon);
}

TEST(TerminationSignals, EndTheEventLoopSoDestructorsRun)
{
    QuitOnTerminationSignals();
    for (int signal : {SIGTERM, SIGHUP}) {
        QTimer::singleShot(0, [signal] { ::raise(signal); });
        // Without the handler the process would end here, mid-test.
        EXPECT_EQ(QCoreApplication::exec(), 0);
        QuitOnTerminationSignals();   // each signal leaves the default behind, for a hung exit
    }
}

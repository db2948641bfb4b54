#include "platform/Application.h"

#include "platform/AppError.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject *Receiver, QEvent *Event)
{
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception &e) {
        HandleUnhandledError(e);
    } catch (...) {
        HandleUnhandledError(QStringLiteral("Unknown error"));
    }
    return false;
}

QString CrashReportFileName()
{
    return VellumoraDataDir() + QStringLiteral("crash reports.txt");
}

namespace {
void appendCrashReport(const QString &Message)
{
    // A report that cannot be written must not raise a second error.
    QDir().mkpath(VellumoraDataDir());
    QFile file(CrashReportFileName());
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ')
                         + Message + QLatin1Char('\n');
    file.write(line.toUtf8());
}
} // namespace

void HandleUnhandledError(const QString &Message)
{
    appendCrashReport(Message);
    Dialogs().ShowMessage(nullptr, _("Error"), Message, TMsgDlgType::Error, true);
}

void HandleUnhandledError(const std::exception &Error)
{
    HandleUnhandledError(ErrorMessageOf(Error));
}

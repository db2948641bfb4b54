#pragma once

#include <QApplication>
#include <QString>

#include <exception>

// The application object. An exception that escapes an event handler is
// reported by HandleUnhandledError and the event loop goes on.
class TApplication : public QApplication
{
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);

    bool notify(QObject *Receiver, QEvent *Event) override;
};

// Shows the error (caption "Error") and appends it to the crash report file.
// Runs on the user-interface thread after the failing operation was abandoned.
void HandleUnhandledError(const std::exception &Error);
void HandleUnhandledError(const QString &Message);

// Where crash reports are appended.
QString CrashReportFileName();

// Runs Operation and hands any escaping exception to the handler: for the few
// places (start-up, modal loops) that do not run inside an event handler.
template <typename F>
void RunGuarded(F &&Operation)
{
    try {
        Operation();
    } catch (const std::exception &e) {
        HandleUnhandledError(e);
    }
}

// A slot for connect() that runs Member through RunGuarded, so no exception ever
// unwinds through Qt's own frames.
template <typename Object, typename... Args>
auto Guarded(Object *Receiver, void (Object::*Member)(Args...))
{
    return [Receiver, Member](Args... Arguments) {
        RunGuarded([&] { (Receiver->*Member)(Arguments...); });
    };
}

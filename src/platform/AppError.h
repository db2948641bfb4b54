#pragma once

#include <QString>

#include <stdexcept>

// An error that no code expects to handle locally. It travels up to the
// application-wide handler, which shows Message() to the user.
class EAppError : public std::runtime_error
{
public:
    explicit EAppError(const QString &Message);
    QString Message() const { return message_; }

private:
    QString message_;
};

// The text to show for any exception that reaches the application-wide handler.
QString ErrorMessageOf(const std::exception &Error);

#include "platform/AppError.h"

EAppError::EAppError(const QString &Message)
    : std::runtime_error(Message.toStdString()), message_(Message)
{
}

QString ErrorMessageOf(const std::exception &Error)
{
    if (const auto *appError = dynamic_cast<const EAppError *>(&Error))
        return appError->Message();
    return QString::fromUtf8(Error.what());
}

#include "CatalogueServer.h"

#include <QFile>

void TCatalogueServer::start(const QByteArray &Bytes)
{
    dir_ = std::make_unique<QTemporaryDir>();
    QFile answer(dir_->filePath(QStringLiteral("answer")));
    if (!answer.open(QIODevice::WriteOnly) || answer.write(Bytes) != Bytes.size())
        ADD_FAILURE() << "cannot write the scripted answer";
    answer.close();
    launch({"--raw", answer.fileName(), "--record", dir_->filePath(QStringLiteral("request"))});
}

void TCatalogueServer::launch(const QStringList &Arguments)
{
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QStringLiteral(CATALOGUE_SERVER_PATH), QStringList{"--port", "0"} + Arguments);
    // The server prints its port once it listens; reading that line is the
    // only wait, and it ends as soon as the line comes.
    while (!process_->canReadLine()) {
        // Generous: a sanitizer build makes a 50 MB answer before it listens.
        if (!process_->waitForReadyRead(120'000)) {
            ADD_FAILURE() << "the catalogue server did not start";
            return;
        }
    }
    const QByteArray line = process_->readLine().trimmed();
    port_ = line.mid(line.lastIndexOf(' ') + 1).toInt();
}

QByteArray TCatalogueServer::LastRequest() const
{
    QFile request(dir_->filePath(QStringLiteral("request")));
    return request.open(QIODevice::ReadOnly) ? request.readAll() : QByteArray();
}

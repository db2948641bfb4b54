#pragma once

#include "download/CatalogueClient.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Our catalogue server on 127.0.0.1 and a free port, for as long as the
// object lives.
class TCatalogueServer
{
public:
    // Serves the folder of text files.
    static TCatalogueServer Data(const QString &Dir) { return TCatalogueServer({"--data", Dir}); }
    // Answers every request with exactly Bytes and records the request.
    static TCatalogueServer Raw(const QByteArray &Bytes)
    {
        TCatalogueServer server;
        server.start(Bytes);
        return server;
    }
    // Accepts and never answers.
    static TCatalogueServer Silent() { return TCatalogueServer({"--silent"}); }

    TCatalogueServer(TCatalogueServer &&) = default;
    ~TCatalogueServer()
    {
        if (process_) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }

    int Port() const { return port_; }
    TCatalogueAddress Address() const { return {QByteArrayLiteral("127.0.0.1"), port_}; }
    QString HostSetting() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    // The head of the last request the server received (raw mode only).
    QByteArray LastRequest() const;

private:
    TCatalogueServer() = default;
    explicit TCatalogueServer(const QStringList &Arguments) { launch(Arguments); }
    void start(const QByteArray &Bytes);
    void launch(const QStringList &Arguments);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
};

// Points VELLUMORA_CATALOGUE_HOST at a server while it lives.
class THostOverride
{
public:
    explicit THostOverride(const QString &Host)
        : saved_(qgetenv("VELLUMORA_CATALOGUE_HOST"))
    {
        qputenv("VELLUMORA_CATALOGUE_HOST", Host.toUtf8());
    }
    ~THostOverride()
    {
        if (saved_.isEmpty())
            qunsetenv("VELLUMORA_CATALOGUE_HOST");
        else
            qputenv("VELLUMORA_CATALOGUE_HOST", saved_);
    }

private:
    QByteArray saved_;
};

#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// nginx from a temporary prefix on a free loopback port, serving a catalogue
// folder with the example server block shipped beside the demo catalogue.
class TNginxServer
{
public:
    TNginxServer(const QString &ConfigExample, const QString &CatalogueDir);
    ~TNginxServer();

    bool Running() const { return running_; }
    int Port() const { return port_; }
    QString Log() const;

private:
    QTemporaryDir prefix_;
    QProcess process_;
    int port_ = 0;
    bool running_ = false;
};

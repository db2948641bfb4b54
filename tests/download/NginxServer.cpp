#include "NginxServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port nobody listens on right now; nginx binds it a moment later.
int freeLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

QByteArray readAll(const QString &Path)
{
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TNginxServer::TNginxServer(const QString &ConfigExample, const QString &CatalogueDir)
{
    const QString nginx = QStringLiteral("/usr/sbin/nginx");
    if (!QFileInfo(nginx).isExecutable())
        return;
    port_ = freeLoopbackPort();
    const QByteArray p = prefix_.path().toUtf8() + '/';

    // The example exactly as shipped, moved to our port and folder.
    QByteArray server = readAll(ConfigExample);
    server.replace("listen 80;", "listen 127.0.0.1:" + QByteArray::number(port_) + ';');
    server.replace("root /srv/vellumora-catalogue;", "root " + CatalogueDir.toUtf8() + ';');

    // One process under our own account, everything it writes in the prefix.
    const QByteArray config = "daemon off;\nmaster_process off;\npid " + p + "nginx.pid;\nerror_log " + p
                              + "error.log;\nevents { worker_connections 16; }\nhttp {\naccess_log off;\n"
                              + "client_body_temp_path " + p + "body;\nproxy_temp_path " + p + "proxy;\n"
                              + "fastcgi_temp_path " + p + "fastcgi;\nuwsgi_temp_path " + p + "uwsgi;\n"
                              + "scgi_temp_path " + p + "scgi;\n" + server + "\n}\n";
    QFile file(prefix_.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size())
        return;
    file.close();

    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(nginx, {"-p", prefix_.path() + '/', "-c", file.fileName(), "-e",
                           prefix_.filePath(QStringLiteral("error.log"))});
    if (!process_.waitForStarted(10'000))
        return;
    // nginx writes its pid file once its sockets listen; it has no other signal.
    const QString pidFile = prefix_.filePath(QStringLiteral("nginx.pid"));
    for (int i = 0; i < 1000 && process_.state() == QProcess::Running; ++i) {
        if (QFileInfo::exists(pidFile)) {
            running_ = true;
            return;
        }
        QThread::msleep(10);
    }
}

TNginxServer::~TNginxServer()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

QString TNginxServer::Log() const
{
    return QString::fromUtf8(readAll(prefix_.filePath(QStringLiteral("error.log"))))
           + QString::fromUtf8(const_cast<QProcess &>(process_).readAll());
}

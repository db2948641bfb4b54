// A catalogue server's whole answer on the wire: status line, headers, a
// plain, cut-off or chunked body. The input is what a server on loopback sends
// back to the real client, so the client's reading sees the bytes exactly as
// from a broken server.
//
// The same input also makes a body sent twice, once with its length and once
// in chunks followed by trailer fields: both must give the same lines.

#include "FuzzTarget.h"

#include "download/CatalogueClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

// Answers one request at a time with the bytes it was given, then closes.
class TLoopbackServer
{
public:
    TLoopbackServer()
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0
            || listen(listener_, 4) != 0
            || getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            std::abort();
        port_ = ntohs(address.sin_port);
        std::thread([this] { serve(); }).detach();
    }

    int Port() const { return port_; }

    void SetAnswer(QByteArray Answer)
    {
        std::lock_guard lock(mutex_);
        answer_ = std::move(Answer);
    }

private:
    void serve()
    {
        for (;;) {
            const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            // The request is read to its end first: closing on unread bytes
            // would reset the connection before the answer is seen.
            QByteArray request;
            char buffer[4096];
            while (!request.contains("\r\n\r\n")) {
                const ssize_t n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, n);
            }
            QByteArray answer;
            {
                std::lock_guard lock(mutex_);
                answer = answer_;
            }
            for (qsizetype sent = 0; sent < answer.size();) {
                const ssize_t n = send(client, answer.constData() + sent,
                                       size_t(answer.size() - sent), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += n;
            }
            shutdown(client, SHUT_WR);
            // Drained so that the close is a clean end of the answer.
            while (recv(client, buffer, sizeof buffer, 0) > 0) {
            }
            close(client);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    QByteArray answer_;
};

} // namespace

namespace {

constexpr qint64 kMaxBody = 1 << 20;

TCatalogueAnswer ask(TLoopbackServer &Server, const QByteArray &Answer)
{
    Server.SetAnswer(Answer);
    TCatalogueLimits limits;
    limits.ConnectMs = 5'000;
    limits.IdleSeconds = 10;
    limits.MaxBodyBytes = kMaxBody;
    return RequestCatalogue(TCatalogueAddress{"127.0.0.1", Server.Port()}, CardsListTarget(1), limits);
}

// Byte 0 gives the chunk size, byte 1 the trailer's length; the trailer's
// bytes follow, and the rest is the body.
void checkChunkedEqualsPlain(TLoopbackServer &Server, const QByteArray &Input)
{
    if (Input.size() < 2)
        return;
    const qsizetype chunk = 1 + static_cast<unsigned char>(Input[0]);
    const qsizetype trailerLength = qMin<qsizetype>(static_cast<unsigned char>(Input[1]), Input.size() - 2);
    const QByteArray trailer = Input.mid(2, trailerLength);
    const QByteArray body = Input.mid(2 + trailerLength);
    if (body.size() > kMaxBody)
        return;

    const TCatalogueAnswer plain =
        ask(Server, "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype at = 0; at < body.size(); at += chunk) {
        const QByteArray piece = body.mid(at, chunk);
        chunked += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    chunked += "0\r\n" + trailer + "\r\n\r\n";
    const TCatalogueAnswer inChunks = ask(Server, chunked);
    if (!plain.Ok || !inChunks.Ok || plain.Body != inChunks.Body || plain.Lines() != inChunks.Lines())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    static TLoopbackServer server;
    const QByteArray input(reinterpret_cast<const char *>(Data), qsizetype(Size));
    ask(server, input);
    checkChunkedEqualsPlain(server, input);
    return 0;
}

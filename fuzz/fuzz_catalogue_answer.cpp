// A catalogue server's whole answer on the wire: status line, headers, a
// plain, cut-off or chunked body. The input is what a server on loopback sends
// back to the real client, so the client's own header and body handling and
// curl's framing see the bytes exactly as from a broken server.

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    static TLoopbackServer server;
    server.SetAnswer(QByteArray(reinterpret_cast<const char *>(Data), qsizetype(Size)));

    TCatalogueLimits limits;
    limits.ConnectMs = 5'000;
    limits.IdleSeconds = 10;
    limits.MaxBodyBytes = 1 << 20;
    RequestCatalogue(TCatalogueAddress{"127.0.0.1", server.Port()},
                     CardsListTarget(1), limits);
    return 0;
}

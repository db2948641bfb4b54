#include "download/CatalogueClient.h"

#include "download/CatalogueAnswer.h"
#include "download/CatalogueText.h"

#include <curl/curl.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#ifndef VELLUMORA_CATALOGUE_HOST
#define VELLUMORA_CATALOGUE_HOST "www.vellumora.com"
#endif
#ifndef VELLUMORA_CATALOGUE_SITE
#define VELLUMORA_CATALOGUE_SITE "www.vellumora.com"
#endif

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TCurlDeleter
{
    void operator()(CURL *Handle) const { curl_easy_cleanup(Handle); }
};

using TClock = std::chrono::steady_clock;

// Waits until the socket is ready for Events, at most until Deadline.
bool waitFor(curl_socket_t Socket, short Events, TClock::time_point Deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{Socket, Events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(qMin<qint64>(left.count(), 1'000'000)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return true;   // the next read or write reports what is wrong
    }
}

QByteArray requestBytes(const TCatalogueAddress &Address, const QByteArray &Target)
{
    // The Host header carries the port only when it is not HTTP's own, as
    // HTTP/1.1 requires.
    const QByteArray host =
        Address.Port == 80 ? Address.Host : Address.Host + ':' + QByteArray::number(Address.Port);
    return "GET " + Target + " HTTP/1.1\r\n"
           "Content-Type: text/plain\r\n"
           "Host: " + host + "\r\n"
           "Accept: text/html, */*\r\n"
           "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; rv:67.0) Gecko/20100101 Firefox/67.0\r\n"
           "\r\n";
}

QString curlError(CURLcode Result, const char *ErrorText)
{
    return ErrorText[0] ? QString::fromLocal8Bit(ErrorText) : QString::fromLatin1(curl_easy_strerror(Result));
}

} // namespace

std::optional<TCatalogueAddress> ParseCatalogueAddress(const QString &Text)
{
    const QString trimmed = Text.trimmed();
    TCatalogueAddress address;
    const qsizetype colon = trimmed.lastIndexOf(u':');
    if (colon >= 0) {
        bool ok = false;
        const int port = trimmed.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return std::nullopt;
        address.Port = port;
        address.Host = trimmed.left(colon).toUtf8();
    } else {
        address.Host = trimmed.toUtf8();
    }
    // The host goes into a URL and a header line: no room for anything else.
    if (address.Host.isEmpty())
        return std::nullopt;
    for (const char c : address.Host)
        if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '@' || c == '?' || c == '#'
            || static_cast<unsigned char>(c) >= 0x7F)
            return std::nullopt;
    return address;
}

QString CatalogueHostSetting()
{
    const QString fromEnvironment = qEnvironmentVariable("VELLUMORA_CATALOGUE_HOST").trimmed();
    return fromEnvironment.isEmpty() ? QStringLiteral(VELLUMORA_CATALOGUE_HOST) : fromEnvironment;
}

QString CatalogueSiteName()
{
    return QStringLiteral(VELLUMORA_CATALOGUE_SITE);
}

QByteArray GamesListTarget()
{
    return QByteArrayLiteral("/jobs/get_txt_games_list.php");
}

QByteArray SetsListTarget(int GameId)
{
    return QByteArrayLiteral("/jobs/get_txt_sets_list.php?gameId=") + QByteArray::number(GameId);
}

QByteArray CardsListTarget(int SetId)
{
    return QByteArrayLiteral("/jobs/get_txt_cards_list.php?setId=") + QByteArray::number(SetId);
}

QStringList TCatalogueAnswer::Lines() const
{
    return CatalogueLines(Body);
}

TCatalogueAnswer RequestCatalogue(const TCatalogueAddress &Address, const QByteArray &Target,
                                  const TCatalogueLimits &Limits)
{
    initCurlOnce();
    TCatalogueAnswer answer;
    std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
    if (!curl) {
        answer.Error = QStringLiteral("The HTTP client could not be created");
        return answer;
    }
    CURL *h = curl.get();
    char errorText[CURL_ERROR_SIZE] = {};

    // curl only resolves and connects; the request and the answer are ours,
    // byte for byte, because curl's own reading refuses answers that the
    // catalogue's servers send (a Content-Length that is no number, a chunk
    // size that is not hexadecimal, a status line without a code) and takes
    // trailer fields for a new answer.
    const QByteArray url = "http://" + Address.Host + ':' + QByteArray::number(Address.Port) + '/';
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    // Proxy settings of the environment are ignored on purpose: the catalogue
    // is always asked directly.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    // A new connection every time; it must stay open after curl_easy_perform,
    // so CURLOPT_FORBID_REUSE is not set. The handle, and with it the
    // connection, goes when the request is done.
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, Limits.ConnectMs);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    CURLcode result = curl_easy_perform(h);
    if (result != CURLE_OK) {
        answer.Error = curlError(result, errorText);
        return answer;
    }
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &socket);

    const TClock::time_point answerDeadline = TClock::now() + std::chrono::seconds(Limits.AnswerSeconds);
    const auto nextDeadline = [&] {
        return qMin(answerDeadline, TClock::now() + std::chrono::seconds(Limits.IdleSeconds));
    };
    const auto timedOut = [&] {
        return TClock::now() >= answerDeadline
                   ? QStringLiteral("The server took longer than %1 seconds to answer").arg(Limits.AnswerSeconds)
                   : QStringLiteral("The server sent nothing for %1 seconds").arg(Limits.IdleSeconds);
    };

    const QByteArray request = requestBytes(Address, Target);
    for (qsizetype sent = 0; sent < request.size();) {
        size_t n = 0;
        result = curl_easy_send(h, request.constData() + sent, static_cast<size_t>(request.size() - sent), &n);
        if (result == CURLE_AGAIN) {
            if (!waitFor(socket, POLLOUT, nextDeadline())) {
                answer.Error = timedOut();
                return answer;
            }
            continue;
        }
        if (result != CURLE_OK) {
            answer.Error = curlError(result, errorText);
            return answer;
        }
        sent += static_cast<qsizetype>(n);
    }

    TAnswerReader reader(Limits.MaxBodyBytes);
    std::vector<char> buffer(1 << 20);
    while (reader.State() == TAnswerReader::TState::Reading) {
        size_t n = 0;
        result = curl_easy_recv(h, buffer.data(), buffer.size(), &n);
        if (result == CURLE_AGAIN) {
            if (!waitFor(socket, POLLIN, nextDeadline())) {
                answer.Error = timedOut();
                return answer;
            }
        } else if (result != CURLE_OK) {
            answer.Error = curlError(result, errorText);
            return answer;
        } else if (n == 0) {
            reader.Closed();
        } else {
            reader.Feed(QByteArrayView(buffer.data(), static_cast<qsizetype>(n)));
        }
    }
    curl.reset();   // the connection is closed whether the answer was read whole or not

    if (reader.State() == TAnswerReader::TState::Failed) {
        answer.Error = reader.Error();
        return answer;
    }
    answer.Ok = true;
    answer.Body = reader.TakeBody();
    return answer;
}

TCatalogueAnswer RequestCatalogue(const QByteArray &Target)
{
    const QString host = CatalogueHostSetting();
    const std::optional<TCatalogueAddress> address = ParseCatalogueAddress(host);
    if (!address) {
        TCatalogueAnswer answer;
        answer.Error = QStringLiteral("\"%1\" is not a host name or host:port").arg(host);
        return answer;
    }
    return RequestCatalogue(*address, Target);
}

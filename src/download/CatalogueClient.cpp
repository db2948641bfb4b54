#include "download/CatalogueClient.h"

#include "download/CatalogueText.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#ifndef VELLUMORA_CATALOGUE_HOST
#define VELLUMORA_CATALOGUE_HOST "www.vellumora.com"
#endif
#ifndef VELLUMORA_CATALOGUE_SITE
#define VELLUMORA_CATALOGUE_SITE "www.vellumora.com"
#endif

namespace {

constexpr qsizetype kMaxHeaderLine = 16384;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TCurlDeleter
{
    void operator()(CURL *Handle) const { curl_easy_cleanup(Handle); }
};
struct TSlistDeleter
{
    void operator()(curl_slist *List) const { curl_slist_free_all(List); }
};

// What the header and body callbacks learn while the answer arrives.
struct TExchange
{
    qint64 MaxBodyBytes = 0;
    bool ExpectStatusLine = true;
    QByteArray StatusLine;
    int Code = -1;
    bool HasLocation = false;
    bool HasContentLength = false;
    bool Chunked = false;
    QByteArray Body;
    QString Failure;   // set by a callback that stops the transfer
};

int statusCode(const QByteArray &StatusLine)
{
    const QList<QByteArray> words = StatusLine.split(' ');
    if (words.size() < 2)
        return -1;
    bool ok = false;
    const int code = words[1].toInt(&ok);
    return ok ? code : -1;
}

bool isRedirect(int Code)
{
    return Code >= 300 && Code <= 399 && Code != 304;
}

size_t onHeader(char *Data, size_t Size, size_t Count, void *User)
{
    auto &x = *static_cast<TExchange *>(User);
    const size_t total = Size * Count;
    QByteArray line(Data, static_cast<qsizetype>(total));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.size() > kMaxHeaderLine) {
        x.Failure = QStringLiteral("The server sent a header line longer than %1 characters")
                        .arg(kMaxHeaderLine);
        return 0;
    }
    if (x.ExpectStatusLine) {
        const qint64 maxBody = x.MaxBodyBytes;
        x = TExchange();
        x.MaxBodyBytes = maxBody;
        x.ExpectStatusLine = false;
        x.StatusLine = line;
        x.Code = statusCode(line);
        return total;
    }
    if (line.isEmpty()) {
        // Interim answers are followed by the real one.
        x.ExpectStatusLine = true;
        if (x.Code == 100)
            return total;
        if (isRedirect(x.Code) || x.HasLocation || x.Code < 200 || x.Code > 299) {
            // Nothing of the body would be used, so it is not waited for.
            x.Failure = QString::fromLatin1(x.StatusLine);
            return 0;
        }
        return total;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) {
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "location")
            x.HasLocation = true;
        else if (name == "content-length")
            x.HasContentLength = true;
        else if (name == "transfer-encoding" && value.contains("chunked"))
            x.Chunked = true;
    }
    return total;
}

size_t onBody(char *Data, size_t Size, size_t Count, void *User)
{
    auto &x = *static_cast<TExchange *>(User);
    const size_t total = Size * Count;
    if (x.Body.size() + static_cast<qint64>(total) > x.MaxBodyBytes) {
        x.Failure = QStringLiteral("The answer is larger than %1 MB").arg(x.MaxBodyBytes >> 20);
        return 0;
    }
    x.Body.append(Data, static_cast<qsizetype>(total));
    return total;
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

    // The Host header carries the port only when it is not HTTP's own, as
    // HTTP/1.1 requires.
    const QByteArray hostHeader =
        Address.Port == 80 ? Address.Host : Address.Host + ':' + QByteArray::number(Address.Port);
    const QByteArray url = "http://" + Address.Host + ':' + QByteArray::number(Address.Port) + Target;

    // curl always puts a Host header right after the request line, while the
    // catalogue request has it second. So curl's own Host is switched off
    // ("Host:" without a value) and ours travels in the same list entry as
    // Content-Type; the wire test guards the exact bytes. Without
    // CURLOPT_USERAGENT and with our Accept, curl adds no header of its own.
    curl_slist *headers = nullptr;
    for (const QByteArray &line :
         {QByteArray("Host:"), "Content-Type: text/plain\r\nHost: " + hostHeader,
          QByteArray("Accept: text/html, */*"),
          QByteArray("User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; rv:67.0) Gecko/20100101 "
                     "Firefox/67.0")})
        headers = curl_slist_append(headers, line.constData());
    std::unique_ptr<curl_slist, TSlistDeleter> headerList(headers);

    TExchange exchange;
    exchange.MaxBodyBytes = Limits.MaxBodyBytes;
    char errorText[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_NONE);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    // Proxy settings of the environment are ignored on purpose: the catalogue
    // is always asked directly.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, Limits.ConnectMs);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, Limits.IdleSeconds);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);

    const CURLcode result = curl_easy_perform(h);
    curl.reset();

    if (!exchange.Failure.isEmpty()) {
        answer.Error = exchange.Failure;
        return answer;
    }
    // A body cut short of its Content-Length still gives what arrived; a
    // chunked body cut short is a broken connection.
    const bool shortButUsable =
        result == CURLE_PARTIAL_FILE && exchange.HasContentLength && !exchange.Chunked;
    if (result != CURLE_OK && !shortButUsable) {
        answer.Error = errorText[0] ? QString::fromLocal8Bit(errorText)
                                    : QString::fromLatin1(curl_easy_strerror(result));
        return answer;
    }
    answer.Ok = true;
    answer.Lines = SplitCatalogueLines(DecodeCatalogueBody(exchange.Body));
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

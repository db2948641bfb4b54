// catalogue-server: answers the catalogue's three plain-text endpoints from a
// folder, so a shop can serve its own catalogue and tests have a real server.
//
//   catalogue-server --port PORT --data DIR      games.txt, sets/<gameId>.txt,
//                                                cards/<setId>.txt
//   catalogue-server --port PORT --raw FILE      every request is answered with
//                                                exactly the bytes of FILE
//   catalogue-server --port PORT --silent        accepts and never answers
//   --record FILE   writes each request's head to FILE before answering
//   --bind ADDR     IPv4 address to listen on, 127.0.0.1 unless given
//
//   --help, --version
//
// PORT 0 takes a free port. Once listening, the program prints
// "listening on PORT" on its own line. Each connection is served on a thread
// of its own, up to kMaxConnections at once, and every client has a deadline
// for its request and for taking the answer: a slow or idle client never
// holds up another.
#include "platform/AppError.h"
#include "settings/VerInfo.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxConnections = 64;
// The whole request head must arrive within this, however it trickles.
constexpr auto kHeadTime = std::chrono::seconds(10);
// The client must take the whole answer within this.
constexpr auto kAnswerTime = std::chrono::seconds(60);
// After the answer, what the client still sends is read for this long at most,
// so that it sees a clean close rather than a reset.
constexpr auto kDrainTime = std::chrono::seconds(2);
constexpr size_t kMaxHead = 65536;

struct Options
{
    int Port = -1;
    std::string Bind = "127.0.0.1";
    std::string Data;
    std::string Raw;
    std::string Record;
    bool Silent = false;
};

[[noreturn]] void usage(const char *Why)
{
    std::fprintf(stderr,
                 "catalogue-server: %s\n"
                 "usage: catalogue-server --port PORT (--data DIR | --raw FILE | --silent)"
                 " [--record FILE] [--bind ADDR]\n",
                 Why);
    std::exit(2);
}

// Installed under another name than the build's, so the name comes from argv[0].
std::string programName(const char *Argv0)
{
    const char *slash = std::strrchr(Argv0, '/');
    return slash ? slash + 1 : Argv0;
}

// The program carries the application's version block; --version reads it back
// from the file, so both always agree. Returns the exit code, or -1 to go on.
int answerInformationOptions(int argc, char **argv)
{
    const std::string name = programName(argc > 0 ? argv[0] : "catalogue-server");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "Usage: %s --port PORT (--data DIR | --raw FILE | --silent) [OPTION]...\n"
                "Serves a Vellumora catalogue from a folder of text files (games.txt,\n"
                "sets/<gameId>.txt, cards/<setId>.txt), up to 64 connections at a time.\n"
                "\n"
                "      --port PORT    port to listen on; 0 takes a free one, printed as\n"
                "                     \"listening on PORT\"\n"
                "      --data DIR     the catalogue folder\n"
                "      --raw FILE     answer every request with exactly the bytes of FILE\n"
                "      --silent       accept connections and never answer\n"
                "      --record FILE  write each request's head to FILE\n"
                "      --bind ADDR    IPv4 address to listen on (127.0.0.1)\n"
                "      --help         display this help and exit\n"
                "      --version      output version information and exit\n",
                name.c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0)
            return PrintProgramVersion(name.c_str());
    }
    return -1;
}

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(("missing value after " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--port") {
            char *end = nullptr;
            const std::string text = value();
            const long port = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end || port < 0 || port > 65535)
                usage("the port must be a number from 0 to 65535");
            o.Port = static_cast<int>(port);
        } else if (arg == "--bind") {
            o.Bind = value();
        } else if (arg == "--data") {
            o.Data = value();
        } else if (arg == "--raw") {
            o.Raw = value();
        } else if (arg == "--record") {
            o.Record = value();
        } else if (arg == "--silent") {
            o.Silent = true;
        } else {
            usage(("unknown option " + arg).c_str());
        }
    }
    if (o.Port < 0)
        usage("--port is required");
    if (int(!o.Data.empty()) + int(!o.Raw.empty()) + int(o.Silent) != 1)
        usage("give exactly one of --data, --raw and --silent");
    return o;
}

std::optional<std::string> readFile(const std::string &Path)
{
    std::ifstream in(Path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits for Events until Deadline; false when the time is up first.
bool waitFor(int Socket, short Events, Clock::time_point Deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{Socket, Events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

void sendAll(int Socket, const std::string &Bytes, Clock::time_point Deadline)
{
    size_t sent = 0;
    while (sent < Bytes.size() && waitFor(Socket, POLLOUT, Deadline)) {
        const ssize_t n = ::send(Socket, Bytes.data() + sent, Bytes.size() - sent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return;   // the client went away; nothing to do about it
        sent += static_cast<size_t>(n);
    }
}

// Waits for the client's next bytes until Deadline and takes them into Buffer:
// their count, 0 when the client closed or failed, -1 when the time is up first.
ssize_t receive(int Socket, char *Buffer, size_t Size, Clock::time_point Deadline)
{
    for (;;) {
        if (!waitFor(Socket, POLLIN, Deadline))
            return -1;
        const ssize_t n = ::recv(Socket, Buffer, Size, MSG_DONTWAIT);
        if (n >= 0 || (errno != EAGAIN && errno != EINTR))
            return n < 0 ? 0 : n;
    }
}

// The request head up to the empty line, or what arrived of it before the
// deadline, the client's close or 64 KiB.
struct Head
{
    std::string Bytes;
    bool TimedOut = false;
};

Head readHead(int Socket, Clock::time_point Deadline)
{
    Head head;
    char buffer[4096];
    while (head.Bytes.find("\r\n\r\n") == std::string::npos && head.Bytes.size() < kMaxHead) {
        const ssize_t n = receive(Socket, buffer, sizeof buffer, Deadline);
        head.TimedOut = n < 0;
        if (n <= 0)
            break;
        head.Bytes.append(buffer, static_cast<size_t>(n));
    }
    return head;
}

bool isInteger(const std::string &Text)
{
    size_t i = Text.size() > 1 && Text[0] == '-' ? 1 : 0;
    if (i == Text.size() || Text.size() > 11)
        return false;
    for (; i < Text.size(); ++i)
        if (Text[i] < '0' || Text[i] > '9')
            return false;
    return true;
}

std::string answer(int Code, const char *Reason, const std::string &Body)
{
    std::ostringstream out;
    out << "HTTP/1.1 " << Code << ' ' << Reason << "\r\n"
        << "Content-Type: text/plain; charset=utf-8\r\n"
        << "Content-Length: " << Body.size() << "\r\n"
        << "Connection: close\r\n\r\n"
        << Body;
    return out.str();
}

// Only the three endpoints, and ids that are plain integers, reach the disk:
// nothing of the request becomes a path of its own.
std::string answerFromData(const std::string &DataDir, const std::string &Head)
{
    const size_t lineEnd = Head.find("\r\n");
    std::istringstream requestLine(Head.substr(0, lineEnd));
    std::string method, target;
    requestLine >> method >> target;
    if (method != "GET")
        return answer(405, "Method Not Allowed", "");
    std::string file;
    const auto queryValue = [&](const std::string &Path, const std::string &Name) -> std::optional<std::string> {
        const std::string prefix = Path + "?" + Name + "=";
        if (target.compare(0, prefix.size(), prefix) != 0)
            return std::nullopt;
        const std::string id = target.substr(prefix.size());
        return isInteger(id) ? std::optional<std::string>(id) : std::nullopt;
    };
    if (target == "/jobs/get_txt_games_list.php") {
        file = DataDir + "/games.txt";
    } else if (auto game = queryValue("/jobs/get_txt_sets_list.php", "gameId")) {
        file = DataDir + "/sets/" + *game + ".txt";
    } else if (auto set = queryValue("/jobs/get_txt_cards_list.php", "setId")) {
        file = DataDir + "/cards/" + *set + ".txt";
    }
    const std::optional<std::string> body = file.empty() ? std::nullopt : readFile(file);
    if (!body)
        return answer(404, "Not Found", "");
    return answer(200, "OK", *body);
}

std::mutex recordMutex;

void serveConnection(int Client, const Options &Settings, const std::string &Raw)
{
    const Head head = readHead(Client, Clock::now() + kHeadTime);
    if (!Settings.Record.empty()) {
        std::lock_guard lock(recordMutex);
        std::ofstream(Settings.Record, std::ios::binary | std::ios::trunc) << head.Bytes;
    }
    std::string reply;
    if (!Settings.Data.empty())
        reply = head.TimedOut ? answer(408, "Request Timeout", "") : answerFromData(Settings.Data, head.Bytes);
    sendAll(Client, Settings.Data.empty() ? Raw : reply, Clock::now() + kAnswerTime);
    ::shutdown(Client, SHUT_WR);
    const Clock::time_point drainUntil = Clock::now() + kDrainTime;
    char drain[4096];
    for (size_t drained = 0; drained < (1u << 20);) {
        const ssize_t n = receive(Client, drain, sizeof drain, drainUntil);
        if (n <= 0)
            break;
        drained += static_cast<size_t>(n);
    }
    ::close(Client);
}

} // namespace

int main(int argc, char **argv)
{
    if (const int code = answerInformationOptions(argc, argv); code >= 0)
        return code;
    const Options options = parseOptions(argc, argv);
    std::string raw;
    if (!options.Raw.empty()) {
        const std::optional<std::string> bytes = readFile(options.Raw);
        if (!bytes)
            usage(("cannot read " + options.Raw).c_str());
        raw = *bytes;
    }

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.Port));
    if (::inet_pton(AF_INET, options.Bind.c_str(), &address.sin_addr) != 1)
        usage("--bind needs an IPv4 address");
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 128) != 0) {
        std::perror("catalogue-server");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::printf("listening on %d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    // At most kMaxConnections are served at once; more wait in the listen
    // queue until one is done, which the deadlines make sure of.
    std::mutex mutex;
    std::condition_variable slotFree;
    int serving = 0;
    std::vector<int> heldOpen;
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        if (options.Silent) {
            // Kept open and unanswered until the server ends.
            heldOpen.push_back(client);
            continue;
        }
        std::unique_lock lock(mutex);
        slotFree.wait(lock, [&] { return serving < kMaxConnections; });
        ++serving;
        lock.unlock();
        const auto done = [&] {
            std::lock_guard guard(mutex);
            --serving;
            slotFree.notify_one();
        };
        try {
            std::thread([done, client, &options, &raw] {
                serveConnection(client, options, raw);
                done();
            }).detach();
        } catch (const std::system_error &) {
            // No thread to be had: this client goes unanswered, the server goes on.
            ::close(client);
            done();
        }
    }
}

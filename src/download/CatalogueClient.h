#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Where the catalogue server listens: a host name or IPv4 address and a port.
struct TCatalogueAddress
{
    QByteArray Host;
    int Port = 80;
};

// "host" or "host:port"; nothing when the port is not a number from 1 to 65535
// or the host is empty.
std::optional<TCatalogueAddress> ParseCatalogueAddress(const QString &Text);

// The build's catalogue host, unless VELLUMORA_CATALOGUE_HOST names another
// (a shop's own server, the demo server, a test server).
QString CatalogueHostSetting();
// The catalogue web site's name as the messages show it.
QString CatalogueSiteName();

// Paths of the three requests.
QByteArray GamesListTarget();
QByteArray SetsListTarget(int GameId);
QByteArray CardsListTarget(int SetId);

// A server that accepts and never answers, or one that sends without end,
// must not freeze the program for good: the connection attempt, every wait for
// data, the whole answer and what it may cost have a limit.
struct TCatalogueLimits
{
    long ConnectMs = 15'000;
    long IdleSeconds = 60;             // without a single byte received
    long AnswerSeconds = 300;          // the whole answer, however slowly it trickles
    qint64 MaxBodyBytes = 64ll << 20;  // far beyond any real set
    int MaxRecords = 200'000;          // games, sets or cards of one answer
};

// The body of one answer, or the failure's text.
struct TCatalogueAnswer
{
    bool Ok = false;
    QString Error;
    QByteArray Body;

    // The body decoded and cut into lines at once; large bodies are better
    // read a line at a time (TCatalogueLines).
    QStringList Lines() const;
};

// One GET on a new connection (IPv4, no proxy whatever the environment says),
// sending exactly the request line and the headers Content-Type, Host, Accept
// and User-Agent; the answer is read as TAnswerReader says.
TCatalogueAnswer RequestCatalogue(const TCatalogueAddress &Address, const QByteArray &Target,
                                  const TCatalogueLimits &Limits = {});

// The same against the configured host.
TCatalogueAnswer RequestCatalogue(const QByteArray &Target);

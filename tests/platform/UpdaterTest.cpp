#include "platform/Updater.h"
#include "support/Wait.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

QByteArray feedOf(const QList<QPair<QString, QString>>& releases)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:up="http://example.org/xml-namespaces/updates">
<channel><title>Ovra</title>)";
    for (const auto& [version, link] : releases)
        xml += QStringLiteral(R"(<item><title>Ovra %1</title><up:version>%1</up:version>
<enclosure url="%2" length="100" type="application/octet-stream"/></item>)")
                   .arg(version, link)
                   .toUtf8();
    return xml + "</channel></rss>";
}

// One HTTP server on loopback that answers every request with the same body
// (or the same status) and counts what it was asked.
class FeedServer {
public:
    explicit FeedServer(QByteArray body, QByteArray status = "200 OK")
        : m_body(std::move(body))
        , m_status(std::move(status))
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n")) return;
                    ++requests;
                    paths.append(QString::fromLatin1(m_request.split(' ').value(1)));
                    m_request.clear();
                    socket->write("HTTP/1.1 " + m_status +
                                  "\r\nContent-Type: application/rss+xml\r\n"
                                  "Content-Length: " +
                                  QByteArray::number(m_body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + m_body);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(m_server.serverPort()));
    }

    int requests = 0;
    QStringList paths;

private:
    QTcpServer m_server;
    QByteArray m_body;
    QByteArray m_status;
    QByteArray m_request;
};

// Runs the start-up check and then the user's check; returns the user's result.
UpdateCheck check(Updater& updater)
{
    QSignalSpy spy(&updater, &Updater::checked);
    updater.start();
    EXPECT_TRUE(test::eventually([&] { return spy.size() == 1; }));
    EXPECT_TRUE(updater.canCheckForUpdates());
    updater.checkForUpdates();
    EXPECT_FALSE(updater.canCheckForUpdates()) << "no second check while one runs";
    EXPECT_TRUE(test::eventually([&] { return spy.size() == 2; }));
    EXPECT_EQ(spy.size(), 2);
    EXPECT_FALSE(spy.at(0).at(1).toBool());
    EXPECT_TRUE(spy.at(1).at(1).toBool());
    return spy.at(1).at(0).value<UpdateCheck>();
}

} // namespace

TEST(UpdaterVersions, ComparePieceByPiece)
{
    EXPECT_EQ(Appcast::compareVersions(QStringLiteral("1.2"), QStringLiteral("1.2.0")), 0);
    EXPECT_LT(Appcast::compareVersions(QStringLiteral("1.2"), QStringLiteral("1.10")), 0);
    EXPECT_GT(Appcast::compareVersions(QStringLiteral("2.0"), QStringLiteral("1.99.9")), 0);
    EXPECT_LT(Appcast::compareVersions(QStringLiteral("1.0.9"), QStringLiteral("1.0.10")), 0);
    EXPECT_GT(Appcast::compareVersions(QStringLiteral("1.0.1"), QStringLiteral("1.0")), 0);
    EXPECT_GT(Appcast::compareVersions(QStringLiteral("100000000000000000000001"),
                                       QStringLiteral("99999999999999999999999")),
              0);
}

TEST(UpdaterFeed, ReleasesNeedAVersionAndAWebLink)
{
    QByteArray feed = feedOf({{QStringLiteral("2.0"), QStringLiteral("https://example.org/a")},
                              {QStringLiteral("3.0"), QStringLiteral("file:///etc/passwd")},
                              {QString(), QStringLiteral("https://example.org/b")}});
    const auto items = Appcast::parse(feed);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1);
    EXPECT_EQ(items->at(0).version, QStringLiteral("2.0"));
    EXPECT_EQ(items->at(0).link, QUrl(QStringLiteral("https://example.org/a")));
    EXPECT_EQ(items->at(0).title, QStringLiteral("Ovra 2.0"));

    // The version on the enclosure and the item's own link serve as well.
    const auto other = Appcast::parse(R"(<rss xmlns:up="urn:u"><channel><item>
        <link>https://example.org/notes</link><enclosure up:version="1.5" url="ftp://x/y"/>
        </item></channel></rss>)");
    ASSERT_TRUE(other);
    ASSERT_EQ(other->size(), 1);
    EXPECT_EQ(other->at(0).version, QStringLiteral("1.5"));
    EXPECT_EQ(other->at(0).link, QUrl(QStringLiteral("https://example.org/notes")));

    EXPECT_FALSE(Appcast::parse("<html><body>Not found</body></html>"));
    EXPECT_FALSE(Appcast::parse(feed.left(feed.size() / 2)));
    EXPECT_FALSE(Appcast::parse(""));
}

TEST(UpdaterCheck, NewerSameAndOlderReleasesOnLoopback)
{
    FeedServer server(
        feedOf({{QStringLiteral("1.4.0"), QStringLiteral("https://example.org/1.4")},
                {QStringLiteral("1.10.0"), QStringLiteral("https://example.org/1.10")},
                {QStringLiteral("1.9"), QStringLiteral("https://example.org/1.9")}}));
    {
        Updater updater(server.url(), QStringLiteral("1.9.3"));
        const UpdateCheck result = check(updater);
        EXPECT_EQ(result.outcome, UpdateCheck::Outcome::newer);
        ASSERT_TRUE(result.latest);
        EXPECT_EQ(result.latest->version, QStringLiteral("1.10.0"));
        EXPECT_EQ(result.latest->link, QUrl(QStringLiteral("https://example.org/1.10")));
    }
    for (const QString& running : {QStringLiteral("1.10"), QStringLiteral("2.0")}) {
        Updater updater(server.url(), running);
        const UpdateCheck result = check(updater);
        EXPECT_EQ(result.outcome, UpdateCheck::Outcome::upToDate) << running.toStdString();
    }
    // Only the feed was ever fetched, never a release.
    EXPECT_EQ(server.paths.size(), 6);
    EXPECT_EQ(server.paths.filter(QStringLiteral("/appcast.xml")).size(), 6);
}

TEST(UpdaterCheck, ABrokenOrMissingFeedLeavesTheVersionStanding)
{
    for (const auto& [body, status] :
         QList<QPair<QByteArray, QByteArray>>{{"<rss><channel><item>", "200 OK"},
                                              {"garbage \x01\x02", "200 OK"},
                                              {"<html>gone</html>", "404 Not Found"},
                                              {feedOf({}), "200 OK"}}) {
        FeedServer server(body, status);
        Updater updater(server.url(), QStringLiteral("1.0"));
        const UpdateCheck result = check(updater);
        EXPECT_EQ(result.outcome, UpdateCheck::Outcome::failed) << body.toStdString();
        EXPECT_EQ(updater.currentVersion(), QStringLiteral("1.0"));
    }

    // Nobody listening.
    quint16 port = 0;
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
    }
    Updater updater(QUrl(QStringLiteral("http://127.0.0.1:%1/feed").arg(port)),
                    QStringLiteral("1.0"));
    EXPECT_EQ(check(updater).outcome, UpdateCheck::Outcome::failed);
}

TEST(UpdaterCheck, WithoutAFeedAddressNothingIsChecked)
{
    Updater updater(QUrl(), QStringLiteral("1.0"));
    QSignalSpy spy(&updater, &Updater::checked);
    updater.start();
    updater.checkForUpdates();
    EXPECT_FALSE(updater.canCheckForUpdates());
    // Nothing was asked of the network: an answer could only be one posted already.
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.size(), 0);
}

#include "Updater.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QXmlStreamReader>

#include <algorithm>

namespace ovra {

namespace Appcast {

namespace {

bool isWebLink(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

// Reads one <item>, the reader standing on its start element.
AppcastItem readItem(QXmlStreamReader& xml)
{
    AppcastItem item;
    QString enclosureVersion;
    QUrl enclosureUrl;
    QUrl link;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement) continue;
        ++depth;
        const QStringView name = xml.name();
        if (depth != 2) continue;
        if (name == QLatin1String("enclosure")) {
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                if (attribute.name() == QLatin1String("url"))
                    enclosureUrl = QUrl(attribute.value().trimmed().toString());
                else if (attribute.name() == QLatin1String("version"))
                    enclosureVersion = attribute.value().trimmed().toString();
            }
        } else if (name == QLatin1String("title")) {
            item.title = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            --depth;
        } else if (name == QLatin1String("version")) {
            item.version = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            --depth;
        } else if (name == QLatin1String("link") && xml.namespaceUri().isEmpty()) {
            link = QUrl(xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed());
            --depth;
        }
    }
    if (item.version.isEmpty()) item.version = enclosureVersion;
    item.link = isWebLink(enclosureUrl) ? enclosureUrl : link;
    return item;
}

// Only ASCII digits make numbers: a number is compared digit by digit, which
// holds only within one script, and the order must stay one order across the
// numbers and texts of a feed, or its newest release depends on where it stands.
bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Splits "1.10.2-beta3" into 1, 10, 2, "-beta", 3 (separating dots dropped).
QList<QString> pieces(const QString& version)
{
    QList<QString> result;
    QString run;
    bool runIsDigits = false;
    for (const QChar c : version) {
        const bool digit = isAsciiDigit(c);
        if (c == QLatin1Char('.') || (!run.isEmpty() && digit != runIsDigits)) {
            if (!run.isEmpty()) result.append(run);
            run.clear();
            if (c == QLatin1Char('.')) continue;
        }
        runIsDigits = digit;
        run.append(c);
    }
    if (!run.isEmpty()) result.append(run);
    return result;
}

bool isNumber(const QString& piece)
{
    return !piece.isEmpty() && std::all_of(piece.cbegin(), piece.cend(), isAsciiDigit);
}

int comparePieces(const QString& a, const QString& b)
{
    if (isNumber(a) && isNumber(b)) {
        // Compared as digit strings, so no version number is too long to hold.
        QString x = a, y = b;
        while (x.size() > 1 && x.front() == QLatin1Char('0'))
            x.remove(0, 1);
        while (y.size() > 1 && y.front() == QLatin1Char('0'))
            y.remove(0, 1);
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        return x.compare(y);
    }
    return a.compare(b, Qt::CaseInsensitive);
}

} // namespace

std::optional<QList<AppcastItem>> parse(const QByteArray& feed)
{
    QXmlStreamReader xml(feed);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("rss")) return std::nullopt;
    QList<AppcastItem> items;
    bool hasChannel = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == QLatin1String("channel")) hasChannel = true;
        if (xml.name() != QLatin1String("item")) continue;
        AppcastItem item = readItem(xml);
        if (!item.version.isEmpty() && isWebLink(item.link)) items.append(std::move(item));
    }
    if (xml.hasError() || !hasChannel) return std::nullopt;
    return items;
}

int compareVersions(const QString& a, const QString& b)
{
    const QList<QString> x = pieces(a);
    const QList<QString> y = pieces(b);
    const QString zero = QStringLiteral("0");
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
        const int order = comparePieces(i < x.size() ? x[i] : zero, i < y.size() ? y[i] : zero);
        if (order != 0) return order < 0 ? -1 : 1;
    }
    return 0;
}

std::optional<AppcastItem> newest(const QList<AppcastItem>& items)
{
    if (items.isEmpty()) return std::nullopt;
    return *std::max_element(items.cbegin(), items.cend(), [](const auto& a, const auto& b) {
        return compareVersions(a.version, b.version) < 0;
    });
}

} // namespace Appcast

Updater::Updater(const QUrl& feed, const QString& currentVersion, QObject* parent)
    : QObject(parent)
    , m_feed(feed)
    , m_currentVersion(currentVersion)
{
}

Updater::~Updater()
{
    if (m_reply) m_reply->abort();
}

QUrl Updater::buildFeed()
{
    return QUrl(QStringLiteral(OVRA_UPDATE_FEED));
}

QString Updater::buildVersion()
{
    return QStringLiteral(OVRA_VERSION);
}

void Updater::start()
{
    if (m_feed.isEmpty() || !m_feed.isValid()) return;
    begin(false);
}

void Updater::checkForUpdates()
{
    if (!m_canCheckForUpdates) return;
    begin(true);
}

UpdateCheck Updater::judge(const std::optional<QByteArray>& feed, const QString& currentVersion)
{
    UpdateCheck result;
    if (!feed) return result;
    const std::optional<QList<AppcastItem>> items = Appcast::parse(*feed);
    if (!items) return result;
    result.latest = Appcast::newest(*items);
    if (!result.latest) return result;
    result.outcome = Appcast::compareVersions(result.latest->version, currentVersion) > 0
                         ? UpdateCheck::Outcome::newer
                         : UpdateCheck::Outcome::upToDate;
    return result;
}

void Updater::begin(bool userInitiated)
{
    if (m_reply) return;
    if (!m_network) m_network = new QNetworkAccessManager(this);
    setCanCheckForUpdates(false);
    QNetworkRequest request(m_feed);
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    // A feed that grows past any appcast's size is cut off, not read into memory.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxFeedBytes) reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, userInitiated] { finish(reply, userInitiated); });
}

void Updater::finish(QNetworkReply* reply, bool userInitiated)
{
    reply->deleteLater();
    m_reply = nullptr;
    std::optional<QByteArray> body;
    if (reply->error() == QNetworkReply::NoError) body = reply->read(kMaxFeedBytes + 1);
    if (body && body->size() > kMaxFeedBytes) body.reset();
    const UpdateCheck result = judge(body, m_currentVersion);
    setCanCheckForUpdates(true);
    emit checked(result, userInitiated);
}

void Updater::setCanCheckForUpdates(bool can)
{
    if (m_canCheckForUpdates == can) return;
    m_canCheckForUpdates = can;
    emit canCheckForUpdatesChanged();
}

} // namespace ovra

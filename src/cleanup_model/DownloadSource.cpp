#include "DownloadSource.h"

#include "platform/metadata/ContentAttributes.h"
#include "platform/metadata/QueryEscape.h"

#include <QCache>
#include <QFile>
#include <QHash>
#include <QUrl>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace ovra {

namespace {

// Second-level labels that registrable domains keep under a two-letter country
// code ("bbc.co.uk", "example.com.au").
constexpr std::array<const char*, 11> kCountrySecondLevels{"co",  "com", "ac", "gov", "org", "net",
                                                           "edu", "ne",  "or", "go",  "gv"};

constexpr std::array<const char*, 3> kExtensionPrefixes{"chrome-extension://", "moz-extension://",
                                                        "safari-web-extension://"};

// The classifier remembers this many answers; a file browser with more files
// than that classifies the rest again when they come back into view.
constexpr int kCacheLimit = 20000;

DownloadSource row(const char* name, const char* symbol,
                   std::initializer_list<const char*> keywords,
                   std::initializer_list<const char*> domains)
{
    DownloadSource source{QString::fromUtf8(name), QString::fromUtf8(symbol), {}, {}, std::nullopt};
    for (const char* domain : domains)
        source.domains << QString::fromUtf8(domain);
    for (const char* keyword : keywords)
        source.keywords << QString::fromUtf8(keyword);
    return source;
}

// The order is the match order: a download whose addresses name two services
// belongs to the one listed first (mail before the drive of the same company).
QList<DownloadSource> makeCatalog()
{
    return {
        row("WhatsApp", "message.fill", {"whatsapp"}, {"whatsapp.com", "whatsapp.net"}),
        row("Gmail", "envelope.fill", {"gmail"}, {"mail.google.com"}),
        row("Google Drive", "externaldrive.fill", {"gdrive"},
            {"drive.google.com", "docs.google.com", "drive.usercontent.google.com"}),
        row("Slack", "number", {"slack"}, {"slack.com", "slack-edge.com", "slack-files.com"}),
        row("Telegram", "paperplane.fill", {"telegram"}, {"telegram.org", "t.me"}),
        row("Discord", "gamecontroller.fill", {"discord"},
            {"discord.com", "discordapp.com", "discordapp.net"}),
        row("GitHub", "chevron.left.forwardslash.chevron.right", {"github"},
            {"github.com", "githubusercontent.com"}),
        row("Dropbox", "shippingbox.fill", {"dropbox"}, {"dropbox.com", "dropboxusercontent.com"}),
        row("WeTransfer", "arrow.up.arrow.down", {"wetransfer"}, {"wetransfer.com", "we.tl"}),
        row("Notion", "doc.richtext", {"notion"},
            {"notion.so", "notion.site", "notion-static.com", "notionusercontent.com"}),
        row("Figma", "pencil.and.outline", {"figma"}, {"figma.com"}),
        row("ChatGPT", "sparkle", {"chatgpt", "openai"},
            {"chatgpt.com", "chat.openai.com", "oaiusercontent.com"}),
        row("Claude", "sparkles", {"claude"}, {"claude.ai"}),
        row("YouTube", "play.rectangle.fill", {"youtube"},
            {"youtube.com", "youtu.be", "googlevideo.com"}),
        row("X", "bird.fill", {"twitter"}, {"x.com", "twitter.com", "twimg.com"}),
        row("Instagram", "camera.fill", {"instagram"}, {"instagram.com", "cdninstagram.com"}),
        row("Facebook", "person.2.fill", {"facebook", "messenger"},
            {"facebook.com", "fbcdn.net", "messenger.com"}),
        row("LinkedIn", "briefcase.fill", {"linkedin"}, {"linkedin.com", "licdn.com"}),
        row("Reddit", "bubble.left.and.bubble.right.fill", {"reddit"},
            {"reddit.com", "redd.it", "redditmedia.com"}),
        row("Pinterest", "pin.fill", {"pinterest"}, {"pinterest.com", "pinimg.com"}),
        row("Canva", "paintpalette.fill", {"canva"}, {"canva.com"}),
        row("Outlook", "envelope.badge.fill", {"outlook", "hotmail"},
            {"outlook.live.com", "outlook.office.com", "outlook.office365.com"}),
        row("iCloud", "icloud.fill", {"icloud.com"}, {"icloud.com"}),
        row("Unsplash", "photo.fill", {"unsplash"}, {"unsplash.com"}),
        row("Zoom", "video.fill", {"zoom"}, {"zoom.us"}),
    };
}

const QHash<QString, QString>& knownExtensions()
{
    static const QHash<QString, QString> extensions{
        {QStringLiteral("fdpohaocaechififmbbbbbknoalclacl"), QStringLiteral("GoFullPage")},
    };
    return extensions;
}

bool isIpAddress(const QString& host)
{
    // A registered host name never holds a colon, so any colon means IPv6 (with
    // or without a zone such as "%eth0", which inet_pton would refuse).
    if (host.contains(u':')) return true;
    in_addr address{};
    return inet_pton(AF_INET, host.toLatin1().constData(), &address) == 1;
}

bool hostMatches(const QString& host, const QString& domain)
{
    return host == domain || (host.size() > domain.size() && host.endsWith(domain) &&
                              host.at(host.size() - domain.size() - 1) == u'.');
}

std::optional<DownloadSource> extensionSource(const QString& address)
{
    const QUrl url(address);
    const QString identifier = url.isValid() ? url.host() : QString();
    const auto known = knownExtensions().constFind(identifier);
    const bool isKnown = !identifier.isEmpty() && known != knownExtensions().constEnd();
    return DownloadSource{
        isKnown ? *known : QStringLiteral("Browser Extension"),
        QStringLiteral("puzzlepiece.extension.fill"),
        // The generic domain matches every extension address in a query clause.
        {isKnown ? identifier : QStringLiteral("-extension://")},
        {},
        address,
    };
}

QStringList hostsOf(const QStringList& whereFroms)
{
    QStringList hosts;
    for (const QString& string : whereFroms) {
        const QUrl url(string.startsWith(QLatin1String("blob:")) ? string.mid(5) : string);
        if (!url.isValid()) continue;
        const QString host = url.host().toLower();
        if (!host.isEmpty()) hosts << host;
    }
    return hosts;
}

// The site a download came from, named after the host's registrable domain.
// A host with no registrable part ("www" alone) keeps its whole name, so the
// source can never be nameless, which as a query clause would match every
// download.
DownloadSource siteSource(const QString& host, const QString& link)
{
    QString domain = DownloadSources::registrableDomain(host);
    if (domain.isEmpty()) domain = host;
    return DownloadSource{domain, QStringLiteral("globe"), {domain}, {}, link};
}

struct Cache {
    std::mutex mutex;
    QCache<QString, std::optional<DownloadSource>> answers{kCacheLimit};
};

Cache& cache()
{
    static Cache instance;
    return instance;
}

} // namespace

QString DownloadSource::spotlightClause() const
{
    const QStringList terms = domains.isEmpty() ? QStringList{name} : domains;
    QStringList clauses;
    for (const QString& term : terms)
        clauses << QStringLiteral("kMDItemWhereFroms == \"*") + md::escapeQueryValue(term) +
                       QStringLiteral("*\"cd");
    return u'(' + clauses.join(QStringLiteral(" || ")) + u')';
}

namespace DownloadSources {

const QList<DownloadSource>& catalog()
{
    static const QList<DownloadSource> rows = makeCatalog();
    return rows;
}

std::optional<DownloadSource> named(const QString& name)
{
    for (const DownloadSource& source : catalog())
        if (source.name == name) return source;
    return std::nullopt;
}

std::optional<DownloadSource> forKeyword(const QString& word)
{
    for (const DownloadSource& source : catalog())
        if (source.keywords.contains(word)) return source;
    return std::nullopt;
}

QString registrableDomain(const QString& host)
{
    // An address has no registrable part; cutting "192.168.1.20" to "1.20"
    // would lump unrelated machines together.
    if (isIpAddress(host)) return host;
    QStringList labels = host.split(u'.', Qt::SkipEmptyParts);
    if (!labels.isEmpty() && labels.first() == QLatin1String("www")) labels.removeFirst();
    if (labels.size() < 3) return labels.join(u'.');
    const QString& secondLevel = labels.at(labels.size() - 2);
    const bool keepsThree =
        labels.last().size() == 2 &&
        std::any_of(kCountrySecondLevels.begin(), kCountrySecondLevels.end(),
                    [&](const char* label) { return secondLevel == QLatin1String(label); });
    return labels.mid(labels.size() - (keepsThree ? 3 : 2)).join(u'.');
}

QStringList whereFroms(const QString& path)
{
    QStringList strings = md::readWhereFroms(QFile::encodeName(path));
    strings.removeAll(QString());
    return strings;
}

std::optional<DownloadSource> classify(const QStringList& whereFroms)
{
    if (whereFroms.isEmpty()) return std::nullopt;

    QString link = whereFroms.first();
    for (const QString& string : whereFroms) {
        if (string.startsWith(QLatin1String("http"))) {
            link = string;
            break;
        }
    }

    for (const QString& string : whereFroms) {
        for (const char* prefix : kExtensionPrefixes)
            if (string.startsWith(QLatin1String(prefix))) return extensionSource(string);
    }

    const QStringList hosts = hostsOf(whereFroms);
    // Row order outranks host order: the first service that any host names wins.
    for (const DownloadSource& row : catalog()) {
        for (const QString& host : hosts) {
            for (const QString& domain : row.domains) {
                if (!hostMatches(host, domain)) continue;
                DownloadSource source = row;
                source.link = link;
                return source;
            }
        }
    }

    if (hosts.isEmpty()) {
        const bool namesAddress = std::any_of(whereFroms.begin(), whereFroms.end(),
                                              [](const QString& s) { return s.contains(u'@'); });
        if (!namesAddress) return std::nullopt;
        return DownloadSource{QStringLiteral("Mail"),
                              QStringLiteral("envelope.fill"),
                              {QStringLiteral("@")},
                              {},
                              whereFroms.first()};
    }
    // With a download address and the page it was found on, the page names the
    // site better than the storage host the file was served from.
    const QString& host = hosts.size() == 1 ? hosts.first() : hosts.at(1);
    return siteSource(host, link);
}

std::optional<DownloadSource> source(const QString& path)
{
    Cache& shared = cache();
    {
        std::lock_guard lock(shared.mutex);
        if (const auto* answer = shared.answers.object(path)) return *answer;
    }
    auto answer = classify(whereFroms(path));
    std::lock_guard lock(shared.mutex);
    shared.answers.insert(path, new std::optional<DownloadSource>(answer));
    return answer;
}

void clearCache()
{
    Cache& shared = cache();
    std::lock_guard lock(shared.mutex);
    shared.answers.clear();
}

} // namespace DownloadSources

} // namespace ovra

#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace ovra {

// One release of an appcast feed: an RSS item with a version and the address
// its download is offered at.
struct AppcastItem {
    QString title;
    QString version;
    QUrl link;

    friend bool operator==(const AppcastItem&, const AppcastItem&) = default;
};

namespace Appcast {

// The feed's releases that carry a version and a web (http or https) link, in
// feed order; none when the text is not a well-formed RSS feed. A version is
// the item's `version` element or its enclosure's `version` attribute (in any
// namespace); the link is the enclosure's `url`, else the item's `link`.
std::optional<QList<AppcastItem>> parse(const QByteArray& feed);

// Compares two version texts piece by piece: runs of digits as numbers, other
// runs as text, a missing piece as zero ("1.2" equals "1.2.0"). Negative,
// zero or positive, like a three-way comparison.
int compareVersions(const QString& a, const QString& b);

// The newest release of the feed; none for a feed without releases.
std::optional<AppcastItem> newest(const QList<AppcastItem>& items);

} // namespace Appcast

// What one check found.
struct UpdateCheck {
    enum class Outcome { newer, upToDate, failed };
    Outcome outcome = Outcome::failed;
    // The feed's newest release (for newer and upToDate).
    std::optional<AppcastItem> latest;
};

// The app's update checker: it reads the appcast feed at the address set when
// the app was built, compares the newest release with the running version and
// says what it found. It never downloads or installs anything: a newer release
// is only reported, with the address where the user may fetch it.
//
// Without a feed address nothing is ever checked and `canCheckForUpdates`
// stays false. `start()` makes one quiet check; its failures are kept to
// itself and the running version stands.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
public:
    // A feed larger than this is not an appcast.
    static constexpr qint64 kMaxFeedBytes = 1 << 20;
    static constexpr int kTimeoutMs = 15000;

    Updater(const QUrl& feed, const QString& currentVersion, QObject* parent = nullptr);
    ~Updater() override;

    // The feed address and version this build was made with.
    static QUrl buildFeed();
    static QString buildVersion();

    QUrl feed() const { return m_feed; }
    QString currentVersion() const { return m_currentVersion; }
    // A feed address is set and no check is running.
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

    // The quiet check at start-up.
    void start();
    // The user's check; ignored while one runs or without a feed.
    void checkForUpdates();

    // The result for a fetched feed (none when it could not be fetched).
    static UpdateCheck judge(const std::optional<QByteArray>& feed, const QString& currentVersion);

signals:
    void canCheckForUpdatesChanged();
    // A check ended; `userInitiated` for checkForUpdates().
    void checked(const UpdateCheck& result, bool userInitiated);

private:
    void begin(bool userInitiated);
    void finish(QNetworkReply* reply, bool userInitiated);
    void setCanCheckForUpdates(bool can);

    QUrl m_feed;
    QString m_currentVersion;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    bool m_canCheckForUpdates = false;
};

} // namespace ovra

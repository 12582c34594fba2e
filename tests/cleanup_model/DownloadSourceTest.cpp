#include "cleanup_model/DownloadSource.h"
#include "platform/UserFile.h"
#include "platform/metadata/Item.h"
#include "platform/metadata/ItemView.h"
#include "platform/metadata/Query.h"
#include "support/TestHome.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

#include <sys/xattr.h>

using namespace ovra;
using namespace ovra::DownloadSources;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

DownloadSource classified(std::initializer_list<const char*> whereFroms)
{
    QStringList strings;
    for (const char* string : whereFroms)
        strings << s(string);
    const auto source = classify(strings);
    EXPECT_TRUE(source) << strings.join(u' ').toStdString();
    return source.value_or(DownloadSource{});
}

// Sets a freedesktop download attribute; false when the file system keeps no
// user attributes (the test is skipped then).
bool setAttribute(const QString& path, const char* name, const char* value)
{
    return ::setxattr(QFile::encodeName(path).constData(), name, value, std::strlen(value), 0) == 0;
}

} // namespace

TEST(RegistrableDomain, KeepsTheNameAnOwnerRegisters)
{
    const std::pair<const char*, const char*> cases[] = {
        {"www.bbc.co.uk", "bbc.co.uk"},       {"www.shop.example.com.au", "example.com.au"},
        {"a.b.example.com", "example.com"},   {"files.example.net", "example.net"},
        {"www.example.co.com", "co.com"}, // a three-letter top level keeps two labels
        {"www.example.com", "example.com"},   {"localhost", "localhost"},
        {"intranet.local", "intranet.local"}, {"a..example...com", "example.com"},
    };
    for (const auto& [host, domain] : cases)
        EXPECT_EQ(registrableDomain(s(host)), s(domain)) << host;
}

TEST(RegistrableDomain, AnAddressIsItsOwnDomain)
{
    // Cut at dots, 192.168.1.20 would become "1.20" and lump other machines in.
    EXPECT_EQ(registrableDomain(s("192.168.1.20")), s("192.168.1.20"));
    EXPECT_EQ(registrableDomain(s("10.0.0.1")), s("10.0.0.1"));
    EXPECT_EQ(registrableDomain(s("fe80::1")), s("fe80::1"));
    EXPECT_EQ(registrableDomain(s("2001:db8::1")), s("2001:db8::1"));
    EXPECT_EQ(registrableDomain(s("www")), QString());
}

TEST(Catalog, RowsInMatchOrder)
{
    const QList<DownloadSource>& rows = catalog();
    ASSERT_EQ(rows.size(), 25);
    EXPECT_EQ(rows.first().name, s("WhatsApp"));
    EXPECT_EQ(rows.last().name, s("Zoom"));
    for (const DownloadSource& row : rows) {
        EXPECT_FALSE(row.link) << row.name.toStdString();
        for (const QString& domain : row.domains)
            EXPECT_EQ(domain, domain.toLower());
    }
    // Gmail's host lies under the domain of Google Drive's hosts, and comes first.
    EXPECT_EQ(rows[1].name, s("Gmail"));
    EXPECT_EQ(rows[2].name, s("Google Drive"));
    for (const QString& host : rows[2].domains)
        EXPECT_EQ(registrableDomain(host), registrableDomain(rows[1].domains.first()));
}

TEST(Catalog, ByNameAndKeywordExactly)
{
    ASSERT_TRUE(named(s("Google Drive")));
    EXPECT_EQ(named(s("Google Drive"))->symbol, s("externaldrive.fill"));
    EXPECT_FALSE(named(s("google drive")));
    EXPECT_FALSE(named(s("Mail")));

    EXPECT_EQ(forKeyword(s("openai"))->name, s("ChatGPT"));
    EXPECT_EQ(forKeyword(s("chatgpt"))->name, s("ChatGPT"));
    EXPECT_EQ(forKeyword(s("messenger"))->name, s("Facebook"));
    EXPECT_EQ(forKeyword(s("hotmail"))->name, s("Outlook"));
    EXPECT_EQ(forKeyword(s("twitter"))->name, s("X"));
    EXPECT_EQ(forKeyword(s("icloud.com"))->name, s("iCloud"));
    EXPECT_FALSE(forKeyword(s("OpenAI")));
    EXPECT_FALSE(forKeyword(s("icloud")));
    EXPECT_FALSE(forKeyword(QString()));
}

TEST(Classify, CatalogRowOrderOutranksHostOrder)
{
    // The file came from Slack's storage, the page was Gmail: Gmail is listed first.
    const DownloadSource source = classified(
        {"https://files.slack.com/files-pri/T01/report.pdf", "https://mail.google.com/mail/u/0/"});
    EXPECT_EQ(source.name, s("Gmail"));
    EXPECT_EQ(source.symbol, s("envelope.fill"));
    EXPECT_EQ(source.link, s("https://files.slack.com/files-pri/T01/report.pdf"));
}

TEST(Classify, HostMatchesADomainOrItsSubdomainsOnly)
{
    EXPECT_EQ(classified({"https://github.com/owner/repo/archive/main.zip"}).name, s("GitHub"));
    EXPECT_EQ(classified({"https://objects.githubusercontent.com/release/1"}).name, s("GitHub"));
    EXPECT_EQ(classified({"https://drive.usercontent.google.com/download?id=1"}).name,
              s("Google Drive"));
    // Ends with the domain's text but not at a label boundary.
    const DownloadSource lookalike = classified({"https://notgithub.com/tool.tar.gz"});
    EXPECT_EQ(lookalike.name, s("notgithub.com"));
    EXPECT_EQ(lookalike.symbol, s("globe"));
    // Host names are compared in lower case.
    EXPECT_EQ(classified({"https://WWW.DROPBOX.COM/s/abc/f.zip?dl=1"}).name, s("Dropbox"));
}

TEST(Classify, BlobAddressesNameTheirPage)
{
    const DownloadSource source = classified({"blob:https://web.whatsapp.com/3f2a9c1e-77"});
    EXPECT_EQ(source.name, s("WhatsApp"));
    // "blob:" does not begin with "http": with nothing better it is the link.
    EXPECT_EQ(source.link, s("blob:https://web.whatsapp.com/3f2a9c1e-77"));
}

TEST(Classify, SitesOutsideTheCatalogGoByRegistrableDomain)
{
    // Two hosts: the second (the page) names the site.
    const DownloadSource twoHosts = classified(
        {"https://cdn.assets-example.net/dl/setup.exe", "https://www.example.org/downloads"});
    EXPECT_EQ(twoHosts.name, s("example.org"));
    EXPECT_EQ(twoHosts.domains, QStringList{s("example.org")});
    EXPECT_TRUE(twoHosts.keywords.isEmpty());
    EXPECT_EQ(twoHosts.link, s("https://cdn.assets-example.net/dl/setup.exe"));

    EXPECT_EQ(classified({"https://www.gov.co.uk/form.pdf"}).name, s("gov.co.uk"));
    EXPECT_EQ(classified({"https://www.example.co.uk/a.pdf"}).name, s("example.co.uk"));
    EXPECT_EQ(classified({"https://www.example.com/a.pdf"}).name, s("example.com"));
    EXPECT_EQ(classified({"http://localhost:8080/build.zip"}).name, s("localhost"));
}

TEST(Classify, LinkIsTheFirstWebAddressWhateverMatched)
{
    const DownloadSource source =
        classified({"ftp-mirror-note", "https://cdn.example.net/f.zip", "https://github.com/o/r"});
    EXPECT_EQ(source.name, s("GitHub"));
    EXPECT_EQ(source.link, s("https://cdn.example.net/f.zip"));
}

TEST(Classify, AddressesAndBareHostsAreNeverNameless)
{
    // A nameless source would make the clause kMDItemWhereFroms == "**"cd, which
    // matches every download.
    const DownloadSource v4 = classified({"http://192.168.1.20:8000/report.pdf"});
    EXPECT_EQ(v4.name, s("192.168.1.20"));
    EXPECT_EQ(v4.domains, QStringList{s("192.168.1.20")});

    const DownloadSource v6 = classified({"http://[FE80::1]:8000/report.pdf"});
    EXPECT_EQ(v6.name, s("fe80::1"));

    const DownloadSource bare = classified({"http://www/setup.sh"});
    EXPECT_EQ(bare.name, s("www"));
    EXPECT_EQ(bare.domains, QStringList{s("www")});
    EXPECT_FALSE(bare.spotlightClause().contains(s("\"**\"")));
}

TEST(Classify, BrowserExtensions)
{
    const DownloadSource known =
        classified({"https://example.com/page",
                    "chrome-extension://fdpohaocaechififmbbbbbknoalclacl/capture.html#id=1"});
    EXPECT_EQ(known.name, s("GoFullPage"));
    EXPECT_EQ(known.symbol, s("puzzlepiece.extension.fill"));
    EXPECT_EQ(known.domains, QStringList{s("fdpohaocaechififmbbbbbknoalclacl")});
    // The extension address is the link, not the web page before it.
    EXPECT_EQ(known.link,
              s("chrome-extension://fdpohaocaechififmbbbbbknoalclacl/capture.html#id=1"));

    for (const char* address : {"moz-extension://6a1e3c5f-0d2b-4f63-9a7e-2d3b1c0e9f11/export.html",
                                "chrome-extension://aaaabbbbccccddddeeeeffffgggghhhh/x.png",
                                "safari-web-extension://ABCDEF/y.pdf"}) {
        const DownloadSource other = classified({address});
        EXPECT_EQ(other.name, s("Browser Extension")) << address;
        EXPECT_EQ(other.domains, QStringList{s("-extension://")});
        EXPECT_EQ(other.link, s(address));
    }
}

TEST(Classify, MailAndNothing)
{
    EXPECT_FALSE(classify({}));

    const DownloadSource mail = classified({"Re: March invoice", "<CAF1x2y3@mail.example.com>"});
    EXPECT_EQ(mail.name, s("Mail"));
    EXPECT_EQ(mail.symbol, s("envelope.fill"));
    EXPECT_EQ(mail.domains, QStringList{s("@")});
    EXPECT_EQ(mail.link, s("Re: March invoice"));

    EXPECT_FALSE(classify({s("no address here"), s("nor here")}));
}

TEST(DownloadSourceValue, IdentityIsTheName)
{
    DownloadSource a = classified({"https://github.com/a"});
    DownloadSource b = classified({"https://objects.githubusercontent.com/b"});
    EXPECT_NE(a.link, b.link);
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    EXPECT_EQ(QSet<DownloadSource>({a, b}).size(), 1);
    EXPECT_NE(a, classified({"https://gitlab.com/a"}));
}

TEST(DownloadSourceValue, QueryClauseFindsTheSourcesDownloadsAndNoOthers)
{
    const auto finds = [](const DownloadSource& source, const char* whereFrom) {
        const md::Query query = md::Query::parse(source.spotlightClause());
        EXPECT_TRUE(query.isValid()) << source.name.toStdString();
        md::Item item;
        item.path = s("/home/ann/Downloads/file");
        item.whereFroms = {s(whereFrom)};
        return query.matches(md::ItemView(item));
    };
    const DownloadSource github = *named(s("GitHub"));
    EXPECT_TRUE(finds(github, "https://github.com/ann/tool/releases/tool.zip"));
    EXPECT_TRUE(finds(github, "https://objects.githubusercontent.com/release-assets/1"));
    EXPECT_TRUE(finds(github, "HTTPS://GITHUB.COM/ann/tool"));
    EXPECT_FALSE(finds(github, "https://gitlab.com/ann/tool"));
    EXPECT_TRUE(finds(*named(s("Figma")), "https://www.figma.com/file/abc"));
    EXPECT_FALSE(finds(*named(s("Figma")), "https://example.com/figma"));

    // Quotes, backslashes and asterisks in a name are the characters themselves.
    const DownloadSource odd{s("a\"b\\c*d"), s("globe"), {}, {}, std::nullopt};
    EXPECT_TRUE(finds(odd, "mail from a\"b\\c*d today"));
    EXPECT_FALSE(finds(odd, "mail from a\"b\\cXd today"));
    EXPECT_FALSE(finds(odd, "mail from ab\\c*d today"));
}

class SourceLookup : public ::testing::Test {
protected:
    void SetUp() override { clearCache(); }
    void TearDown() override { clearCache(); }
    test::TestHome home;
    // Extended attributes are read where a pool thread would read them.
    const UserFile::AllowOnThisThread directReads;
};

TEST_F(SourceLookup, ReadsOriginThenReferrer)
{
    const QString file = home.writeFile(s("Downloads/setup.run"), "x");
    if (!setAttribute(file, "user.xdg.referrer.url", "https://www.example.org/get"))
        GTEST_SKIP() << "no user extended attributes here";
    ASSERT_TRUE(setAttribute(file, "user.xdg.origin.url", "https://cdn.example.net/setup.run"));
    EXPECT_EQ(whereFroms(file), QStringList({s("https://cdn.example.net/setup.run"),
                                             s("https://www.example.org/get")}));
    EXPECT_EQ(source(file)->name, s("example.org"));
    EXPECT_TRUE(whereFroms(home.writeFile(s("plain.txt"), "x")).isEmpty());
}

TEST_F(SourceLookup, CachesUntilCleared)
{
    const QString file = home.writeFile(s("Downloads/report.pdf"), "x");
    const QString plain = home.writeFile(s("Downloads/notes.txt"), "x");
    if (!setAttribute(file, "user.xdg.origin.url", "https://github.com/o/r/report.pdf"))
        GTEST_SKIP() << "no user extended attributes here";

    EXPECT_EQ(source(file)->name, s("GitHub"));
    EXPECT_FALSE(source(plain));

    // A file downloaded again under the same names: the cached answers stand…
    ASSERT_TRUE(setAttribute(file, "user.xdg.origin.url", "https://files.slack.com/f/report.pdf"));
    ASSERT_TRUE(
        setAttribute(plain, "user.xdg.origin.url", "https://www.dropbox.com/s/x/notes.txt"));
    EXPECT_EQ(source(file)->name, s("GitHub"));
    EXPECT_FALSE(source(plain));

    // …until the refresh or the move to the Trash clears them.
    clearCache();
    EXPECT_EQ(source(file)->name, s("Slack"));
    EXPECT_EQ(source(plain)->name, s("Dropbox"));
}

TEST_F(SourceLookup, AMissingFileHasNoSource)
{
    EXPECT_FALSE(source(home.path(s("Downloads/gone.zip"))));
    EXPECT_FALSE(source(QString()));
}

#include "ContentAttributes.h"

#include "../PathKey.h"

#include <algorithm>

namespace ovra::md {

namespace {

// How the screenshot tools of Linux desktops (and of a Mac, for files copied
// from one) begin a file name. Each is followed by a date, which is what keeps
// "Screenshot ideas.png" from counting.
constexpr const char16_t* kPrefixes[] = {
    u"screenshot from ",    // GNOME ("Screenshot from 2024-03-01 10-22-33.png", later "From")
    u"screenshot_",         // Xfce ("Screenshot_2024-03-01_10-22-33"), Spectacle
                            // ("Screenshot_20240301_102233")
    u"screenshot ",         // macOS ("Screenshot 2024-03-01 at 10.22.33")
    u"screen shot ",        // older macOS ("Screen Shot 2019-03-01 at 10.22.33")
    u"bildschirmfoto vom ", // GNOME in German
    u"bildschirmfoto von ",
    u"bildschirmfoto ", // macOS in German ("Bildschirmfoto 2024-03-01 um 10.22.33")
};

constexpr const char16_t* kImageExtensions[] = {u"png", u"jpg", u"jpeg", u"webp"};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// "2024-03-01", "2024_03_01" or "20240301", with a plausible year, month and day.
bool startsWithDate(QStringView s)
{
    qsizetype at = 0;
    const auto digits = [&](int count) -> int {
        int value = 0;
        for (int i = 0; i < count; ++i, ++at) {
            if (at >= s.size() || !isDigit(s[at])) return -1;
            value = value * 10 + (s[at].unicode() - '0');
        }
        return value;
    };
    const auto separator = [&] {
        if (at < s.size() && (s[at] == u'-' || s[at] == u'_' || s[at] == u'.')) ++at;
    };
    const int year = digits(4);
    separator();
    const int month = digits(2);
    separator();
    const int day = digits(2);
    return year >= 1970 && year <= 2999 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

} // namespace

bool isScreenshotFileName(QStringView name)
{
    const QString extension = pathExtension(name);
    if (extension.isEmpty()) return false;
    const bool isImage =
        std::any_of(std::begin(kImageExtensions), std::end(kImageExtensions),
                    [&](const char16_t* e) { return extension == QStringView(e); });
    if (!isImage) return false;
    const QStringView stem = name.chopped(extension.size() + 1);
    return std::any_of(std::begin(kPrefixes), std::end(kPrefixes), [&](const char16_t* prefix) {
        const QStringView p(prefix);
        return stem.startsWith(p, Qt::CaseInsensitive) && startsWithDate(stem.mid(p.size()));
    });
}

} // namespace ovra::md

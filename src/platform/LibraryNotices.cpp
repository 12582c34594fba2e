#include "LibraryNotices.h"

#include <leptonica/allheaders.h>
#include <openssl/opensslv.h>
#include <poppler/cpp/poppler-version.h>
#include <sqlite3.h>
#include <tesseract/version.h>
#include <zip.h>

extern "C" {
#include <libavutil/avutil.h>
}

namespace ovra {

QString applicationVersion()
{
    return QStringLiteral(OVRA_VERSION);
}

// Versions are asked of the libraries themselves where they can say, so the
// window names what runs rather than what the build saw; the helper's
// recognition library and the duplicate finder's digests are not linked here,
// so their headers speak for them.
QList<LibraryNotice> libraryNotices()
{
    const QString leptonica = QString::number(LIBLEPT_MAJOR_VERSION) + u'.' +
                              QString::number(LIBLEPT_MINOR_VERSION) + u'.' +
                              QString::number(LIBLEPT_PATCH_VERSION);
    return {
        {QStringLiteral("Qt"), QString::fromLatin1(qVersion()), QStringLiteral("LGPL-3.0-only")},
        {QStringLiteral("FFmpeg"), QString::fromLatin1(av_version_info()),
         QStringLiteral("LGPL-2.1-or-later")},
        {QStringLiteral("Poppler"), QString::fromStdString(poppler::version_string()),
         QStringLiteral("GPL-2.0-or-later")},
        {QStringLiteral("Tesseract"), QStringLiteral(TESSERACT_VERSION_STR),
         QStringLiteral("Apache-2.0")},
        {QStringLiteral("Leptonica"), leptonica, QStringLiteral("BSD-2-Clause")},
        {QStringLiteral("OpenSSL"), QStringLiteral(OPENSSL_VERSION_STR),
         QStringLiteral("Apache-2.0")},
        {QStringLiteral("SQLite"), QString::fromLatin1(sqlite3_libversion()),
         QStringLiteral("Public domain")},
        {QStringLiteral("libzip"), QString::fromLatin1(zip_libzip_version()),
         QStringLiteral("BSD-3-Clause")},
    };
}

} // namespace ovra

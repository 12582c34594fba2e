#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace ovra::Fmt {

// The one place where byte counts, durations and dates become text.

// A byte count as file sizes are shown everywhere: "Zero KB", "1 byte",
// "999 bytes", "12 KB", "1.5 MB", "2.34 GB" (decimal units, locale's digits).
QString bytes(qint64 count);

// A playing time: "1:05", "1:02:05"; "0:00" when not finite or negative.
QString duration(double seconds);

// A date (seconds since 1970): relative text ("2 hours ago", "yesterday",
// "in 3 days") when less than six days old or in the future, else the
// abbreviated date ("8 Dec 2026", "Dec 8, 2026" as the locale writes it).
QString date(double seconds);
QString date(double seconds, const QDateTime& now);

// A moment (seconds since 1970) as cards and list rows date a file: the
// abbreviated date and the short time, "8 Dec 2026, 14:05" or
// "Dec 8, 2026, 2:05 PM" as the locale writes them. Never relative.
QString dateTime(double seconds);

} // namespace ovra::Fmt

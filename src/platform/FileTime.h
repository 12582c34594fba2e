#pragma once

#include <linux/stat.h>
#include <sys/stat.h>

namespace ovra {

// Every file time in the app is seconds since 1970 as a double, made here and
// nowhere else: an item built from the metadata index and one built from the
// file system must carry bit-identical values, because the text index compares
// stored times exactly.
inline double fileTimeSeconds(long long seconds, long long nanoseconds)
{
    return static_cast<double>(seconds) + static_cast<double>(nanoseconds) / 1e9;
}

inline double fileTimeSeconds(const struct timespec& t)
{
    return fileTimeSeconds(t.tv_sec, t.tv_nsec);
}

inline double fileTimeSeconds(const struct statx_timestamp& t)
{
    return fileTimeSeconds(t.tv_sec, t.tv_nsec);
}

// Stands for "unknown" (the distant past), far before any real file time.
inline constexpr double kDistantPast = -62135769600.0;

} // namespace ovra

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

// A file's creation as the app records it everywhere (the index, the items and
// what a move checks against): the birth time where the file system keeps one,
// else the change time, the nearest it has. Asks for STATX_BTIME and STATX_CTIME.
inline double fileCreationSeconds(const struct statx& st)
{
    return fileTimeSeconds((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime);
}

// Stands for "unknown" (the distant past), far before any real file time.
inline constexpr double kDistantPast = -62135769600.0;

} // namespace ovra

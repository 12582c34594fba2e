#pragma once

#include "../ThreadCpuClock.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

struct AVFormatContext;

namespace ovra {
class UserFile;
}

namespace ovra::md {

// An FFmpeg demuxer over a file that we opened ourselves. FFmpeg reads only
// through the open file we hand it; it never opens a path (nor any other file a
// playlist-like format might name). The file must outlive the input.
class MediaInput {
public:
    // A damaged or zero-filled file can send a demuxer scanning through the whole
    // file: every input stops at a budget of bytes read and of time spent. The
    // time is the reading thread's processor time from the opening on, so a busy
    // machine that keeps the thread waiting spends none of it.
    struct Budget {
        std::int64_t bytes = 8 * 1024 * 1024;
        std::chrono::milliseconds time{250};
        CpuTimeSource clock = ThreadCpuClock::now;
    };

    // Nothing when the file is empty or FFmpeg finds no format it knows in it;
    // `overTime`, when given, then says whether the time budget ran out first.
    // `probeSize` bounds the bytes read to find the streams.
    static std::unique_ptr<MediaInput> open(const UserFile& file, const QString& fileName,
                                            std::int64_t probeSize, Budget budget,
                                            bool* overTime = nullptr);
    ~MediaInput();
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    AVFormatContext* format() const { return m_format; }
    // The time budget ran out, and FFmpeg stopped what it was reading: what it
    // found by then is not all the file says.
    bool isOverTime() const;

private:
    struct Cursor;
    MediaInput() = default;
    std::unique_ptr<Cursor> m_cursor;
    void* m_io = nullptr; // AVIOContext
    AVFormatContext* m_format = nullptr;
};

// Quiets FFmpeg's logging once per process: a damaged file is an answer, not news.
void silenceFFmpeg();

} // namespace ovra::md

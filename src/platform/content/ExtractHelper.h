#pragma once

#include "TextExtractor.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <sys/types.h>

namespace ovra::content {

// One `ovra-extract` helper process, started when first asked and restarted
// after it crashed or was killed. A file whose extraction crashes the helper or
// outlasts the deadline comes back Rejected, so the index records it and does not
// try it again until it changes. Used by one thread at a time.
class ExtractHelper {
public:
    struct Options {
        QString program; // the `ovra-extract` executable
        ExtractLimits limits;
        std::int64_t memoryLimit = 1024LL * 1024 * 1024; // address space of the helper
        std::chrono::milliseconds deadline{0};           // per file; 0: the time budget and a grace
    };

    explicit ExtractHelper(Options options);
    ~ExtractHelper(); // kills the helper: nothing waits for a file in progress
    ExtractHelper(const ExtractHelper&) = delete;
    ExtractHelper& operator=(const ExtractHelper&) = delete;

    // Reads `path` in the helper. When `cancelled` turns true the helper is
    // killed at once and the file comes back Unreadable (not recorded, so read
    // again by the next update).
    ExtractedText extract(const QString& path, TextFormat format,
                          const std::atomic_bool* cancelled = nullptr);

    // Helpers started after the first, because one crashed or overran.
    int restarts() const { return m_restarts; }

    // The helper beside the running program, or the one $OVRA_EXTRACT names;
    // empty when there is none.
    static QString findProgram();

private:
    // Starts a helper and waits until it is ready.
    bool start(const std::atomic_bool* cancelled);
    void stop();

    Options m_options;
    pid_t m_pid = -1;
    int m_toHelper = -1;
    int m_fromHelper = -1;
    int m_starts = 0;
    int m_restarts = 0;
};

} // namespace ovra::content

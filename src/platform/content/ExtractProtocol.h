#pragma once

#include <cstddef>
#include <cstdint>

// The messages between the content index and its `ovra-extract` helpers, over the
// helper's standard input and output. Both ends are built together, so integers
// travel in the machine's own byte order.
//
// A helper says it is ready with one byte, kReady, before the first request.
// Request:  u32 size, then `size` bytes: u8 TextFormat, the path in UTF-8.
// Response: u8 ExtractedText::Outcome, u8 truncated (0 or 1), u32 size, then
//           `size` bytes of UTF-8 text.
namespace ovra::content::protocol {

constexpr char kReady = 'R';
constexpr std::uint32_t kMaxRequestBytes = 64 * 1024;
constexpr std::size_t kResponseHeaderBytes = 6;

// The options a helper takes, each followed by a number.
constexpr const char* kMemoryLimit = "--memory-limit";
constexpr const char* kMaxTextBytes = "--max-text";
constexpr const char* kMaxMarkupBytes = "--max-markup";
constexpr const char* kMaxDocumentBytes = "--max-document";
constexpr const char* kMaxArchiveEntries = "--max-entries";
constexpr const char* kMaxInflatedBytes = "--max-inflated";
constexpr const char* kMaxCompressionRatio = "--max-ratio";
constexpr const char* kTimeBudgetMs = "--time-budget-ms";
constexpr const char* kDeadlineSeconds = "--deadline-seconds";

// Test-only: a helper started with one of these set to a file name crashes on, or
// never returns from, any file of that name, so tests can feed it hostile input.
constexpr const char* kCrashOnEnv = "OVRA_EXTRACT_TEST_CRASH_ON";
constexpr const char* kSpinOnEnv = "OVRA_EXTRACT_TEST_SPIN_ON";

} // namespace ovra::content::protocol

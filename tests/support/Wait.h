#pragma once

#include <chrono>
#include <functional>

namespace ovra::test {

// How long a test waits for something to happen before it calls the program
// hung. The suite runs on busy machines with two cores, where a step that takes
// a millisecond alone can take many seconds; a wait ends the moment its
// condition holds, so a passing test never pays for this limit.
inline constexpr std::chrono::milliseconds kPatience{120000};

// Runs the event loop (when there is an application) until `holds` answers
// true; false only when the patience ran out first.
bool eventually(const std::function<bool()>& holds, std::chrono::milliseconds patience = kPatience);

} // namespace ovra::test

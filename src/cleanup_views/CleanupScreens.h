#pragma once

namespace ovra {

struct AppContext;

// The most download sources the home view shows; "See all" leads to the rest.
constexpr int kHomeSourcesLimit = 8;

// Sets the makers of the cleanup hub and review, the sources hub and the
// source screen, which the detail area calls, and of the home view's cleanup
// and download-source sections.
void installCleanupScreens(AppContext& context);

} // namespace ovra

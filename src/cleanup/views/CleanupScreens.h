#pragma once

namespace ovra {

struct AppContext;

// Sets the makers of the cleanup hub and review, the sources hub and the
// source screen, which the detail area calls.
void installCleanupScreens(AppContext& context);

} // namespace ovra

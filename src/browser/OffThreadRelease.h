#pragma once

#include "platform/Background.h"

#include <memory>
#include <utility>

namespace ovra {

// Lets go of a large value on a pool thread: freeing a list of a hundred
// thousand files would stall the GUI thread. Whoever may hold the last copy
// of a browser's list (the browser, a tile) hands it over here.
template <typename T> void releaseOffThread(T value)
{
    auto holder = std::make_shared<T>(std::move(value));
    (void)background::run(background::Pool::files,
                          [holder = std::move(holder)]() mutable { holder.reset(); });
}

} // namespace ovra

#pragma once

#include <QtGlobal>

#include <chrono>

namespace ondril {

// Nanoseconds on a clock that never jumps, for timing replies.
inline qint64 steadyNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace ondril

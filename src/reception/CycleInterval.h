#pragma once

#include <QString>

namespace ondril {

constexpr int shortestCycleMs = 100;
constexpr int longestCycleMs = 60000;
// How long a command waits for its reply before it counts as missed.
constexpr int replyTimeoutMs = 2000;

struct CycleInterval {
    int ms = shortestCycleMs;
    // The text the interval box must show instead, empty when it keeps its own.
    QString clampedText;
};

// The cycle interval typed in the interval box. The leading number counts
// ("250ms" is 250); a text with none counts as 0. Values below 100 or above
// 60000 are clamped and the box is rewritten; a fraction rounds half to even.
CycleInterval cycleInterval(const QString &text);

} // namespace ondril

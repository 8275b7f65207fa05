#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/winsat-standin/StandIn.h"

namespace tallyhive::standin {

namespace {

constexpr double kLowest = 1.0;
constexpr double kHighest = 7.9;

// `value` at `low` gives 1.0 and at `high` 7.9, logarithmically in between: each doubling of speed
// adds the same step, as a user expects of a score.
double LogScale(double value, double low, double high) {
    if (!(value > 0) || !std::isfinite(value)) return kLowest;
    const double position = std::log(value / low) / std::log(high / low);
    const double score = kLowest + position * (kHighest - kLowest);
    // Truncated, never rounded up: a score must not claim more than was measured.
    const double tenths = std::floor(std::clamp(score, kLowest, kHighest) * 10.0 + 1e-9);
    return tenths / 10.0;
}

}  // namespace

Scores ScoresFrom(const Measurements& m) {
    Scores s;
    // Anchors: 1.0 for hardware of the early Windows 7 days at its slowest, 7.9 for a fast desktop
    // of today; the same run on the same machine always gives the same score.
    s.cpu = LogScale(m.processorMBps, 50.0, 40000.0);
    s.memory = LogScale(m.memoryGBps, 0.5, 40.0);
    const double disk =
        (m.diskWriteMBps > 0 && m.diskReadMBps > 0) ? std::sqrt(m.diskWriteMBps * m.diskReadMBps) : 0.0;
    s.disk = LogScale(disk, 5.0, 2000.0);
    s.graphics = s.memory;
    s.gaming = s.memory;
    s.system = std::min({s.cpu, s.memory, s.graphics, s.gaming, s.disk});
    return s;
}

std::string FormatScore(double score) {
    // Integer arithmetic, so no locale can turn the point into a comma.
    const long tenths = std::lround(score * 10.0);
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%ld", tenths / 10, tenths % 10);
    return text;
}

}  // namespace tallyhive::standin

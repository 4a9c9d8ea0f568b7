#include "data/SmpTimeSpan.h"

#include <algorithm>
#include <cmath>

long long SmpTimeSpan::secondsToSample(double seconds, long long count, long long rate, long long trigger)
{
    const double x = (std::isnan(seconds) ? 0.0 : seconds) * double(std::max(rate, 1LL));
    const double nearest = std::nearbyint(x);
    // An infinite x leaves NaN here, fails the test and stays infinite.
    const double offset = std::fabs(x - nearest) <= 1e-9 * std::max(1.0, std::fabs(x)) ? nearest : std::trunc(x);
    const double at = offset + double(trigger);
    if (!(at > 0))
        return 0;
    if (at >= double(count))
        return std::max(count, 0LL);
    return (long long)at;
}

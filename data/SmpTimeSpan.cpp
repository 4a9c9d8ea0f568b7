#include "data/SmpTimeSpan.h"

#include <algorithm>
#include <cmath>

long long SmpTimeSpan::secondsToSample(double seconds, long long count, long long rate, long long trigger)
{
    const double x = (std::isnan(seconds) ? 0.0 : seconds) * double(std::max(rate, 1LL));
    const double nearest = std::nearbyint(x);
    // An infinite x leaves NaN here, fails the test and stays infinite.
    // The window covers the rounding of a decimal time and of the product
    // (a few units of 1e-16) with room to spare, and stays far below a
    // sample even billions of samples from the trigger.
    const double offset = std::fabs(x - nearest) <= 1e-12 * std::max(1.0, std::fabs(x)) ? nearest : std::trunc(x);
    const double at = offset + double(trigger);
    if (!(at > 0))
        return 0;
    if (at >= double(count))
        return std::max(count, 0LL);
    return (long long)at;
}

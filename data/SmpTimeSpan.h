#ifndef SMPTIMESPAN_H
#define SMPTIMESPAN_H
// Seconds from the trigger as a sample position: the one rule for every
// place that takes a time from the user (the export dialog, the
// remote-control server's --time-span), so that a time picks the same
// sample everywhere.

namespace SmpTimeSpan {

// rate × seconds samples from the trigger: a product within 1e-12
// (relative) of a whole number is that number, as decimal seconds seldom hit a sample
// exactly in binary (0.000249 × 1e6 is 248.99999999999997); any other is
// cut towards zero. Then trigger is added and the sum limited to
// [0, count] while still a double, so any seconds work (±1e30, infinities;
// NaN counts as 0). A rate below 1 counts as 1, as in the exports' times.
long long secondsToSample(double seconds, long long count, long long rate, long long trigger);

} // namespace SmpTimeSpan

#endif

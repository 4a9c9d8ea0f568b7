#ifndef SMPTIMEEXPORT_H
#define SMPTIMEEXPORT_H
// Sample positions as exact decimal seconds relative to the trigger, with
// one fixed number of fraction digits for the whole export: as many as the
// sample period needs, at most 12 (picoseconds).

class SmpTimeExport
{
public:
    // Longest text toString writes: sign, 13 integer digits, point, 12 digits.
    static constexpr int MaxChars = 32;

    // rate in Hz (a rate below 1 counts as 1); origin is the trigger position.
    SmpTimeExport(long long rate, long long origin);

    // Writes the time of sample t to out (no terminator; room for MaxChars)
    // and returns the number of characters written. Any order of t works;
    // ascending t (an export) mostly needs no division by the rate. One
    // object per thread.
    int toString(long long t, char* out) const;

    int fractionDigits() const { return digits; }

private:
    long long rate;
    long long origin;
    // 10^digits / rate == scale / reducedRate, both divided by the rate's
    // trailing decimal zeros so that the product stays small.
    long long scale;
    long long reducedRate;
    int digits;
    // The previous call's sample as whole seconds and remaining samples of
    // |t - origin|, and its side of the origin.
    mutable long long lastT = -1;
    mutable unsigned long long lastWhole = 0;
    mutable unsigned long long lastRem = 0;
    mutable bool lastNegative = false;
};

#endif

#include "data/SmpTimeExport.h"

#include <climits>
#include <cstring>

SmpTimeExport::SmpTimeExport(long long rate, long long origin)
    : rate(rate < 1 ? 1 : rate), origin(origin), scale(1000000000000LL), reducedRate(1), digits(12)
{
    // Drop a fraction digit while the sample period at the current scale
    // still ends in a zero: 1 MHz keeps 6 digits, 200 MHz 9, 1 Hz none.
    while (digits > 0 && (scale / this->rate) % 10 == 0) {
        scale /= 10;
        --digits;
    }
    // scale / rate == (scale / 10^k) / (rate / 10^k): the reduced pair keeps
    // the product in toString within 64 bits for the usual rates.
    long long r = this->rate;
    while (r % 10 == 0 && scale % 10 == 0) {
        r /= 10;
        scale /= 10;
    }
    reducedRate = r;
}

namespace {

const char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes v in decimal right-aligned ending before end, at least minDigits
// digits (zero-padded), two digits a step. Returns the first character.
inline char* putDigits(char* end, unsigned long long v, int minDigits)
{
    char* p = end;
    while (v >= 100 || minDigits > 2) {
        const unsigned k = unsigned(v % 100);
        v /= 100;
        p -= 2;
        p[0] = kPairs[2 * k];
        p[1] = kPairs[2 * k + 1];
        minDigits -= 2;
    }
    if (v >= 10 || minDigits == 2) {
        p -= 2;
        p[0] = kPairs[2 * v];
        p[1] = kPairs[2 * v + 1];
    } else if (v > 0 || minDigits == 1) {
        *--p = char('0' + v);
    }
    return p;
}

} // namespace

int SmpTimeExport::toString(long long t, char* out) const
{
    const bool negative = t < origin;
    const unsigned long long r = (unsigned long long)rate;
    unsigned long long whole, rem;
    const unsigned long long step = (unsigned long long)(t - lastT);
    if (lastT >= 0 && t >= lastT && negative == lastNegative && (!negative || lastRem >= step)) {
        // A step forward on the same side: no division unless a whole
        // second is crossed.
        whole = lastWhole;
        rem = negative ? lastRem - step : lastRem + step;
        if (rem >= r) {
            whole += rem / r;
            rem %= r;
        }
    } else {
        // |t - origin| as unsigned: positions are 40-bit, so no overflow here.
        const unsigned long long d = negative ? (unsigned long long)(origin - t) : (unsigned long long)(t - origin);
        whole = d / r;
        rem = d % r;
    }
    lastT = t;
    lastWhole = whole;
    lastRem = rem;
    lastNegative = negative;
    // The fraction is rem x 10^digits / rate, that is rem x scale /
    // reducedRate; odd rates need more than 64 bits for the product.
    const unsigned long long rr = (unsigned long long)reducedRate;
    const unsigned long long sc = (unsigned long long)scale;
    unsigned long long frac;
    if (rr == 1)
        frac = rem * sc;   // rem < rate = 10^k: fits
    else if (rem <= (unsigned long long)LLONG_MAX / sc)
        frac = rem * sc / rr;
    else
        frac = (unsigned long long)((unsigned __int128)rem * sc / rr);

    // Built right-aligned in the first half, copied out as one fixed-size
    // block (out has room for MaxChars).
    char buf[2 * MaxChars];
    char* end = buf + MaxChars;
    char* p = digits > 0 ? putDigits(end, frac, digits) : end;
    *--p = '.';
    p = putDigits(p, whole, 1);
    if (negative)
        *--p = '-';
    std::memcpy(out, p, MaxChars);
    return int(end - p);
}

#include "data/SmpTimeExport.h"

#include <climits>

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

// Writes v in decimal right-aligned ending before end; at least minDigits
// digits (zero-padded). Returns the first character written.
inline char* putDigits(char* end, unsigned long long v, int minDigits)
{
    char* p = end;
    while (v != 0 || minDigits > 0) {
        *--p = char('0' + v % 10);
        v /= 10;
        --minDigits;
    }
    return p;
}

} // namespace

int SmpTimeExport::toString(long long t, char* out) const
{
    const bool negative = t < origin;
    // |t - origin| as unsigned: positions are 40-bit, so no overflow here.
    const unsigned long long d = negative ? (unsigned long long)(origin - t) : (unsigned long long)(t - origin);
    const unsigned long long r = (unsigned long long)rate;
    const unsigned long long whole = d / r;
    const unsigned long long rem = d % r;
    // The fraction is rem x 10^digits / rate, that is rem x scale /
    // reducedRate; odd rates need more than 64 bits for the product.
    const unsigned long long rr = (unsigned long long)reducedRate;
    unsigned long long frac;
    if (rem <= (unsigned long long)LLONG_MAX / (unsigned long long)scale)
        frac = rem * (unsigned long long)scale / rr;
    else
        frac = (unsigned long long)((unsigned __int128)rem * (unsigned long long)scale / rr);

    char buf[MaxChars];
    char* end = buf + MaxChars;
    char* p = putDigits(end, frac, digits);
    *--p = '.';
    p = putDigits(p, whole, 1);
    if (negative)
        *--p = '-';
    const int n = int(end - p);
    for (int i = 0; i < n; ++i)
        out[i] = p[i];
    return n;
}

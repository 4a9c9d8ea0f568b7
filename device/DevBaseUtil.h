#pragma once

// Small parsing and formatting helpers shared by the device base's sources.

#include <QString>

#include <cmath>

namespace DevBaseUtil {
inline constexpr long long K = 1000;
inline constexpr long long M = 1000 * K;
inline constexpr long long G = 1000 * M;
inline const char* const kServiceCode = "52m61q70w83";
inline constexpr double kVthDefault = 1.65;
inline constexpr double kVthLimit = 4.0;

// Parses stored text as an integer; false for empty or malformed text.
// Values are limited to +-10^15 so that scaling kHz or k-samples to units
// cannot overflow.
inline bool storedLongLong(const QString& s, long long* out)
{
    bool ok = false;
    const long long v = s.trimmed().toLongLong(&ok);
    if (ok)
        *out = qBound(-1000000000000000LL, v, 1000000000000000LL);
    return ok;
}

inline double storedVth(const QString& s)
{
    bool ok = false;
    const double v = s.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < -kVthLimit || v > kVthLimit)
        return kVthDefault;
    return v;
}

inline QString scaledText(long long v, const char* g, const char* m, const char* k, const char* unit)
{
    if (v >= G)
        return QString::number(double(v) / G, 'g', 6) + g;
    if (v >= M)
        return QString::number(double(v) / M, 'g', 6) + m;
    if (v >= K)
        return QString::number(double(v) / K, 'g', 6) + k;
    return QString::number(v) + unit;
}

// Rounds half up as the PWM counters expect: truncate, add one from .5 on.
inline double roundHalfUp(double v)
{
    const double t = std::floor(v);
    return (v - t >= 0.5) ? t + 1 : t;
}
} // namespace DevBaseUtil

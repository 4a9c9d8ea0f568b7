#ifndef DEVSAMPLEPRIV_H
#define DEVSAMPLEPRIV_H
// What the buffer-mode and the stream-mode acquisition sources share: the
// progress percentages they report.

namespace DevSamplePriv {
// Internal linkage: each source inlines its own copy.
namespace {

// Percent of a 64-bit part of a 64-bit whole, 0..100; 0 for an empty whole.
inline int percentOf(long long part, long long whole)
{
    if (whole <= 0 || part <= 0)
        return 0;
    if (part >= whole)
        return 100;
    return int((__int128)part * 100 / whole);
}

} // namespace
} // namespace DevSamplePriv

#endif

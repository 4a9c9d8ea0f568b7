#ifndef CAPTUREKIT_H
#define CAPTUREKIT_H
// Small logic captures for the capture-file and export tests: channels
// given by their start level and edges, filled into a completed store, and
// the time text of a sample.

#include <QtTest>

#include "data/SmpData.h"
#include "data/SmpTimeExport.h"

struct Chn {
    int chn;
    int level;
    QVector<long long> edges;
};

// A completed store with the given channels.
inline void fill(SmpData& s, long long depth, long long rate, long long trg, const QVector<Chn>& chns)
{
    QVector<bool> ena(s.chnNum, false);
    for (const Chn& c : chns)
        ena[c.chn] = true;
    QVERIFY(s.dataConvertStart(0, rate, ena));
    for (const Chn& c : chns) {
        s.setInitLevel(c.chn, c.level);
        for (long long e : c.edges)
            QVERIFY(s.appendEdge(c.chn, e));
    }
    s.smpDepth = depth;
    s.trgPosition = trg;
    QVERIFY(s.dataConvertComplete(depth));
}

// The reference capture of the file tests: 16 channels, 50 samples at 1 kHz,
// trigger 15.
inline void fillReference(SmpData& s)
{
    fill(s, 50, 1000, 15, {{1, 0, {5, 12, 20, 29, 35}}, {3, 1, {10, 40}}, {6, 0, {2}}});
}

inline QString timeText(long long rate, long long origin, long long t)
{
    char buf[SmpTimeExport::MaxChars];
    const int n = SmpTimeExport(rate, origin).toString(t, buf);
    return QString::fromLatin1(buf, n);
}

#endif

#ifndef SMPKIT_H
#define SMPKIT_H
// Logic channel tables for the capture store tests: filled from a list of
// edges, read back entry by entry, and random edge lists.

#include <QtTest>

#include <random>

#include "data/SmpData.h"

using Entries = QVector<long long>;

// Fills channel chn of a fresh capture with the given edges (ascending, below
// depth) the way a converter does, and completes it.
inline void fillChannel(SmpData& s, int chn, const Entries& edges, long long depth, int initLevel)
{
    QVector<bool> ena(s.chnNum, false);
    ena[chn] = true;
    QVERIFY(s.dataConvertStart(0, 1000000, ena));
    s.setInitLevel(chn, initLevel);
    for (long long e : edges)
        QVERIFY(s.appendEdge(chn, e));
    s.smpDepth = depth;
    QVERIFY(s.dataConvertComplete(depth));
}

// All entries of a table, read directly (independent of the query code).
inline Entries entriesOf(const DigitalChnData* d)
{
    Entries v;
    for (int g = 0; g < d->groupNum; ++g)
        for (int b = 0; b < d->group[g]->blockNum; ++b)
            for (int i = 0; i < d->group[g]->block[b]->posNum; ++i)
                v.append(smpEntryPos(d->group[g]->block[b], i));
    return v;
}

inline Entries randomEdges(std::mt19937_64& rng, int count, long long maxGap, long long* depth)
{
    Entries v;
    long long pos = rng() % 3;   // sometimes an edge at sample 0
    for (int i = 0; i < count; ++i) {
        v.append(pos);
        pos += 1 + (long long)(rng() % maxGap);
    }
    *depth = pos + (long long)(rng() % 3);
    return v;
}

#endif

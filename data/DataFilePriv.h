#ifndef DATAFILEPRIV_H
#define DATAFILEPRIV_H
// What the capture-file and the export sources of DataFile share: the chunk
// size of their file operations and the forward walk over a channel table.

#include "data/SmpTables.h"

namespace DataFilePriv {
// Internal linkage: each source inlines its own copy.
namespace {

constexpr int kChunkBytes = 204800;   // file reads and writes

// Forward walk over the entries of one channel table from a located cursor.
struct EntryWalk {
    const DigitalChnData* d = nullptr;
    const DigitalDataBlock* blk = nullptr;
    int g = 0, b = 0, i = 0;

    EntryWalk() = default;
    EntryWalk(const DigitalChnData* table, const DigitalDataSubs& s)
        : d(table), blk(table->group[s.group]->block[s.block]), g(s.group), b(s.block), i(s.index) {}

    long long pos() const { return smpEntryPos(blk, i); }
    // Steps to the next entry; false past the table's last entry.
    bool next()
    {
        if (++i < blk->posNum)
            return true;
        i = 0;
        if (++b >= d->group[g]->blockNum) {
            b = 0;
            if (++g >= d->groupNum) {
                g = d->groupNum - 1;
                return false;
            }
        }
        blk = d->group[g]->block[b];
        return true;
    }
};

} // namespace
} // namespace DataFilePriv

#endif

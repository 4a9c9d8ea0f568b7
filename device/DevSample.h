#ifndef DEVSAMPLE_H
#define DEVSAMPLE_H
// Acquisition threads of a connected analyzer. Buffer mode (SmpCtrlNormal):
// the device captures into its own memory, the thread follows the status
// phases and then reads the run-length records back. Stream mode
// (SmpCtrlStream with SmpCnvtStream): the device streams samples while the
// transfer callback searches the trigger in software and bounds the
// pre-trigger data; a second thread converts the kept buffers.

#include <QSemaphore>
#include <QThread>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <vector>

#include "config/Types.h"
#include "device/DevSupport.h"

class DevBase;

// Unbounded single-producer single-consumer queue of transfer buffers
// (malloc'ed, owned by the queue until popped). push() and splice() belong to
// the producer, pop() to the consumer; clear() only while neither runs.
class SmpBufQueue
{
public:
    SmpBufQueue();
    ~SmpBufQueue();
    SmpBufQueue(const SmpBufQueue&) = delete;
    SmpBufQueue& operator=(const SmpBufQueue&) = delete;

    // False when memory ran out (the buffer is then still the caller's).
    bool push(unsigned char* buf, int len);
    bool pop(unsigned char** buf, int* len);
    // Length of the oldest buffer, -1 when empty (consumer side, or a queue
    // used by one thread only).
    int headLength() const;
    // Moves every buffer of `other` (a queue used by this producer thread
    // only) to the end of this one.
    void splice(SmpBufQueue& other);
    void clear();

private:
    struct Node {
        unsigned char* buf;
        int len;
        std::atomic<Node*> next;
    };
    Node* head;   // consumer: stub node, its successor is the oldest buffer
    Node* tail;   // producer: newest node
};

class SmpCtrlNormal : public QThread, public InterfaceDevCallback
{
    Q_OBJECT
public:
    explicit SmpCtrlNormal(DevBase* dev);

    // Follows the status phases until the capture is done; 0, or the error
    // of a status read. A stop request returns 0 at once.
    int monitorSmpProgress();
    void devCbAutoBulkRead(unsigned char* buffer, int length) override;

    // Where the records of a finished capture lie: `records` run-length
    // records ending just before `endAddress` in a ring memory of `memSize`
    // bytes. 0 with the window (length 0: less than one frame, no data), or
    // 3 when the device's numbers cannot describe its memory.
    static int memWindow(long long records, long long endAddress, long long memSize, int chnNum,
                         long long* start, long long* length);
    // The same for the converter words of an analog capture: `words` 16-bit
    // words of nEna channels in turn ending before endAddress in a ring of
    // memBytes; the read stops at OSC_MAX_SAMPLES per channel.
    static int oscWindow(long long words, long long endAddress, long long memBytes, int nEna, long long* start,
                         long long* length);

    long long totalBytes = 0;
    long long recvBytes = 0;
    long long convertedBytes = 0;
    bool convertOk = true;

protected:
    void run() override;

private:
    // Sleeps up to ms, waking early for a stop request.
    void pause(int ms);
    DevBase* dev;
};

class SmpCnvtStream;

class SmpCtrlStream : public QThread, public InterfaceDevCallback
{
    Q_OBJECT
public:
    explicit SmpCtrlStream(DevBase* dev);
    ~SmpCtrlStream() override;

    void devCbPostSmpStart() override;
    void devCbAutoBulkRead(unsigned char* buffer, int length) override;

    // Sizes the per-channel trigger state for a model of n channels.
    void setChnNum(int n);
    // Trigger set-up of a capture: the type list of the enabled channels in
    // channel order (word format) or the four channel masks (8-channel
    // format); then the search starts afresh. False when no channel is
    // enabled.
    bool setupTrigger(const QVector<TrgType>& chnTrg, const QVector<bool>& chnEna, bool bytes8);
    // Starts the search of a new cycle (the next buffer is the first).
    void resetTrgSearch() { trgFirstBuf = true; }
    // Sample index (within the rows completed in this buffer) of the first
    // row where every enabled channel meets its trigger, or -1. firstChn is
    // the enabled channel of the buffer's first word.
    int getTrgIndex(const unsigned char* buf, int len, int firstChn);
    // 8-channel format: byte index of the first match, or -1.
    int getTrgIndex(const unsigned char* buf, int len);

    // Samples kept so far: whole rows received minus the rows dropped.
    long long getSampledDepth() const;
    // Drops the oldest pre-trigger buffer.
    void removeQueueHead();

    // Start of a capture cycle for the callback: counters, lists and search.
    void resetCycle();

    int chnEnaNum = 0;           // enabled channels (8 in the 8-channel format)
    bool bytes8 = false;
    long long expectDepth = 0;
    long long preTrgDepth = 0;
    long long received = 0;      // bytes received in this cycle
    long long dropped = 0;       // bytes dropped from the front (whole rows)
    int headOffset = 0;          // first kept byte in the oldest kept buffer
    bool forcedTrg = false;
    bool firstBuf = true;

    // Hand-over to the converter.
    SmpBufQueue queue;
    QSemaphore semCnvtStart;
    QSemaphore semDataAvail;
    QSemaphore semCnvtDone;
    std::atomic<bool> cnvtQuit{false};

protected:
    void run() override;

private:
    friend class SmpCnvtStream;
    int rowBytes() const { return bytes8 ? 16 : 2 * chnEnaNum; }
    // Moves the pre-trigger buffers to the converter's queue and lets it
    // take them (plus `extra` wake-ups).
    void releasePending(int extra);
    // Queues a transfer buffer; when memory ran out it is freed and the
    // capture ends with the out-of-memory error. False then.
    bool queueOrFail(SmpBufQueue& q, unsigned char* buf, int len);
    // Drops whole rows (and buffers left empty) from the front.
    void dropFront(long long bytes);
    void normaliseHead();
    int percent(long long depth) const;

    DevBase* dev;

    // Pre-trigger buffers: used by the callback's thread only.
    SmpBufQueue pending;
    int pendingCount = 0;
    long long pendingStart = 0;  // stream byte index of the oldest pending buffer
    bool failed = false;         // a buffer could not be queued

    // Software trigger.
    bool trgFirstBuf = true;
    std::vector<uint8_t> trgType;    // per enabled channel
    std::vector<uint8_t> trgPrev;    // previous sample per enabled channel
    std::vector<uint8_t> trgKnown;
    std::vector<uint16_t> trgStatus; // samples of the current row meeting the trigger
    uint8_t mskEdge = 0, mskFalling = 0, mskLevel = 0, mskHigh = 0;
    uint8_t trgPrev8 = 0;
};

class SmpCnvtStream : public QThread
{
    Q_OBJECT
public:
    SmpCnvtStream(DevBase* dev, SmpCtrlStream* ctl);

protected:
    void run() override;

private:
    DevBase* dev;
    SmpCtrlStream* ctl;
};

#endif

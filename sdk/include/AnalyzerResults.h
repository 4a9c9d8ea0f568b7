#ifndef ANALYZERRESULTS_H
#define ANALYZERRESULTS_H
// Decoded frames, packets and markers of one analyzer, plus the text and
// export hooks each plug-in implements.
//
// Threads: one decoder appends (AddFrame, AddMarker, CommitResults,
// CommitPacketAndStartNewPacket) while any number of other threads read.
// Readers see only what has been committed: storage blocks never move and the
// committed counts are published atomically. Frames must be added in
// ascending start order and markers of one channel in ascending sample
// order (the cursor only moves forward); range queries rely on it.
// The owner must not delete a results object while another thread still
// reads it (the host's modification handshake and export cancel see to it).
//
// Result strings and tabular text are kept per calling thread: the GUI's
// bubbles and the result list's rows may be generated at the same time.
//
// AddFrame and AddMarker are every decoder's innermost calls, so their
// common case is inline: a store into the current chunk of the result
// memory and a pointer increment. The library takes over only at the end of
// a chunk (or of its prefaulted part), for a marker on another channel than
// the last one, and at commits.

#include <cstddef>
#include <cstring>

#include "AnalyzerTypes.h"

// Library-private: the writer's place in the current chunk of one result
// store. Appends go straight to `next` until it reaches `stop`.
template <typename T>
struct ResultAppender {
    T* next = nullptr;
    T* stop = nullptr;
    T* begin = nullptr; // the current chunk
    U64 base = 0;       // index of its first element
};

class ANALYZER_EXPORT AnalyzerResults {
public:
    // The twelve marker shapes the wave rows draw.
    enum MarkerType : int {
        Dot = 0, ErrorDot = 1, Square = 2, ErrorSquare = 3, UpArrow = 4, DownArrow = 5,
        X = 6, ErrorX = 7, Start = 8, Stop = 9, One = 10, Zero = 11
    };

    AnalyzerResults();
    virtual ~AnalyzerResults();

    // Plug-in hooks, in this order.
    virtual void GenerateBubbleText(U64 frame_index, Channel& channel, DisplayBase display_base) = 0;
    virtual void GenerateExportFile(const char* file, DisplayBase display_base, U32 export_type_user_id) = 0;
    virtual void GenerateFrameTabularText(U64 frame_index, DisplayBase display_base) = 0;
    virtual void GeneratePacketTabularText(U64 packet_id, DisplayBase display_base) = 0;
    virtual void GenerateTransactionTabularText(U64 transaction_id, DisplayBase display_base) = 0;

    // --- decoder side (decode thread) ---
    // Appends a pending frame; returns its index (visible after CommitResults).
    U64 AddFrame(const Frame& frame)
    {
        // Field by field, and the frame's address never passed on: the
        // caller's frame then stays in registers, and no wide load waits
        // for the narrow stores that just built it.
        const U64 typeAndFlags = U64(frame.mType) | U64(frame.mFlags) << 8; // padding zeroed
        ResultAppender<Frame>& out = *mFrameOut;
        if (__builtin_expect(out.next == out.stop, 0))
            return addFrameSlow(frame.mStartingSampleInclusive, frame.mEndingSampleInclusive, frame.mData1,
                                frame.mData2, typeAndFlags);
        Frame* slot = out.next++;
        storeFrame(slot, frame.mStartingSampleInclusive, frame.mEndingSampleInclusive, frame.mData1, frame.mData2,
                   typeAndFlags);
        return out.base + U64(slot - out.begin);
    }
    // Appends a pending marker on a channel. At most 32 channels carry
    // markers; markers on further channels are dropped.
    void AddMarker(U64 sample_number, MarkerType marker_type, const Channel& channel)
    {
        ResultAppender<U64>& out = *mMarkerOut;
        if (__builtin_expect(channel.mChannelIndex != mMarkerOutChannel || out.next == out.stop, 0))
            addMarkerSlow(sample_number, marker_type, channel);
        else
            *out.next++ = sample_number << 8 | (U64(marker_type) & 0xFF);
    }
    // Publishes every pending frame and marker.
    void CommitResults();
    // Commits, then closes the frames added since the previous packet as one
    // packet and returns its id. With no such frame no packet is recorded
    // and INVALID_RESULT_INDEX is returned.
    U64 CommitPacketAndStartNewPacket();

    // --- readers (any thread) ---
    U64 GetNumFrames() const;
    // A copy of a committed frame; an index past the committed ones gives an
    // all-zero frame.
    Frame GetFrame(U64 frame_index) const;
    // Frames overlapping [start, end] (inclusive): true and the first and
    // last such index, false when none overlaps or start > end. O(log n).
    bool GetFramesInRange(S64 start_sample, S64 end_sample, U64* first_frame_index, U64* last_frame_index) const;

    U64 GetNumPackets() const;
    // First and last frame of a committed packet; false (and both indices
    // INVALID_RESULT_INDEX) for an unknown packet id.
    bool GetFramesContainedInPacket(U64 packet_id, U64* first_frame_index, U64* last_frame_index) const;

    U64 GetNumMarkers(const Channel& channel) const;
    // Type and sample of a committed marker; false for an unknown index.
    bool GetMarker(const Channel& channel, U64 marker_index, MarkerType* marker_type, U64* sample_number) const;
    // Markers with start <= sample <= end: true and first/last index. O(log n).
    bool GetMarkersInRange(const Channel& channel, S64 start_sample, S64 end_sample, U64* first_marker_index, U64* last_marker_index) const;

    // Bubbles of this analyzer are drawn on the channels named here
    // (called from SetupResults, before the run).
    void AddChannelBubblesWillAppearOn(const Channel& channel);
    bool DoBubblesAppearOnChannel(const Channel& channel) const;
    // True once a marker has been committed on the channel.
    bool DoMarkersAppearOnChannel(const Channel& channel) const;

    // --- texts (per calling thread) ---
    // Alternatives for one bubble, shortest first; the parts are joined.
    void ClearResultStrings();
    void AddResultString(const char* str1, const char* str2 = nullptr, const char* str3 = nullptr,
                         const char* str4 = nullptr, const char* str5 = nullptr, const char* str6 = nullptr);
    // The texts of this object made last on this thread; valid until the
    // next text call on this thread.
    void GetResultStrings(const char* const** result_string_array, U32* num_strings) const;

    void ClearTabularText();
    void AddTabularText(const char* str1, const char* str2 = nullptr, const char* str3 = nullptr,
                        const char* str4 = nullptr, const char* str5 = nullptr, const char* str6 = nullptr);
    // UTF-8 text made last by this object on this thread ("" when none).
    const char* GetTabularTextString() const;

    // --- export ---
    // Called by the host before it runs GenerateExportFile on its export
    // thread: progress 0, no cancel, no failure. The arguments are not kept.
    void StartExportThread(const char* file, DisplayBase display_base, U32 export_type_user_id);
    // For GenerateExportFile: stores completed/total as the progress (1 when
    // total is 0) and returns true when the export should stop.
    bool UpdateExportProgressAndCheckForCancel(U64 completed_frames, U64 total_frames);
    double GetProgress() const; // 0 to 1
    void CancelExport();
    // For GenerateExportFile: the file could not be written. The host reads
    // ExportFailed() after GenerateExportFile has returned.
    void ReportExportFailure();
    bool ExportFailed() const;

private:
    friend class Analyzer;
    U64 activityMark() const; // grows with every frame, marker and packet added
    AnalyzerResults(const AnalyzerResults&) = delete;
    AnalyzerResults& operator=(const AnalyzerResults&) = delete;
    static void storeFrame(Frame* slot, S64 start, S64 end, U64 data1, U64 data2, U64 typeAndFlags)
    {
        slot->mStartingSampleInclusive = start;
        slot->mEndingSampleInclusive = end;
        slot->mData1 = data1;
        slot->mData2 = data2;
        static_assert(sizeof(Frame) == offsetof(Frame, mType) + 8 && offsetof(Frame, mFlags) == offsetof(Frame, mType) + 1,
                      "type, flags and padding fill the last 8 bytes");
        static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "type in the low byte");
        std::memcpy(reinterpret_cast<unsigned char*>(slot) + offsetof(Frame, mType), &typeAndFlags, 8);
    }
    U64 addFrameSlow(S64 start, S64 end, U64 data1, U64 data2, U64 typeAndFlags);
    void addMarkerSlow(U64 sample_number, MarkerType marker_type, const Channel& channel);

    // Writer state of the inline appends (decode thread only): the frame
    // store's appender, and that of the channel the last marker went to.
    ResultAppender<Frame>* mFrameOut;
    ResultAppender<U64>* mMarkerOut;
    U32 mMarkerOutChannel;
    struct Data;
    Data* d;
};

#endif

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

#include "AnalyzerTypes.h"

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
    U64 AddFrame(const Frame& frame);
    // Appends a pending marker on a channel. At most 32 channels carry
    // markers; markers on further channels are dropped.
    void AddMarker(U64 sample_number, MarkerType marker_type, const Channel& channel);
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
    struct Data;
    Data* d;
};

#endif

#include "AnalyzerResults.h"

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ChunkedStore.h"

namespace {

constexpr int kMaxChannels = 32;
// Frames per group of the running greatest end (see Data::frameMaxEnd).
constexpr U64 kFrameGroup = 64;
static_assert(ChunkedStore<Frame>::kChunkMultiple % kFrameGroup == 0, "a group lies in one chunk");

struct Packet {
    U64 first;
    U64 last;
};

// Marker: sample in the upper 56 bits, type in the lower 8.
struct MarkerList {
    std::atomic<U32> channel{0};
    ChunkedStore<U64> items;
};
static_assert(sizeof(U64) == 8, "markers are 8 bytes");

// Texts are per calling thread, so that bubbles (GUI thread) and rows
// (result-list thread) can be made at the same time.
struct TextState {
    const AnalyzerResults* stringsOwner = nullptr;
    std::vector<std::string> strings;
    std::vector<const char*> pointers;
    const AnalyzerResults* tabularOwner = nullptr;
    std::string tabular;
};
thread_local TextState tText;

void appendParts(std::string* out, const char* s1, const char* s2, const char* s3, const char* s4,
                 const char* s5, const char* s6)
{
    for (const char* s : {s1, s2, s3, s4, s5, s6})
        if (s)
            out->append(s);
}

} // namespace

struct AnalyzerResults::Data {
    ChunkedStore<Frame> frames;
    // Greatest ending sample of the frames up to the end of each whole group
    // of kFrameGroup frames: ascending, so a range query finds the first
    // frame that reaches its start by a binary search over the groups and a
    // scan within one group, while a frame is stored as given (40 bytes).
    ChunkedStore<S64> frameMaxEnd;
    S64 runningMaxEnd = std::numeric_limits<S64>::min(); // writer: of the groups folded so far
    U64 nextFold = kFrameGroup; // writer: frame count that completes the next group
    ChunkedStore<Packet> packets;
    U64 packetStart = 0; // first frame of the open packet
    MarkerList markers[kMaxChannels];
    std::atomic<int> markerChannels{0};
    // Where markers go before the first one: it takes the out-of-line path.
    ResultAppender<U64> noMarkers;
    std::atomic<U32> bubbleChannels[kMaxChannels] = {};
    std::atomic<int> bubbleChannelCount{0};
    std::atomic<double> exportProgress{0.0};
    std::atomic<bool> exportCancel{false};
    std::atomic<bool> exportFailed{false};

    // The writer's list for a channel, made on first use; null when every list
    // is taken.
    MarkerList* markerListFor(U32 channel)
    {
        const int n = markerChannels.load(std::memory_order_relaxed);
        MarkerList* list = nullptr;
        for (int i = 0; i < n && !list; ++i)
            if (markers[i].channel.load(std::memory_order_relaxed) == channel)
                list = &markers[i];
        if (!list) {
            if (n >= kMaxChannels)
                return nullptr;
            markers[n].channel.store(channel, std::memory_order_relaxed);
            markerChannels.store(n + 1, std::memory_order_release);
            list = &markers[n];
        }
        return list;
    }

    // Writer: the maxima of the groups completed by the first n frames,
    // published. A group never straddles two chunks (chunks hold whole
    // groups), so its frames are read in one run, while they are still in
    // the cache.
    __attribute__((noinline)) void foldFrameEnds(U64 n)
    {
        for (; nextFold <= n; nextFold += kFrameGroup) {
            const Frame* f = &frames.at(nextFold - kFrameGroup);
            S64 m = runningMaxEnd;
            for (U64 k = 0; k < kFrameGroup; ++k)
                m = f[k].mEndingSampleInclusive > m ? f[k].mEndingSampleInclusive : m;
            runningMaxEnd = m;
            frameMaxEnd.push(m);
        }
        frameMaxEnd.commit();
    }

    const MarkerList* findMarkers(const Channel& ch) const
    {
        int n = markerChannels.load(std::memory_order_acquire);
        for (int i = 0; i < n; ++i)
            if (markers[i].channel.load(std::memory_order_relaxed) == ch.mChannelIndex)
                return &markers[i];
        return nullptr;
    }
};

AnalyzerResults::AnalyzerResults() : d(new Data)
{
    chunkmem::addUser();
    mFrameOut = &d->frames.appender();
    mMarkerOut = &d->noMarkers;
    mMarkerOutChannel = 0;
}

AnalyzerResults::~AnalyzerResults()
{
    if (tText.stringsOwner == this)
        tText.stringsOwner = nullptr;
    if (tText.tabularOwner == this)
        tText.tabularOwner = nullptr;
    delete d;
    chunkmem::removeUser(); // after the chunks went to the spares
}

U64 AnalyzerResults::addFrameSlow(S64 start, S64 end, U64 data1, U64 data2, U64 typeAndFlags)
{
    storeFrame(d->frames.append(), start, end, data1, data2, typeAndFlags);
    return d->frames.size() - 1;
}

void AnalyzerResults::addMarkerSlow(U64 sample_number, MarkerType marker_type, const Channel& channel)
{
    MarkerList* list = d->markerListFor(channel.mChannelIndex);
    if (!list)
        return;
    // Later markers on this channel take the inline path.
    mMarkerOut = &list->items.appender();
    mMarkerOutChannel = channel.mChannelIndex;
    list->items.push((sample_number << 8) | (U64(marker_type) & 0xFF));
}

void AnalyzerResults::CommitResults()
{
    Data& x = *d;
    const U64 frames = x.frames.size();
    if (frames >= x.nextFold)
        x.foldFrameEnds(frames); // before the frames: readers use only groups of frames they can see
    x.frames.publish(frames);
    const int n = x.markerChannels.load(std::memory_order_relaxed);
    for (int i = 0; i < n; ++i)
        x.markers[i].items.commit();
}

U64 AnalyzerResults::CommitPacketAndStartNewPacket()
{
    CommitResults();
    Data& x = *d;
    const U64 n = x.frames.size();
    if (n <= x.packetStart)
        return INVALID_RESULT_INDEX;
    const U64 id = x.packets.size();
    x.packets.push(Packet{x.packetStart, n - 1});
    x.packets.publish(id + 1);
    x.packetStart = n;
    return id;
}

U64 AnalyzerResults::activityMark() const
{
    U64 m = d->frames.size() + d->packets.size();
    int n = d->markerChannels.load(std::memory_order_relaxed);
    for (int i = 0; i < n; ++i)
        m += d->markers[i].items.size();
    return m;
}

U64 AnalyzerResults::GetNumFrames() const
{
    return d->frames.committed();
}

Frame AnalyzerResults::GetFrame(U64 frame_index) const
{
    if (frame_index >= d->frames.committed())
        return Frame();
    return d->frames.at(frame_index);
}

bool AnalyzerResults::GetFramesInRange(S64 start_sample, S64 end_sample, U64* first_frame_index,
                                       U64* last_frame_index) const
{
    const U64 n = d->frames.committed();
    if (n == 0 || start_sample > end_sample)
        return false;
    // The first frame that ends at or after the start: in the first group
    // whose running greatest end reaches the start, else among the frames
    // after the last whole group. Only groups of committed frames count (the
    // group maxima may be published ahead of the frame count read here).
    U64 groups = d->frameMaxEnd.committed();
    if (groups > n / kFrameGroup)
        groups = n / kFrameGroup;
    U64 lo = 0, hi = groups;
    while (lo < hi) {
        U64 mid = lo + (hi - lo) / 2;
        if (d->frameMaxEnd.at(mid) >= start_sample)
            hi = mid;
        else
            lo = mid + 1;
    }
    U64 first = lo * kFrameGroup;
    const U64 scanEnd = lo < groups ? first + kFrameGroup : n;
    while (first < scanEnd && d->frames.at(first).mEndingSampleInclusive < start_sample)
        ++first;
    if (first == scanEnd)
        return false;
    // Last frame that starts at or before the end.
    lo = 0;
    hi = n;
    while (lo < hi) {
        U64 mid = lo + (hi - lo) / 2;
        if (d->frames.at(mid).mStartingSampleInclusive <= end_sample)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0 || first > lo - 1)
        return false;
    if (first_frame_index)
        *first_frame_index = first;
    if (last_frame_index)
        *last_frame_index = lo - 1;
    return true;
}

U64 AnalyzerResults::GetNumPackets() const
{
    return d->packets.committed();
}

bool AnalyzerResults::GetFramesContainedInPacket(U64 packet_id, U64* first_frame_index, U64* last_frame_index) const
{
    bool ok = packet_id < d->packets.committed();
    if (first_frame_index)
        *first_frame_index = ok ? d->packets.at(packet_id).first : INVALID_RESULT_INDEX;
    if (last_frame_index)
        *last_frame_index = ok ? d->packets.at(packet_id).last : INVALID_RESULT_INDEX;
    return ok;
}

U64 AnalyzerResults::GetNumMarkers(const Channel& channel) const
{
    const MarkerList* list = d->findMarkers(channel);
    return list ? list->items.committed() : 0;
}

bool AnalyzerResults::GetMarker(const Channel& channel, U64 marker_index, MarkerType* marker_type,
                                U64* sample_number) const
{
    const MarkerList* list = d->findMarkers(channel);
    if (!list || marker_index >= list->items.committed())
        return false;
    U64 v = list->items.at(marker_index);
    if (marker_type)
        *marker_type = MarkerType(v & 0xFF);
    if (sample_number)
        *sample_number = v >> 8;
    return true;
}

bool AnalyzerResults::GetMarkersInRange(const Channel& channel, S64 start_sample, S64 end_sample,
                                        U64* first_marker_index, U64* last_marker_index) const
{
    const MarkerList* list = d->findMarkers(channel);
    if (!list || start_sample > end_sample || end_sample < 0)
        return false;
    U64 n = list->items.committed();
    U64 start = start_sample < 0 ? 0 : U64(start_sample);
    U64 end = U64(end_sample);
    auto sampleAt = [list](U64 i) { return list->items.at(i) >> 8; };
    U64 lo = 0, hi = n;
    while (lo < hi) { // first marker at or after the start
        U64 mid = lo + (hi - lo) / 2;
        if (sampleAt(mid) >= start)
            hi = mid;
        else
            lo = mid + 1;
    }
    U64 first = lo;
    hi = n;
    while (lo < hi) { // first marker after the end
        U64 mid = lo + (hi - lo) / 2;
        if (sampleAt(mid) <= end)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == first)
        return false;
    if (first_marker_index)
        *first_marker_index = first;
    if (last_marker_index)
        *last_marker_index = lo - 1;
    return true;
}

void AnalyzerResults::AddChannelBubblesWillAppearOn(const Channel& channel)
{
    if (DoBubblesAppearOnChannel(channel))
        return;
    int n = d->bubbleChannelCount.load(std::memory_order_relaxed);
    if (n >= kMaxChannels)
        return;
    d->bubbleChannels[n].store(channel.mChannelIndex, std::memory_order_relaxed);
    d->bubbleChannelCount.store(n + 1, std::memory_order_release);
}

bool AnalyzerResults::DoBubblesAppearOnChannel(const Channel& channel) const
{
    int n = d->bubbleChannelCount.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i)
        if (d->bubbleChannels[i].load(std::memory_order_relaxed) == channel.mChannelIndex)
            return true;
    return false;
}

bool AnalyzerResults::DoMarkersAppearOnChannel(const Channel& channel) const
{
    return GetNumMarkers(channel) > 0;
}

void AnalyzerResults::ClearResultStrings()
{
    tText.stringsOwner = this;
    tText.strings.clear();
    tText.pointers.clear();
}

void AnalyzerResults::AddResultString(const char* str1, const char* str2, const char* str3, const char* str4,
                                      const char* str5, const char* str6)
{
    if (tText.stringsOwner != this)
        ClearResultStrings();
    std::string s;
    appendParts(&s, str1, str2, str3, str4, str5, str6);
    tText.strings.push_back(std::move(s));
    tText.pointers.clear();
}

void AnalyzerResults::GetResultStrings(const char* const** result_string_array, U32* num_strings) const
{
    if (tText.stringsOwner != this) {
        if (result_string_array)
            *result_string_array = nullptr;
        if (num_strings)
            *num_strings = 0;
        return;
    }
    if (tText.pointers.size() != tText.strings.size()) {
        tText.pointers.clear();
        for (const std::string& s : tText.strings)
            tText.pointers.push_back(s.c_str());
    }
    if (result_string_array)
        *result_string_array = tText.pointers.empty() ? nullptr : tText.pointers.data();
    if (num_strings)
        *num_strings = U32(tText.pointers.size());
}

void AnalyzerResults::ClearTabularText()
{
    tText.tabularOwner = this;
    tText.tabular.clear();
}

void AnalyzerResults::AddTabularText(const char* str1, const char* str2, const char* str3, const char* str4,
                                     const char* str5, const char* str6)
{
    if (tText.tabularOwner != this)
        ClearTabularText();
    appendParts(&tText.tabular, str1, str2, str3, str4, str5, str6);
}

const char* AnalyzerResults::GetTabularTextString() const
{
    return tText.tabularOwner == this ? tText.tabular.c_str() : "";
}

void AnalyzerResults::StartExportThread(const char*, DisplayBase, U32)
{
    d->exportProgress.store(0.0);
    d->exportCancel.store(false);
    d->exportFailed.store(false);
}

bool AnalyzerResults::UpdateExportProgressAndCheckForCancel(U64 completed_frames, U64 total_frames)
{
    double p = total_frames == 0 ? 1.0 : double(completed_frames) / double(total_frames);
    if (p > 1.0)
        p = 1.0;
    d->exportProgress.store(p);
    return d->exportCancel.load();
}

double AnalyzerResults::GetProgress() const
{
    return d->exportProgress.load();
}

void AnalyzerResults::CancelExport()
{
    d->exportCancel.store(true);
}

void AnalyzerResults::ReportExportFailure()
{
    d->exportFailed.store(true);
}

bool AnalyzerResults::ExportFailed() const
{
    return d->exportFailed.load();
}

#include "FrameExport.h"

#include <cstring>

#include <Analyzer.h>
#include <AnalyzerHelpers.h>

namespace {

const U32 kTextLength = 128;
// Written to the file in pieces of about this size.
const size_t kChunk = 1 << 20;

} // namespace

void ExportLine::time()
{
    char text[kTextLength];
    AnalyzerHelpers::GetTimeString(mStart, mTrigger, mRate, text, kTextLength);
    field(text);
}

void ExportLine::field(const char* text)
{
    if (!mEmpty)
        *mOut += ',';
    mEmpty = false;
    if (!std::strpbrk(text, ",\"\r\n")) {
        *mOut += text;
        return;
    }
    *mOut += '"';
    for (const char* p = text; *p; ++p) {
        if (*p == '"')
            *mOut += '"';
        *mOut += *p;
    }
    *mOut += '"';
}

void writeFrameExport(AnalyzerResults* results, Analyzer* analyzer, const char* file, const ExportLineFn& lineFor)
{
    const U64 frameCount = results->GetNumFrames();
    const U64 trigger = analyzer->GetTriggerSample();
    const U64 rate = analyzer->GetSampleRate();
    const U32 rate32 = rate > 0xFFFFFFFFu ? 0xFFFFFFFFu : U32(rate);

    void* handle = AnalyzerHelpers::StartFile(file, false);
    bool written = handle != nullptr;
    std::string buffer;
    buffer.reserve(kChunk + 4096);
    auto flush = [&] {
        if (written && !buffer.empty()
            && !AnalyzerHelpers::AppendToFile(reinterpret_cast<const U8*>(buffer.data()), U32(buffer.size()), handle))
            written = false;
        buffer.clear();
    };

    buffer = "Time [s],Type,Value\n";
    ExportLine line(&buffer, trigger, rate32);
    bool cancelled = false;
    for (U64 i = 0; written && i < frameCount && !cancelled; ++i) {
        const Frame frame = results->GetFrame(i);
        line.begin(U64(frame.mStartingSampleInclusive));
        lineFor(frame, frameCount, line);
        if (!line.empty())
            buffer += '\n';
        if (buffer.size() >= kChunk)
            flush();
        cancelled = results->UpdateExportProgressAndCheckForCancel(i, frameCount);
    }
    flush();
    if (!cancelled)
        results->UpdateExportProgressAndCheckForCancel(frameCount, frameCount);
    if (handle && !AnalyzerHelpers::EndFile(handle))
        written = false;
    if (!written)
        results->ReportExportFailure();
}

#include "FrameExport.h"

#include <cstring>

#include <Analyzer.h>
#include <AnalyzerHelpers.h>

namespace {

const U32 kTextLength = 128;
// Written to the file in pieces of about this size.
const size_t kChunk = 1 << 20;

} // namespace

void ExportLine::time(U64 sample)
{
    char text[kTextLength];
    AnalyzerHelpers::GetTimeString(sample, mTrigger, mRate, text, kTextLength);
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

void writeExport(AnalyzerResults* results, Analyzer* analyzer, const char* file, const char* header, U64 rows,
                 const ExportRowFn& rowFor, bool lastLineEnd)
{
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

    buffer = header;
    ExportLine line(&buffer, trigger, rate32);
    bool anyLine = false;
    bool cancelled = false;
    for (U64 i = 0; written && i < rows && !cancelled; ++i) {
        const size_t rowStart = buffer.size();
        line.begin();
        rowFor(i, line);
        if (!line.empty()) {
            if (lastLineEnd)
                buffer += '\n';
            else if (anyLine)
                buffer.insert(rowStart, 1, '\n'); // between lines only
            anyLine = true;
        }
        if (buffer.size() >= kChunk)
            flush();
        cancelled = results->UpdateExportProgressAndCheckForCancel(i, rows);
    }
    flush();
    if (!cancelled)
        results->UpdateExportProgressAndCheckForCancel(rows, rows);
    if (handle && !AnalyzerHelpers::EndFile(handle))
        written = false;
    if (!written)
        results->ReportExportFailure();
}

void writeFrameExport(AnalyzerResults* results, Analyzer* analyzer, const char* file, const ExportLineFn& lineFor)
{
    const U64 frameCount = results->GetNumFrames();
    writeExport(results, analyzer, file, "Time [s],Type,Value\n", frameCount, [&](U64 i, ExportLine& line) {
        lineFor(results->GetFrame(i), frameCount, line);
    });
}

#ifndef FRAMEEXPORT_H
#define FRAMEEXPORT_H
// The decoded-data export files of the plug-ins: a header line, then one
// line per row (a frame, or a message) that the plug-in fills. Fields that
// hold a comma, a quote or a line end (a value in an ASCII display format
// can be "," or '"') are quoted as CSV readers expect. The file is written
// through the library's file helpers in large pieces, not flushed line by
// line.

#include <functional>
#include <string>

#include <AnalyzerResults.h>

class Analyzer;

class ExportLine {
public:
    // Lines appended to out, times from the trigger at the rate.
    ExportLine(std::string* out, U64 trigger_sample, U32 sample_rate_hz)
        : mOut(out), mTrigger(trigger_sample), mRate(sample_rate_hz)
    {
    }
    // Starts a new line.
    void begin() { mEmpty = true; }
    bool empty() const { return mEmpty; }

    // The time text of a sample (seconds from the trigger) as a field.
    void time(U64 sample);
    // A field as it stands, quoted when it must be.
    void field(const char* text);

private:
    std::string* mOut;
    U64 mTrigger;
    U32 mRate;
    bool mEmpty = true;
};

// Fills the line of one row with its fields; a line left without fields is
// not written.
using ExportRowFn = std::function<void(U64 row, ExportLine& line)>;

// Writes the file for GenerateExportFile: header (with its line end), then
// rows lines, each ended by a line end, the last one too unless
// lastLineEnd is false. Progress (in rows) and cancel go through the results
// (a cancelled export keeps what was written); a file that cannot be opened
// or written is reported with ReportExportFailure.
void writeExport(AnalyzerResults* results, Analyzer* analyzer, const char* file, const char* header, U64 rows,
                 const ExportRowFn& rowFor, bool lastLineEnd = true);

// Fills the line of one frame (frameCount: frames in the results).
using ExportLineFn = std::function<void(const Frame& frame, U64 frameCount, ExportLine& line)>;

// The file with the header "Time [s],Type,Value" and a row per frame.
void writeFrameExport(AnalyzerResults* results, Analyzer* analyzer, const char* file, const ExportLineFn& lineFor);

#endif

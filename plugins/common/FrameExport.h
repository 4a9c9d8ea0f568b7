#ifndef FRAMEEXPORT_H
#define FRAMEEXPORT_H
// The decoded-data export file of the plug-ins: the header
// "Time [s],Type,Value", then one line per frame that the plug-in fills.
// Fields that hold a comma, a quote or a line end (a value in an ASCII
// display format can be "," or '"') are quoted as CSV readers expect. The
// file is written through the library's file helpers in large pieces, not
// flushed line by line.

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
    // Starts the line of a frame that begins at a sample.
    void begin(U64 frame_start)
    {
        mStart = frame_start;
        mEmpty = true;
    }
    bool empty() const { return mEmpty; }

    // The frame's time text (seconds from the trigger) as a field.
    void time();
    // A field as it stands, quoted when it must be.
    void field(const char* text);

private:
    std::string* mOut;
    U64 mTrigger;
    U32 mRate;
    U64 mStart = 0;
    bool mEmpty = true;
};

// Fills the line of one frame (frameCount: frames in the results); a line
// left without fields is not written.
using ExportLineFn = std::function<void(const Frame& frame, U64 frameCount, ExportLine& line)>;

// Writes the file for GenerateExportFile. Progress and cancel go through the
// results (a cancelled export keeps what was written); a file that cannot be
// opened or written is reported with ReportExportFailure.
void writeFrameExport(AnalyzerResults* results, Analyzer* analyzer, const char* file, const ExportLineFn& lineFor);

#endif

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
    // The frame's time text (seconds from the trigger) as a field.
    void time();
    // A field as it stands, quoted when it must be.
    void field(const char* text);

private:
    friend class FrameExportWriter;
    std::string* mOut = nullptr;
    bool mEmpty = true;
    U64 mStart = 0;
    U64 mTrigger = 0;
    U32 mRate = 0;
};

// Fills the line of one frame (frameCount: frames in the results); a line
// left without fields is not written.
using ExportLineFn = std::function<void(const Frame& frame, U64 frameCount, ExportLine& line)>;

// Writes the file for GenerateExportFile. Progress and cancel go through the
// results (a cancelled export keeps what was written); a file that cannot be
// opened or written is reported with ReportExportFailure.
void writeFrameExport(AnalyzerResults* results, Analyzer* analyzer, const char* file, const ExportLineFn& lineFor);

#endif

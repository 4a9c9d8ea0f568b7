#ifndef EMPTYRESULTS_H
#define EMPTYRESULTS_H
// Results that hold frames and markers but produce no texts: for tests of
// the library's storage and runs, where texts play no part.

#include "AnalyzerResults.h"

class EmptyResults : public AnalyzerResults {
public:
    void GenerateBubbleText(U64, Channel&, DisplayBase) override {}
    void GenerateExportFile(const char*, DisplayBase, U32) override {}
    void GenerateFrameTabularText(U64, DisplayBase) override {}
    void GeneratePacketTabularText(U64, DisplayBase) override {}
    void GenerateTransactionTabularText(U64, DisplayBase) override {}
};

#endif

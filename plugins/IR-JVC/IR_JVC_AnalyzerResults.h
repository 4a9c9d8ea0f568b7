#ifndef IR_JVC_ANALYZER_RESULTS_H
#define IR_JVC_ANALYZER_RESULTS_H

#include "IrFieldResults.h"

class IR_JVC_Analyzer;

// Fields: 0 start, 1 address, 2 command, values 8 bits wide.
class IR_JVC_AnalyzerResults : public IrFieldResults {
public:
    explicit IR_JVC_AnalyzerResults(IR_JVC_Analyzer* analyzer);
};

#endif

#ifndef IR_SIRC_ANALYZER_RESULTS_H
#define IR_SIRC_ANALYZER_RESULTS_H

#include "IrFieldResults.h"

class IR_SIRC_Analyzer;

// Fields: 0 start, 1 command, 2 device, 3 extended; data2 is the field's
// width, type 1 a field broken off (" (frame error)").
class IR_SIRC_AnalyzerResults : public IrFieldResults {
public:
    explicit IR_SIRC_AnalyzerResults(IR_SIRC_Analyzer* analyzer);
};

#endif

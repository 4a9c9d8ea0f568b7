#include "IR_SIRC_AnalyzerResults.h"

#include "IR_SIRC_Analyzer.h"

namespace {

const char* const kFieldNames[] = {"Start", "Command", "Device", "Extended"};
const IrFieldTable kFields = {kFieldNames, 4, 0};

} // namespace

IR_SIRC_AnalyzerResults::IR_SIRC_AnalyzerResults(IR_SIRC_Analyzer* analyzer) : IrFieldResults(analyzer, kFields)
{
}

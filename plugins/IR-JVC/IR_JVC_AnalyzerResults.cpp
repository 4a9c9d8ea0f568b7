#include "IR_JVC_AnalyzerResults.h"

#include "IR_JVC_Analyzer.h"

namespace {

const char* const kFieldNames[] = {"Start", "Address", "Command"};
const IrFieldTable kFields = {kFieldNames, 3, 8};

} // namespace

IR_JVC_AnalyzerResults::IR_JVC_AnalyzerResults(IR_JVC_Analyzer* analyzer) : IrFieldResults(analyzer, kFields)
{
}

#ifndef IR_RC6_ANALYZER_RESULTS_H
#define IR_RC6_ANALYZER_RESULTS_H

#include "PluginResults.h"

class IR_RC6_Analyzer;

// Frames: flags 0 leader, 1 start bit, 2 mode, 3 trailer (toggle) bit,
// 4 address, 5 command; data1 the value. Every message attempt is a packet.
class IR_RC6_AnalyzerResults : public PluginResults {
public:
    explicit IR_RC6_AnalyzerResults(IR_RC6_Analyzer* analyzer);

    void GenerateBubbleText(U64 frame_index, Channel& channel, DisplayBase display_base) override;
    void GenerateExportFile(const char* file, DisplayBase display_base, U32 export_type_user_id) override;
    void GenerateFrameTabularText(U64 frame_index, DisplayBase display_base) override;
};

#endif

#ifndef IR_RC6_ANALYZER_RESULTS_H
#define IR_RC6_ANALYZER_RESULTS_H

#include <AnalyzerResults.h>

class IR_RC6_Analyzer;
class IR_RC6_AnalyzerSettings;

class IR_RC6_AnalyzerResults : public AnalyzerResults {
public:
    IR_RC6_AnalyzerResults(IR_RC6_Analyzer* analyzer, IR_RC6_AnalyzerSettings* settings);
    ~IR_RC6_AnalyzerResults() override;

    void GenerateBubbleText(U64 frame_index, Channel& channel, DisplayBase display_base) override;
    void GenerateExportFile(const char* file, DisplayBase display_base, U32 export_type_user_id) override;
    void GenerateFrameTabularText(U64 frame_index, DisplayBase display_base) override;
    void GeneratePacketTabularText(U64 packet_id, DisplayBase display_base) override;
    void GenerateTransactionTabularText(U64 transaction_id, DisplayBase display_base) override;

protected:
    IR_RC6_AnalyzerSettings* mSettings;
    IR_RC6_Analyzer* mAnalyzer;
};

#endif

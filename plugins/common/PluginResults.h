#ifndef PLUGINRESULTS_H
#define PLUGINRESULTS_H
// What the plug-ins' results share: the analyzer they belong to, and no
// packet or transaction texts.

#include <AnalyzerResults.h>

class Analyzer;

class PluginResults : public AnalyzerResults {
public:
    explicit PluginResults(Analyzer* analyzer) : mAnalyzer(analyzer) {}

    void GeneratePacketTabularText(U64 packet_id, DisplayBase display_base) override;
    void GenerateTransactionTabularText(U64 transaction_id, DisplayBase display_base) override;

protected:
    static const U32 kTextLength = 128; // number and time texts

    Analyzer* mAnalyzer;
};

#endif

#include "IR_RC6_AnalyzerResults.h"

#include <string>

#include <AnalyzerHelpers.h>

#include "FrameExport.h"
#include "IR_RC6_Analyzer.h"

namespace {

// Field of a frame (its flags byte): name and width in bits.
struct Field {
    const char* shortName;
    U32 bits;
};

const Field kFields[] = {
    {"LS", 0},    // leader
    {"Start", 1}, // start bit
    {"Mode", 3},
    {"TR", 1},    // trailer (toggle) bit
    {"ADDR", 8},
    {"CMD", 8},
};
const U8 kFieldCount = sizeof(kFields) / sizeof(kFields[0]);

} // namespace

IR_RC6_AnalyzerResults::IR_RC6_AnalyzerResults(IR_RC6_Analyzer* analyzer) : PluginResults(analyzer)
{
}

void IR_RC6_AnalyzerResults::GenerateBubbleText(U64 frame_index, Channel& /*channel*/, DisplayBase display_base)
{
    ClearResultStrings();
    const Frame frame = GetFrame(frame_index);
    if (frame.mFlags >= kFieldCount)
        return;
    const Field& field = kFields[frame.mFlags];
    if (frame.mFlags == IR_RC6_Analyzer::Leader) {
        AddResultString(field.shortName);
        return;
    }
    char number[kTextLength];
    AnalyzerHelpers::GetNumberString(frame.mData1, display_base, field.bits, number, kTextLength);
    AddResultString(field.shortName);
    AddResultString(field.shortName, ": ", number);
    if (frame.mFlags == IR_RC6_Analyzer::StartBit && frame.mData1 == 0)
        AddResultString(field.shortName, ": ", number, "(error)");
}

void IR_RC6_AnalyzerResults::GenerateFrameTabularText(U64 frame_index, DisplayBase display_base)
{
    ClearTabularText();
    const Frame frame = GetFrame(frame_index);
    if (frame.mFlags >= kFieldCount)
        return;
    const Field& field = kFields[frame.mFlags];
    if (frame.mFlags == IR_RC6_Analyzer::Leader) {
        AddTabularText(field.shortName);
        return;
    }
    char number[kTextLength];
    AnalyzerHelpers::GetNumberString(frame.mData1, display_base, field.bits, number, kTextLength);
    const bool startError = frame.mFlags == IR_RC6_Analyzer::StartBit && frame.mData1 != 1;
    AddTabularText(field.shortName, ": ", number, startError ? "(error)" : nullptr);
}

// One row per message (packet): its time, its number, then the fields it
// holds. A message broken off early ends its row after the last field read.
// The file ends without a line end after its last row.
void IR_RC6_AnalyzerResults::GenerateExportFile(const char* file, DisplayBase display_base, U32 /*export_type_user_id*/)
{
    static const U8 kColumns[] = {IR_RC6_Analyzer::StartBit, IR_RC6_Analyzer::ModeField, IR_RC6_Analyzer::TrailerBit,
                                  IR_RC6_Analyzer::AddressField, IR_RC6_Analyzer::CommandField};
    const auto row = [&](U64 packet, ExportLine& line) {
        U64 first = 0, last = 0;
        if (!GetFramesContainedInPacket(packet, &first, &last))
            return;
        const Frame start = GetFrame(first);
        line.time(U64(start.mStartingSampleInclusive));
        char text[kTextLength];
        AnalyzerHelpers::GetNumberString(packet, Decimal, 0, text, kTextLength);
        line.field(text);

        U64 j = first;
        if (start.mFlags == IR_RC6_Analyzer::Leader)
            ++j;
        for (U8 column : kColumns) {
            if (j > last)
                break;
            const Frame frame = GetFrame(j);
            if (frame.mFlags != column) {
                line.field("");
                continue;
            }
            AnalyzerHelpers::GetNumberString(frame.mData1, display_base, kFields[column].bits, text, kTextLength);
            std::string value = text;
            if (column == IR_RC6_Analyzer::StartBit && frame.mData1 != 1)
                value += "(error)";
            line.field(value.c_str());
            ++j;
        }
    };
    writeExport(this, mAnalyzer, file, "Time[s],PackedId,Start,Mode,TR,ADDR,CMD\n", GetNumPackets(), row, false);
}

#include "IR_RC6_AnalyzerResults.h"

#include <string>

#include <AnalyzerHelpers.h>

#include "IR_RC6_Analyzer.h"
#include "IR_RC6_AnalyzerSettings.h"

namespace {

const U32 kTextLength = 128;

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

IR_RC6_AnalyzerResults::IR_RC6_AnalyzerResults(IR_RC6_Analyzer* analyzer, IR_RC6_AnalyzerSettings* settings)
    : mSettings(settings), mAnalyzer(analyzer)
{
}

IR_RC6_AnalyzerResults::~IR_RC6_AnalyzerResults() = default;

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

void IR_RC6_AnalyzerResults::GeneratePacketTabularText(U64 /*packet_id*/, DisplayBase /*display_base*/)
{
    ClearResultStrings();
    AddResultString("not supported");
}

void IR_RC6_AnalyzerResults::GenerateTransactionTabularText(U64 /*transaction_id*/, DisplayBase /*display_base*/)
{
    ClearResultStrings();
    AddResultString("not supported");
}

// One row per message (packet): its time, its number, then the fields it
// holds. A message broken off early ends its row after the last field read.
void IR_RC6_AnalyzerResults::GenerateExportFile(const char* file, DisplayBase display_base, U32 /*export_type_user_id*/)
{
    const U64 frameCount = GetNumFrames();
    const U64 packetCount = GetNumPackets();
    const U64 triggerSample = mAnalyzer->GetTriggerSample();
    const U64 rate = mAnalyzer->GetSampleRate();
    const U32 sampleRate = rate > 0xFFFFFFFFu ? 0xFFFFFFFFu : U32(rate);

    void* handle = AnalyzerHelpers::StartFile(file, false);
    bool written = handle != nullptr;
    auto append = [&](const std::string& text) {
        if (handle && !AnalyzerHelpers::AppendToFile(reinterpret_cast<const U8*>(text.data()), U32(text.size()), handle))
            written = false;
    };

    std::string buffer = "Time[s],PackedId,Start,Mode,TR,ADDR,CMD\n";
    static const U8 kColumns[] = {IR_RC6_Analyzer::StartBit, IR_RC6_Analyzer::ModeField, IR_RC6_Analyzer::TrailerBit,
                                  IR_RC6_Analyzer::AddressField, IR_RC6_Analyzer::CommandField};
    char text[kTextLength];

    for (U64 i = 0; handle && i < packetCount; ++i) {
        U64 first = 0, last = 0;
        if (GetFramesContainedInPacket(i, &first, &last)) {
            const Frame start = GetFrame(first);
            AnalyzerHelpers::GetTimeString(U64(start.mStartingSampleInclusive), triggerSample, sampleRate, text,
                                           kTextLength);
            buffer += text;
            buffer += ",";
            AnalyzerHelpers::GetNumberString(i, Decimal, 0, text, kTextLength);
            buffer += text;

            U64 j = first;
            if (start.mFlags == IR_RC6_Analyzer::Leader)
                ++j;
            for (U8 column : kColumns) {
                if (j > last)
                    break;
                buffer += ",";
                const Frame frame = GetFrame(j);
                if (frame.mFlags != column)
                    continue;
                AnalyzerHelpers::GetNumberString(frame.mData1, display_base, kFields[column].bits, text, kTextLength);
                buffer += text;
                if (column == IR_RC6_Analyzer::StartBit && frame.mData1 != 1)
                    buffer += "(error)";
                ++j;
            }
        }
        // The file ends without a line end after its last row.
        if (i + 1 < packetCount) {
            buffer += "\n";
            append(buffer);
            buffer.clear();
        }
    }
    append(buffer);

    UpdateExportProgressAndCheckForCancel(frameCount, frameCount);
    if (handle && !AnalyzerHelpers::EndFile(handle))
        written = false;
    if (!written)
        ReportExportFailure();
}

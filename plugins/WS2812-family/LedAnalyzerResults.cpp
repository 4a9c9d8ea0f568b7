#include "LedAnalyzerResults.h"

#include <AnalyzerHelpers.h>

#include "FrameExport.h"

const char* const LedAnalyzerResults::kRateTooLowText = "This analyzer requires a sampling rate of 10MHz and above.";

LedAnalyzerResults::LedAnalyzerResults(Analyzer* analyzer, LedAnalyzerSettings* settings, const LedMember& member)
    : PluginResults(analyzer), mMember(member), mOrder(member.orderText[settings->orderInDisplay() ? 1 : 0]),
      mDisplayMode(settings->displayMode()), mBytes(member.wordBits / 8)
{
}

std::string LedAnalyzerResults::byteText(U64 word, U32 k, DisplayBase display_base) const
{
    char text[kTextLength];
    AnalyzerHelpers::GetNumberString((word >> (8 * k)) & 0xFF, display_base, 8, text, kTextLength);
    return text;
}

std::string LedAnalyzerResults::colourText(U64 word, DisplayBase display_base) const
{
    // The order text names the bytes from the most significant down.
    std::string text;
    for (U32 i = 0; i < mBytes; ++i) {
        if (i)
            text += ' ';
        text += mOrder[i];
        text += ':';
        text += byteText(word, mBytes - 1 - i, display_base);
    }
    return text;
}

std::string LedAnalyzerResults::wordText(U64 word, DisplayBase display_base) const
{
    char text[kTextLength];
    AnalyzerHelpers::GetNumberString(word, display_base, mMember.wordBits, text, kTextLength);
    return text;
}

void LedAnalyzerResults::GenerateBubbleText(U64 frame_index, Channel& /*channel*/, DisplayBase display_base)
{
    ClearResultStrings();
    const Frame frame = GetFrame(frame_index);
    if (frame.mFlags == kRateTooLow) {
        AddResultString(kRateTooLowText);
    } else if (frame.mType == Reset) {
        AddResultString("RST");
        AddResultString("Reset");
    } else if (frame.mType == Word) {
        AddResultString(mOrder);
        if (frame.mData2 != 0)
            AddResultString(mOrder, " (Error)");
        else if (mDisplayMode == 1)
            AddResultString(mOrder, ":", wordText(frame.mData1, display_base).c_str());
        else
            AddResultString(colourText(frame.mData1, display_base).c_str());
    }
}

void LedAnalyzerResults::GenerateFrameTabularText(U64 frame_index, DisplayBase display_base)
{
    ClearTabularText();
    const Frame frame = GetFrame(frame_index);
    if (frame.mFlags == kRateTooLow)
        AddTabularText(kRateTooLowText);
    else if (frame.mType == Reset)
        AddTabularText("Reset");
    else if (frame.mType == Word && frame.mData2 != 0)
        AddTabularText(mOrder, " (Error)");
    else if (frame.mType == Word && mDisplayMode == 1)
        AddTabularText(mOrder, ":", wordText(frame.mData1, display_base).c_str());
    else if (frame.mType == Word)
        AddTabularText(colourText(frame.mData1, display_base).c_str());
}

void LedAnalyzerResults::GenerateExportFile(const char* file, DisplayBase display_base, U32 /*export_type_user_id*/)
{
    writeFrameExport(this, mAnalyzer, file, [&](const Frame& frame, U64 frameCount, ExportLine& line) {
        if (frame.mFlags == kRateTooLow) {
            // The capture was not decoded: the message is the whole file.
            if (frameCount == 1)
                line.field(kRateTooLowText);
            return;
        }
        if (frame.mType == Reset) {
            line.time(U64(frame.mStartingSampleInclusive));
            line.field("Reset");
            line.field("");
        } else if (frame.mType == Word) {
            line.time(U64(frame.mStartingSampleInclusive));
            line.field(mOrder);
            if (frame.mData2 != 0) {
                line.field("Error");
            } else if (mDisplayMode == 1) {
                line.field(wordText(frame.mData1, display_base).c_str());
            } else {
                std::string bytes;
                for (U32 k = mBytes; k-- > 0;) {
                    bytes += byteText(frame.mData1, k, display_base);
                    if (k)
                        bytes += ' ';
                }
                line.field(bytes.c_str());
            }
        }
    });
}

#ifndef LEDANALYZERRESULTS_H
#define LEDANALYZERRESULTS_H

#include <string>

#include "LedAnalyzerSettings.h"
#include "PluginResults.h"

// Frames of the LED decoders: resets (type 0), LED words (type 1, data1 the
// word in display order, data2 all ones when broken off), and the single
// frame of a capture below the minimum rate (flags 0xFF).
class LedAnalyzerResults : public PluginResults {
public:
    enum FrameType : U8 { Reset = 0, Word = 1 };
    static const U8 kRateTooLow = 0xFF; // flags
    static const char* const kRateTooLowText;

    // The order text and the display mode are taken from the settings now, as
    // the decode is set up (a change of settings decodes anew); texts made on
    // other threads then read nothing the settings dialog writes.
    LedAnalyzerResults(Analyzer* analyzer, LedAnalyzerSettings* settings, const LedMember& member);

    void GenerateBubbleText(U64 frame_index, Channel& channel, DisplayBase display_base) override;
    void GenerateExportFile(const char* file, DisplayBase display_base, U32 export_type_user_id) override;
    void GenerateFrameTabularText(U64 frame_index, DisplayBase display_base) override;

protected:
    // One colour byte of a word: c0 the least significant.
    std::string byteText(U64 word, U32 k, DisplayBase display_base) const;
    // "R:.. G:.. B:.." in the order of the order text.
    std::string colourText(U64 word, DisplayBase display_base) const;
    std::string wordText(U64 word, DisplayBase display_base) const;

    const LedMember& mMember;
    const char* mOrder;
    U32 mDisplayMode;
    U32 mBytes;
};

#endif

#ifndef IRFIELDRESULTS_H
#define IRFIELDRESULTS_H
// Texts and export of the pulse-distance IR decoders (SIRC, JVC): one frame
// per message field, its flags the field's index (0 the start), data1 its
// value; a frame whose type is not 0 was broken off.

#include "PluginResults.h"

struct IrFieldTable {
    const char* const* names; // by field index; 0 is the start
    U8 count;
    U32 fixedBits;            // width of every value; 0: each frame's data2
};

class IrFieldResults : public PluginResults {
public:
    IrFieldResults(Analyzer* analyzer, const IrFieldTable& table) : PluginResults(analyzer), mTable(table) {}

    void GenerateBubbleText(U64 frame_index, Channel& channel, DisplayBase display_base) override;
    void GenerateExportFile(const char* file, DisplayBase display_base, U32 export_type_user_id) override;
    void GenerateFrameTabularText(U64 frame_index, DisplayBase display_base) override;

private:
    // The value of a field frame (flags 1 and up) in the display base.
    void valueText(const Frame& frame, DisplayBase display_base, char* text) const;
    static const char* errorText(const Frame& frame);

    const IrFieldTable& mTable;
};

#endif

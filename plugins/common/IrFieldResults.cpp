#include "IrFieldResults.h"

#include <AnalyzerHelpers.h>

#include "FrameExport.h"

void IrFieldResults::valueText(const Frame& frame, DisplayBase display_base, char* text) const
{
    const U32 bits = mTable.fixedBits ? mTable.fixedBits : U32(frame.mData2);
    AnalyzerHelpers::GetNumberString(frame.mData1, display_base, bits, text, kTextLength);
}

const char* IrFieldResults::errorText(const Frame& frame)
{
    return frame.mType != 0 ? " (frame error)" : "";
}

void IrFieldResults::GenerateBubbleText(U64 frame_index, Channel& /*channel*/, DisplayBase display_base)
{
    ClearResultStrings();
    const Frame frame = GetFrame(frame_index);
    if (frame.mFlags >= mTable.count)
        return;
    const char* name = mTable.names[frame.mFlags];
    AddResultString(name);
    if (frame.mFlags == 0)
        return;
    char value[kTextLength];
    valueText(frame, display_base, value);
    AddResultString(name, ": ", value, errorText(frame));
}

void IrFieldResults::GenerateFrameTabularText(U64 frame_index, DisplayBase display_base)
{
    ClearTabularText();
    const Frame frame = GetFrame(frame_index);
    if (frame.mFlags >= mTable.count)
        return;
    const char* name = mTable.names[frame.mFlags];
    if (frame.mFlags == 0) {
        AddTabularText(name);
        return;
    }
    char value[kTextLength];
    valueText(frame, display_base, value);
    AddTabularText(name, ": ", value, errorText(frame));
}

void IrFieldResults::GenerateExportFile(const char* file, DisplayBase display_base, U32 /*export_type_user_id*/)
{
    writeFrameExport(this, mAnalyzer, file, [&](const Frame& frame, U64, ExportLine& line) {
        if (frame.mFlags >= mTable.count)
            return;
        line.time(U64(frame.mStartingSampleInclusive));
        line.field(mTable.names[frame.mFlags]);
        if (frame.mFlags == 0) {
            line.field("");
            return;
        }
        char value[kTextLength];
        valueText(frame, display_base, value);
        line.field(value);
        line.field(errorText(frame));
    });
}

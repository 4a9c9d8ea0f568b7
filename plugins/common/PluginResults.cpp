#include "PluginResults.h"

void PluginResults::GeneratePacketTabularText(U64 /*packet_id*/, DisplayBase /*display_base*/)
{
    ClearResultStrings();
    AddResultString("not supported");
}

void PluginResults::GenerateTransactionTabularText(U64 /*transaction_id*/, DisplayBase /*display_base*/)
{
    ClearResultStrings();
    AddResultString("not supported");
}

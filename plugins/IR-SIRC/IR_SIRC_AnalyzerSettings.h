#ifndef IR_SIRC_ANALYZER_SETTINGS_H
#define IR_SIRC_ANALYZER_SETTINGS_H

#include "ListSettings.h"

class IR_SIRC_AnalyzerSettings : public ListSettings {
public:
    IR_SIRC_AnalyzerSettings();

    // 0: 12 bits, 1: 15 bits, 2: 20 bits.
    U32 packetLength() const { return value(0); }
    BitState idleLevel() const { return value(1) ? BIT_HIGH : BIT_LOW; }
};

#endif

#ifndef IR_JVC_ANALYZER_SETTINGS_H
#define IR_JVC_ANALYZER_SETTINGS_H

#include "ListSettings.h"

class IR_JVC_AnalyzerSettings : public ListSettings {
public:
    IR_JVC_AnalyzerSettings();

    BitState idleLevel() const { return value(0) ? BIT_HIGH : BIT_LOW; }
};

#endif

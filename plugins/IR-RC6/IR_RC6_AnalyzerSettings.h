#ifndef IR_RC6_ANALYZER_SETTINGS_H
#define IR_RC6_ANALYZER_SETTINGS_H

#include "ListSettings.h"

class IR_RC6_AnalyzerSettings : public ListSettings {
public:
    IR_RC6_AnalyzerSettings();

    // The level of a bit's second half that reads as 1: high for the logic
    // style "rising edge" (1, the default), low for "falling edge" (0).
    BitState oneLevel() const { return value(0) != 0 ? BIT_HIGH : BIT_LOW; }
};

#endif

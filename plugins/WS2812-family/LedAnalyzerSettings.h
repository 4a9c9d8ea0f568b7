#ifndef LEDANALYZERSETTINGS_H
#define LEDANALYZERSETTINGS_H

#include "LedMember.h"

class LedAnalyzerSettings : public ListSettings {
public:
    explicit LedAnalyzerSettings(const LedMember& member) : ListSettings(member.settings) {}

    // Bits per second of the demonstration signal; the decoder does not
    // depend on it.
    U32 bitRate() const { return value(0); }
    // 0: green byte first on the wire, 1: red first.
    U32 orderInFrame() const { return value(1); }
    // 0: shown red first, 1: green first.
    U32 orderInDisplay() const { return value(2); }
    // 0: one value per colour byte, 1: the word as one number.
    U32 displayMode() const { return value(3); }
};

#endif

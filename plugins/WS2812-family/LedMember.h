#ifndef LEDMEMBER_H
#define LEDMEMBER_H
// What one member of the WS2812 family is: its names, its word width and
// texts, its settings table and its demonstration words.

#include "ListSettings.h"

struct LedMember {
    const char* analyzerName;   // display name
    U32 wordBits;               // bits per LED word: 8 per colour byte
    const char* orderText[2];   // by order in display, e.g. "RGB" / "GRB"
    // Lists in archive order: bit rate, order in frame, order in display,
    // display mode.
    SettingsSpec settings;
    U32 demoWords[10];          // one chain of the demonstration signal
};

#endif

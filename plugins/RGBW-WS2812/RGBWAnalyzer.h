#ifndef RGBWANALYZER_H
#define RGBWANALYZER_H

#include "LedAnalyzer.h"

// WS2812 chains of four-colour LEDs (red, green, blue, white): 32-bit words.
class RGBWAnalyzer final : public LedAnalyzer {
public:
    RGBWAnalyzer();
    ~RGBWAnalyzer() override;
};

#endif

#ifndef RGBANALYZER_H
#define RGBANALYZER_H

#include "LedAnalyzer.h"

// WS2812 chains of three-colour LEDs: 24-bit words.
class RGBAnalyzer final : public LedAnalyzer {
public:
    RGBAnalyzer();
    ~RGBAnalyzer() override;
};

#endif

#ifndef IR_RC6_ANALYZER_SETTINGS_H
#define IR_RC6_ANALYZER_SETTINGS_H

#include <AnalyzerSettings.h>
#include <AnalyzerTypes.h>

class IR_RC6_AnalyzerSettings : public AnalyzerSettings {
public:
    IR_RC6_AnalyzerSettings();
    ~IR_RC6_AnalyzerSettings() override;

    bool SetSettingsFromInterfaces() override;
    void LoadSettings(const char* settings) override;
    const char* SaveSettings() override;

    void UpdateInterfacesFromSettings();

    Channel mInputChannel;
    // 1: a bit is 1 when its second half is high (rising edge in the middle);
    // 0: when it is low.
    U32 mLogicStyle;

protected:
    AnalyzerSettingInterfaceChannel* mInputChannelInterface;
    AnalyzerSettingInterfaceNumberList* mLogicStyleInterface;
};

#endif

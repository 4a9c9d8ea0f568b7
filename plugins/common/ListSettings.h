#ifndef LISTSETTINGS_H
#define LISTSETTINGS_H
// Settings of a plug-in whose values are all picked from lists: the input
// channel and one number list per value, described by a table. The table
// gives the archive order; the lists marked shown go to the settings dialog
// after the channel, in the same order.

#include <vector>

#include <AnalyzerSettings.h>
#include <AnalyzerTypes.h>

struct ListEntry {
    U32 value;
    const char* text;
    const char* tooltip;
};

struct ListSpec {
    const char* title;
    const char* tooltip;
    const ListEntry* entries;
    U32 entryCount;
    U32 defaultValue;
    bool shown; // in the settings dialog
};

struct SettingsSpec {
    const char* archiveName;    // the analyzer class name
    const char* channelTooltip;
    const char* channelLabel;
    const ListSpec* lists;      // in archive order
    U32 listCount;
};

class ListSettings : public AnalyzerSettings {
public:
    explicit ListSettings(const SettingsSpec& spec);
    ~ListSettings() override;

    // A value outside its list takes the list's default: the dialog offers
    // only listed values, so any other came from a caller or a text.
    bool SetSettingsFromInterfaces() override;
    // A text of another plug-in is reported through the library and still
    // read from the same positions; values the text lacks stay as they are,
    // values outside their list take the default.
    void LoadSettings(const char* settings) override;
    const char* SaveSettings() override;

    void UpdateInterfacesFromSettings();

    Channel mInputChannel;
    // Value of list k (archive order), always one of the list's values.
    U32 value(U32 k) const { return mValues[k]; }

protected:
    U32 checked(U32 k, U32 v) const;

    const SettingsSpec& mSpec;
    std::vector<U32> mValues;
    AnalyzerSettingInterfaceChannel* mInputChannelInterface;
    std::vector<AnalyzerSettingInterfaceNumberList*> mListInterfaces;
};

#endif

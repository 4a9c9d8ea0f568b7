#ifndef ANALYZERSETTINGS_H
#define ANALYZERSETTINGS_H
// Settings of one analyzer: the interfaces the settings dialog edits, the
// channels in use, the export options and the settings text.
//
// The settings text (SaveSettings) is what the host stores in its
// configuration between ";" separators and trims: plug-ins build it with
// SimpleArchive, whose text has no ";" and no leading or trailing blanks.

#include <string>
#include <vector>

#include "AnalyzerSettingInterface.h"
#include "AnalyzerTypes.h"

class ANALYZER_EXPORT AnalyzerSettings {
public:
    AnalyzerSettings();
    virtual ~AnalyzerSettings();

    // Plug-in hooks, in this order.
    // Takes the values from the interfaces; false refuses them (the host
    // then shows GetSaveErrorMessage()).
    virtual bool SetSettingsFromInterfaces() = 0;
    virtual void LoadSettings(const char* settings) = 0;
    virtual const char* SaveSettings() = 0;
    // One line naming the settings; the library's own answer is "".
    virtual const char* GetSettingBrief();

    // Interfaces in dialog order (not owned).
    U32 GetSettingsInterfacesCount();
    // Null for a position past the list.
    AnalyzerSettingInterface* GetSettingsInterface(U32 index);

    // Channels the analyzer reads, with their labels.
    U32 GetChannelsCount();
    // The channel at a position (label and use flag optional); the undefined
    // channel for a position past the list.
    Channel GetChannel(U32 index, const char** channel_label = nullptr, bool* channel_is_used = nullptr);

    // Export options: each has an id, a text and file types (label, extension).
    U32 GetExportOptionsCount();
    // Option by position; false (outputs untouched) for a position past the list.
    bool GetExportOption(U32 index, U32* export_id, const char** export_text);
    U32 GetFileExtensionCount(U32 export_id);
    // File type by option id and position; false (outputs untouched) when unknown.
    bool GetFileExtension(U32 export_id, U32 index, const char** extension_label, const char** extension);

    // Message for a refused SetSettingsFromInterfaces ("" when none was set).
    const char* GetSaveErrorMessage();

protected:
    void AddInterface(AnalyzerSettingInterface* analyzer_setting_interface);
    void AddExportOption(U32 export_id, const char* export_text);
    // A file type of an option not added before is ignored.
    void AddExportExtension(U32 export_id, const char* extension_label, const char* extension);
    void ClearChannels();
    void AddChannel(const Channel& channel, const char* channel_label, bool is_used);
    void SetErrorText(const char* error_text);
    // Keeps a copy of the text and returns it; valid until the next call.
    const char* SetReturnString(const char* str);

private:
    AnalyzerSettings(const AnalyzerSettings&) = delete;
    AnalyzerSettings& operator=(const AnalyzerSettings&) = delete;

    struct ChannelEntry {
        Channel channel;
        std::string label;
        bool used;
    };
    struct ExtensionEntry {
        std::string label;
        std::string extension;
    };
    struct ExportEntry {
        U32 id;
        std::string text;
        std::vector<ExtensionEntry> extensions;
    };
    std::vector<AnalyzerSettingInterface*> mInterfaces;
    std::vector<ChannelEntry> mChannels;
    std::vector<ExportEntry> mExports;
    std::string mErrorText;
    std::string mReturnString;
};

#endif

#include "AnalyzerSettings.h"

#include <climits>
#include <new>

namespace {
const char* orEmpty(const char* s)
{
    return s ? s : "";
}
}

// ---- setting interfaces ----

AnalyzerSettingInterface::AnalyzerSettingInterface() = default;
AnalyzerSettingInterface::~AnalyzerSettingInterface() = default;

void* AnalyzerSettingInterface::operator new(std::size_t size)
{
    return ::operator new(size);
}

void AnalyzerSettingInterface::operator delete(void* p)
{
    ::operator delete(p);
}

AnalyzerInterfaceTypeId AnalyzerSettingInterface::GetType()
{
    return INTERFACE_BASE;
}

const char* AnalyzerSettingInterface::GetToolTip()
{
    return mToolTip.c_str();
}

const char* AnalyzerSettingInterface::GetTitle()
{
    return mTitle.c_str();
}

void AnalyzerSettingInterface::SetTitleAndTooltip(const char* title, const char* tooltip)
{
    mTitle = orEmpty(title);
    mToolTip = orEmpty(tooltip);
}

AnalyzerSettingInterfaceChannel::AnalyzerSettingInterfaceChannel() : mNoneAllowed(false)
{
}

AnalyzerInterfaceTypeId AnalyzerSettingInterfaceChannel::GetType()
{
    return INTERFACE_CHANNEL;
}

Channel AnalyzerSettingInterfaceChannel::GetChannel()
{
    return mChannel;
}

void AnalyzerSettingInterfaceChannel::SetChannel(const Channel& channel)
{
    mChannel = channel;
}

bool AnalyzerSettingInterfaceChannel::GetSelectionOfNoneIsAllowed()
{
    return mNoneAllowed;
}

void AnalyzerSettingInterfaceChannel::SetSelectionOfNoneIsAllowed(bool is_allowed)
{
    mNoneAllowed = is_allowed;
}

AnalyzerSettingInterfaceNumberList::AnalyzerSettingInterfaceNumberList() : mNumber(0.0)
{
}

AnalyzerInterfaceTypeId AnalyzerSettingInterfaceNumberList::GetType()
{
    return INTERFACE_NUMBER_LIST;
}

double AnalyzerSettingInterfaceNumberList::GetNumber()
{
    return mNumber;
}

void AnalyzerSettingInterfaceNumberList::SetNumber(double number)
{
    mNumber = number;
}

U32 AnalyzerSettingInterfaceNumberList::GetListboxNumbersCount()
{
    return U32(mEntries.size());
}

double AnalyzerSettingInterfaceNumberList::GetListboxNumber(U32 index)
{
    return index < mEntries.size() ? mEntries[index].number : 0.0;
}

const char* AnalyzerSettingInterfaceNumberList::GetListboxString(U32 index)
{
    return index < mEntries.size() ? mEntries[index].text.c_str() : "";
}

const char* AnalyzerSettingInterfaceNumberList::GetListboxTooltip(U32 index)
{
    return index < mEntries.size() ? mEntries[index].tooltip.c_str() : "";
}

void AnalyzerSettingInterfaceNumberList::AddNumber(double number, const char* str, const char* tooltip)
{
    mEntries.push_back(Entry{number, orEmpty(str), orEmpty(tooltip)});
}

void AnalyzerSettingInterfaceNumberList::ClearNumbers()
{
    mEntries.clear();
}

AnalyzerSettingInterfaceInteger::AnalyzerSettingInterfaceInteger() : mValue(0), mMax(INT_MAX), mMin(INT_MIN)
{
}

AnalyzerInterfaceTypeId AnalyzerSettingInterfaceInteger::GetType()
{
    return INTERFACE_INTEGER;
}

int AnalyzerSettingInterfaceInteger::GetInteger()
{
    return mValue;
}

void AnalyzerSettingInterfaceInteger::SetInteger(int integer)
{
    mValue = integer;
}

int AnalyzerSettingInterfaceInteger::GetMax()
{
    return mMax;
}

int AnalyzerSettingInterfaceInteger::GetMin()
{
    return mMin;
}

void AnalyzerSettingInterfaceInteger::SetMax(int max)
{
    mMax = max;
}

void AnalyzerSettingInterfaceInteger::SetMin(int min)
{
    mMin = min;
}

AnalyzerSettingInterfaceText::AnalyzerSettingInterfaceText() = default;

AnalyzerInterfaceTypeId AnalyzerSettingInterfaceText::GetType()
{
    return INTERFACE_TEXT;
}

const char* AnalyzerSettingInterfaceText::GetText()
{
    return mText.c_str();
}

void AnalyzerSettingInterfaceText::SetText(const char* text)
{
    mText = orEmpty(text);
}

AnalyzerSettingInterfaceBool::AnalyzerSettingInterfaceBool() : mValue(false)
{
}

AnalyzerInterfaceTypeId AnalyzerSettingInterfaceBool::GetType()
{
    return INTERFACE_BOOL;
}

bool AnalyzerSettingInterfaceBool::GetValue()
{
    return mValue;
}

void AnalyzerSettingInterfaceBool::SetValue(bool value)
{
    mValue = value;
}

const char* AnalyzerSettingInterfaceBool::GetCheckBoxText()
{
    return mCheckBoxText.c_str();
}

void AnalyzerSettingInterfaceBool::SetCheckBoxText(const char* text)
{
    mCheckBoxText = orEmpty(text);
}

// ---- settings ----

AnalyzerSettings::AnalyzerSettings() = default;
AnalyzerSettings::~AnalyzerSettings() = default;

const char* AnalyzerSettings::GetSettingBrief()
{
    return "";
}

U32 AnalyzerSettings::GetSettingsInterfacesCount()
{
    return U32(mInterfaces.size());
}

AnalyzerSettingInterface* AnalyzerSettings::GetSettingsInterface(U32 index)
{
    return index < mInterfaces.size() ? mInterfaces[index] : nullptr;
}

U32 AnalyzerSettings::GetChannelsCount()
{
    return U32(mChannels.size());
}

Channel AnalyzerSettings::GetChannel(U32 index, const char** channel_label, bool* channel_is_used)
{
    if (index >= mChannels.size()) {
        if (channel_label)
            *channel_label = "";
        if (channel_is_used)
            *channel_is_used = false;
        return UNDEFINED_CHANNEL;
    }
    const ChannelEntry& e = mChannels[index];
    if (channel_label)
        *channel_label = e.label.c_str();
    if (channel_is_used)
        *channel_is_used = e.used;
    return e.channel;
}

U32 AnalyzerSettings::GetExportOptionsCount()
{
    return U32(mExports.size());
}

bool AnalyzerSettings::GetExportOption(U32 index, U32* export_id, const char** export_text)
{
    if (index >= mExports.size())
        return false;
    if (export_id)
        *export_id = mExports[index].id;
    if (export_text)
        *export_text = mExports[index].text.c_str();
    return true;
}

U32 AnalyzerSettings::GetFileExtensionCount(U32 export_id)
{
    for (const ExportEntry& e : mExports)
        if (e.id == export_id)
            return U32(e.extensions.size());
    return 0;
}

bool AnalyzerSettings::GetFileExtension(U32 export_id, U32 index, const char** extension_label, const char** extension)
{
    for (const ExportEntry& e : mExports) {
        if (e.id != export_id)
            continue;
        if (index >= e.extensions.size())
            return false;
        if (extension_label)
            *extension_label = e.extensions[index].label.c_str();
        if (extension)
            *extension = e.extensions[index].extension.c_str();
        return true;
    }
    return false;
}

const char* AnalyzerSettings::GetSaveErrorMessage()
{
    return mErrorText.c_str();
}

void AnalyzerSettings::AddInterface(AnalyzerSettingInterface* analyzer_setting_interface)
{
    if (analyzer_setting_interface)
        mInterfaces.push_back(analyzer_setting_interface);
}

void AnalyzerSettings::AddExportOption(U32 export_id, const char* export_text)
{
    for (ExportEntry& e : mExports) {
        if (e.id == export_id) {
            e.text = orEmpty(export_text);
            return;
        }
    }
    mExports.push_back(ExportEntry{export_id, orEmpty(export_text), {}});
}

void AnalyzerSettings::AddExportExtension(U32 export_id, const char* extension_label, const char* extension)
{
    for (ExportEntry& e : mExports) {
        if (e.id == export_id) {
            e.extensions.push_back(ExtensionEntry{orEmpty(extension_label), orEmpty(extension)});
            return;
        }
    }
}

void AnalyzerSettings::ClearChannels()
{
    mChannels.clear();
}

void AnalyzerSettings::AddChannel(const Channel& channel, const char* channel_label, bool is_used)
{
    mChannels.push_back(ChannelEntry{channel, orEmpty(channel_label), is_used});
}

void AnalyzerSettings::SetErrorText(const char* error_text)
{
    mErrorText = orEmpty(error_text);
}

const char* AnalyzerSettings::SetReturnString(const char* str)
{
    mReturnString = orEmpty(str);
    return mReturnString.c_str();
}

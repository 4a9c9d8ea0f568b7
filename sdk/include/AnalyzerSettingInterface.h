#ifndef ANALYZERSETTINGINTERFACE_H
#define ANALYZERSETTINGINTERFACE_H
// One user-editable setting of an analyzer, as the settings dialog shows it.
// Plug-ins allocate these with the class's own operator new (so allocation
// and release both happen in this library) and delete them themselves;
// AnalyzerSettings does not own them.

#include <cstddef>
#include <string>
#include <vector>

#include "AnalyzerTypes.h"

// The kind numbers the settings dialog switches on.
enum AnalyzerInterfaceTypeId : int {
    INTERFACE_BASE = 0,
    INTERFACE_CHANNEL = 1,
    INTERFACE_NUMBER_LIST = 2,
    INTERFACE_INTEGER = 3,
    INTERFACE_TEXT = 4,
    INTERFACE_BOOL = 5
};

class ANALYZER_EXPORT AnalyzerSettingInterface {
public:
    AnalyzerSettingInterface();
    virtual ~AnalyzerSettingInterface();
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    virtual AnalyzerInterfaceTypeId GetType();
    const char* GetToolTip();
    const char* GetTitle();
    void SetTitleAndTooltip(const char* title, const char* tooltip); // null reads as ""

private:
    std::string mTitle;
    std::string mToolTip;
};

class ANALYZER_EXPORT AnalyzerSettingInterfaceChannel : public AnalyzerSettingInterface {
public:
    AnalyzerSettingInterfaceChannel();
    AnalyzerInterfaceTypeId GetType() override;
    Channel GetChannel();
    void SetChannel(const Channel& channel);
    bool GetSelectionOfNoneIsAllowed();
    void SetSelectionOfNoneIsAllowed(bool is_allowed); // false at construction

private:
    Channel mChannel;
    bool mNoneAllowed;
};

class ANALYZER_EXPORT AnalyzerSettingInterfaceNumberList : public AnalyzerSettingInterface {
public:
    AnalyzerSettingInterfaceNumberList();
    AnalyzerInterfaceTypeId GetType() override;
    double GetNumber();
    void SetNumber(double number);
    U32 GetListboxNumbersCount();
    // Entries by position; a position past the list gives 0 or "".
    double GetListboxNumber(U32 index);
    const char* GetListboxString(U32 index);
    const char* GetListboxTooltip(U32 index);
    void AddNumber(double number, const char* str, const char* tooltip);
    void ClearNumbers();

private:
    struct Entry {
        double number;
        std::string text;
        std::string tooltip;
    };
    std::vector<Entry> mEntries;
    double mNumber;
};

class ANALYZER_EXPORT AnalyzerSettingInterfaceInteger : public AnalyzerSettingInterface {
public:
    AnalyzerSettingInterfaceInteger();
    AnalyzerInterfaceTypeId GetType() override;
    int GetInteger();
    void SetInteger(int integer);
    int GetMax(); // INT_MAX at construction
    int GetMin(); // INT_MIN at construction
    void SetMax(int max);
    void SetMin(int min);

private:
    int mValue;
    int mMax;
    int mMin;
};

class ANALYZER_EXPORT AnalyzerSettingInterfaceText : public AnalyzerSettingInterface {
public:
    AnalyzerSettingInterfaceText();
    AnalyzerInterfaceTypeId GetType() override;
    const char* GetText();
    void SetText(const char* text); // null reads as ""

private:
    std::string mText;
};

class ANALYZER_EXPORT AnalyzerSettingInterfaceBool : public AnalyzerSettingInterface {
public:
    AnalyzerSettingInterfaceBool();
    AnalyzerInterfaceTypeId GetType() override;
    bool GetValue();
    void SetValue(bool value);
    const char* GetCheckBoxText();
    void SetCheckBoxText(const char* text);

private:
    bool mValue;
    std::string mCheckBoxText;
};

#endif

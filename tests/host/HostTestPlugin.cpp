// A small analyzer plug-in for the host tests. Its "Mode" setting picks the
// decode: 0 one frame per level run of the input until the data ends,
// 1 report progress until stopped, 2 three frames without reading the input,
// 3 ask for the input channel again and again until stopped, 4 three frames
// as in 2, then progress until stopped.
// "Rerun" asks for exactly one re-run. Input and Aux on one channel are
// refused. Export option 0 writes one line per frame; option 1 stays at 50 %
// until cancelled. Two export ids no menu offers: 2 never opens the file,
// 3 opens it and writes nothing.
// Built in variants: HOST_TEST_B (another name, supports models 101 and 102
// only), HOST_TEST_NO_DESTROY (lacks the DestroyAnalyzer export) and
// HOST_TEST_PLAIN (named after its file, "libUART.so" is "UART"; only the
// two channel settings; nothing to export).

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "Analyzer.h"
#include "AnalyzerHelpers.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"

#define HT_EXPORT extern "C" __attribute__((visibility("default")))

#ifdef HOST_TEST_PLAIN
#include <dlfcn.h>
#include <string>

static const char* nameFromFile()
{
    static std::string name = [] {
        Dl_info info{};
        std::string n = "Plain";
        if (dladdr(reinterpret_cast<void*>(&nameFromFile), &info) && info.dli_fname) {
            n = info.dli_fname;
            n = n.substr(n.rfind('/') + 1);
            if (n.compare(0, 3, "lib") == 0)
                n = n.substr(3);
            n = n.substr(0, n.find(".so"));
        }
        return n;
    }();
    return name.c_str();
}
#endif

#ifdef HOST_TEST_B
static const char* const kName = "Host Test B";
#elif defined(HOST_TEST_PLAIN)
static const char* const kName = nameFromFile();
#else
static const char* const kName = "Host Test";
#endif

static std::atomic<int> gDestroyed{0};
static std::atomic<int> gLive{0};

class HtSettings : public AnalyzerSettings {
public:
    HtSettings()
    {
        input = new AnalyzerSettingInterfaceChannel();
        input->SetTitleAndTooltip("Input", "Decoded channel");
        input->SetChannel(mInput);
        aux = new AnalyzerSettingInterfaceChannel();
        aux->SetTitleAndTooltip("Aux", "Second channel");
        aux->SetSelectionOfNoneIsAllowed(true);
        aux->SetChannel(mAux);
        mode = new AnalyzerSettingInterfaceInteger();
        mode->SetTitleAndTooltip("Mode", "Decode mode");
        mode->SetMin(0);
        mode->SetMax(4);
        rerun = new AnalyzerSettingInterfaceBool();
        rerun->SetTitleAndTooltip("Rerun", "");
        AddInterface(input);
        AddInterface(aux);
#ifndef HOST_TEST_PLAIN
        AddInterface(mode);
        AddInterface(rerun);
        AddExportOption(0, "Export as text file");
        AddExportExtension(0, "Text file", "txt");
        AddExportOption(1, "Endless export");
        AddExportExtension(1, "Text file", "txt");
#endif
        ClearChannels();
        AddChannel(mInput, "Input", false);
    }
    ~HtSettings() override
    {
        delete input;
        delete aux;
        delete mode;
        delete rerun;
    }
    bool SetSettingsFromInterfaces() override
    {
        if (!input->GetChannel().IsUndefined() && input->GetChannel() == aux->GetChannel()) {
            SetErrorText("Input and Aux must differ");
            return false;
        }
        mInput = input->GetChannel();
        mAux = aux->GetChannel();
        mMode = mode->GetInteger();
        mRerun = rerun->GetValue();
        ClearChannels();
        AddChannel(mInput, "Input", true);
        return true;
    }
    void LoadSettings(const char* settings) override
    {
        SimpleArchive ar;
        ar.SetString(settings);
        Channel c;
        if (ar >> c)
            mInput = c;
        if (ar >> c)
            mAux = c;
        S32 m;
        if (ar >> m)
            mMode = m;
        bool r;
        if (ar >> r)
            mRerun = r;
        input->SetChannel(mInput);
        aux->SetChannel(mAux);
        mode->SetInteger(mMode);
        rerun->SetValue(mRerun);
        ClearChannels();
        AddChannel(mInput, "Input", true);
    }
    const char* SaveSettings() override
    {
        SimpleArchive ar;
        ar << mInput;
        ar << mAux;
        ar << S32(mMode);
        ar << mRerun;
        return SetReturnString(ar.GetString());
    }

    Channel mInput;
    Channel mAux;
    int mMode = 0;
    bool mRerun = false;
    AnalyzerSettingInterfaceChannel* input;
    AnalyzerSettingInterfaceChannel* aux;
    AnalyzerSettingInterfaceInteger* mode;
    AnalyzerSettingInterfaceBool* rerun;
};

class HtResults : public AnalyzerResults {
public:
    void GenerateBubbleText(U64, Channel&, DisplayBase) override
    {
        ClearResultStrings();
        AddResultString("F");
    }
    void GenerateExportFile(const char* file, DisplayBase, U32 option) override
    {
        if (option == 2)
            return;
        void* f = AnalyzerHelpers::StartFile(file);
        if (!f) {
            ReportExportFailure();
            return;
        }
        bool ok = true;
        if (option == 1) {
            while (!UpdateExportProgressAndCheckForCancel(1, 2))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else if (option != 3) {
            const U64 n = GetNumFrames();
            for (U64 i = 0; i < n; ++i) {
                const Frame fr = GetFrame(i);
                char line[64];
                std::snprintf(line, sizeof line, "%lld,%lld\n", (long long)fr.mStartingSampleInclusive,
                              (long long)fr.mEndingSampleInclusive);
                ok = AnalyzerHelpers::AppendToFile(reinterpret_cast<const U8*>(line), U32(std::strlen(line)), f) && ok;
                if (UpdateExportProgressAndCheckForCancel(i + 1, n))
                    break;
            }
        }
        if (!AnalyzerHelpers::EndFile(f) || !ok)
            ReportExportFailure();
    }
    void GenerateFrameTabularText(U64 i, DisplayBase) override
    {
        ClearTabularText();
        char t[32];
        std::snprintf(t, sizeof t, "frame %llu", (unsigned long long)i);
        AddTabularText(t);
    }
    void GeneratePacketTabularText(U64, DisplayBase) override {}
    void GenerateTransactionTabularText(U64, DisplayBase) override {}
};

class HtAnalyzer : public Analyzer {
public:
    HtAnalyzer()
    {
        ++gLive;
        SetAnalyzerSettings(&mSettings);
    }
    ~HtAnalyzer() override
    {
        KillThread();
        SetAnalyzerResults(nullptr);
        delete mResults;
        --gLive;
    }
    void SetupResults() override
    {
        auto* r = new HtResults();
        SetAnalyzerResults(r);
        delete mResults;
        mResults = r;
        r->AddChannelBubblesWillAppearOn(mSettings.mInput);
    }
    void WorkerThread() override
    {
        ++mRuns;
        if (mSettings.mMode == 1) {
            for (;;) {
                ReportProgress(0);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        if (mSettings.mMode == 3) {
            // Every call reads the host's capture record afresh.
            for (;;) {
                AnalyzerChannelData* c = GetAnalyzerChannelData(mSettings.mInput);
                ReportProgress(U64(c->GetBitState()));
            }
        }
        if (mSettings.mMode == 2 || mSettings.mMode == 4) {
            for (int i = 0; i < 3; ++i) {
                Frame f;
                f.mStartingSampleInclusive = 10 * i;
                f.mEndingSampleInclusive = 10 * i + 5;
                mResults->AddFrame(f);
            }
            mResults->CommitResults();
            while (mSettings.mMode == 4) {
                ReportProgress(0);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return;
        }
        AnalyzerChannelData* c = GetAnalyzerChannelData(mSettings.mInput);
        for (;;) {
            const U64 start = c->GetSampleNumber();
            const BitState level = c->GetBitState();
            c->AdvanceToNextEdge();
            Frame f;
            f.mStartingSampleInclusive = S64(start);
            f.mEndingSampleInclusive = S64(c->GetSampleNumber()) - 1;
            f.mData1 = level;
            mResults->AddFrame(f);
            mResults->CommitResults();
            ReportProgress(c->GetSampleNumber());
        }
    }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor** out) override
    {
        *out = nullptr;
        return 0;
    }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return kName; }
    bool NeedsRerun() override { return mSettings.mRerun && mRuns.load() == 1; }

private:
    HtSettings mSettings;
    HtResults* mResults = nullptr;
    std::atomic<int> mRuns{0};
};

HT_EXPORT Analyzer* CreateAnalyzer()
{
    return new HtAnalyzer();
}

#ifndef HOST_TEST_NO_DESTROY
HT_EXPORT void DestroyAnalyzer(Analyzer* a)
{
    if (!a)
        return;
    ++gDestroyed;
    delete a;
}
#endif

HT_EXPORT const char* GetAnalyzerName()
{
    return kName;
}

#ifdef HOST_TEST_B
HT_EXPORT const char* GetParaInfoList()
{
    return "101,102";
}
#endif

// For the tests: instances alive and DestroyAnalyzer calls of this file.
HT_EXPORT int HostTestLive()
{
    return gLive.load();
}

HT_EXPORT int HostTestDestroyed()
{
    return gDestroyed.load();
}

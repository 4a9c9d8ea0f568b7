#ifndef PATTERNANALYZER_H
#define PATTERNANALYZER_H
// What every plug-in's analyzer does alike: it owns its settings, its results
// (made anew for every decode run) and its simulation generator (set up at
// the first simulation call), and never asks for a re-run. The decoder
// itself, the names and the minimum rate stay with each plug-in.
//
// The plug-in's analyzer is a final class whose own destructor calls
// KillThread() first, before its type changes under the decode and its
// members go, as the library requires (Analyzer.h).

#include <memory>
#include <type_traits>
#include <utility>

#include <Analyzer.h>

template <class Settings, class Results, class Generator>
class PatternAnalyzer : public Analyzer {
public:
    U32 GenerateSimulationData(U64 newest_sample_requested, U32 sample_rate,
                               SimulationChannelDescriptor** simulation_channels) override
    {
        if (!mSimulationInitilized) {
            mSimulationDataGenerator.Initialize(GetSimulationSampleRate(), mSettings.get());
            mSimulationInitilized = true;
        }
        return mSimulationDataGenerator.GenerateSimulationData(newest_sample_requested, sample_rate,
                                                               simulation_channels);
    }

    bool NeedsRerun() override { return false; }

    void SetupResults() override
    {
        std::unique_ptr<Results> results(makeResults());
        // Publish the new results before the old ones go.
        SetAnalyzerResults(results.get());
        mResults.swap(results);
        mResults->AddChannelBubblesWillAppearOn(mSettings->mInputChannel);
    }

protected:
    // Takes the settings; the generator is made from the further arguments.
    template <class... GeneratorArgs>
    explicit PatternAnalyzer(Settings* settings, GeneratorArgs&&... generator_args)
        : mSettings(settings), mSimulationDataGenerator(std::forward<GeneratorArgs>(generator_args)...)
    {
        SetAnalyzerSettings(mSettings.get());
    }

    virtual Results* makeResults() = 0;

    // For WorkerThread: the cursor of the input channel; null (nothing to
    // decode) before SetupResults has made results, or outside a run when
    // the channel has no data.
    AnalyzerChannelData* inputCursor()
    {
        return mResults ? GetAnalyzerChannelData(mSettings->mInputChannel) : nullptr;
    }

    // Adds a frame to the results (not yet committed).
    void AddResultFrame(U64 start, U64 end, U8 flags, U64 data1, U8 type = 0, U64 data2 = 0)
    {
        Frame frame;
        frame.mStartingSampleInclusive = S64(start);
        frame.mEndingSampleInclusive = S64(end);
        frame.mFlags = flags;
        frame.mData1 = data1;
        frame.mType = type;
        frame.mData2 = data2;
        mResults->AddFrame(frame);
    }

    std::unique_ptr<Settings> mSettings;
    std::unique_ptr<Results> mResults;
    Generator mSimulationDataGenerator;
    bool mSimulationInitilized = false;
};

// The three C functions the host looks up in a plug-in: the name it lists
// the plug-in under, and making and destroying an analyzer of the class
// (made without arguments). Written once, in the plug-in's analyzer source.
#define CORVENA_ANALYZER_EXPORTS(AnalyzerClass, name)                                                                \
    static_assert(std::is_final<AnalyzerClass>::value,                                                           \
                  "the analyzer is final; its own destructor calls KillThread() first");                         \
    extern "C" ANALYZER_EXPORT const char* GetAnalyzerName()                                                     \
    {                                                                                                            \
        return name;                                                                                             \
    }                                                                                                            \
    extern "C" ANALYZER_EXPORT Analyzer* CreateAnalyzer()                                                        \
    {                                                                                                            \
        return new AnalyzerClass();                                                                              \
    }                                                                                                            \
    extern "C" ANALYZER_EXPORT void DestroyAnalyzer(Analyzer* analyzer)                                          \
    {                                                                                                            \
        delete analyzer;                                                                                         \
    }

#endif

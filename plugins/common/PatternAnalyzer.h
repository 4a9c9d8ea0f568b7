#ifndef PATTERNANALYZER_H
#define PATTERNANALYZER_H
// What every plug-in's analyzer does alike: it owns its settings, its results
// (made anew for every decode run) and its simulation generator (set up at
// the first simulation call), and never asks for a re-run. The decoder
// itself, the names and the minimum rate stay with each plug-in.
//
// A concrete analyzer calls KillThread() first in its own destructor, before
// any of its members go, as the library requires.

#include <memory>
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

    std::unique_ptr<Settings> mSettings;
    std::unique_ptr<Results> mResults;
    Generator mSimulationDataGenerator;
    bool mSimulationInitilized = false;
};

#endif

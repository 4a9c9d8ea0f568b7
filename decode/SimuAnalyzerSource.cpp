#include "decode/SimuAnalyzerSource.h"

#include <QVector>
#include <limits>
#include <unordered_map>

#include "Analyzer.h"
#include "SimulationChannelDescriptor.h"
#include "decode/AnalyzerManager.h"
#include "device/DevSimulate.h"

namespace {

class AnalyzerSimuSource : public SimuSource
{
public:
    explicit AnalyzerSimuSource(long long rate)
        : simRate(rate > 0 ? U64(rate) : 0)
    {
        analyzers = AnalyzerManager::getAllSimuAnalyzers();
        for (Analyzer* a : analyzers)
            a->Init(nullptr, &simRate, nullptr);
    }

    ~AnalyzerSimuSource() override { AnalyzerManager::deleteSimuAnalyzers(analyzers); }

    void generate(long long newestSample, long long rate, std::vector<SimuChannelData*>& out) override
    {
        if (newestSample < 0 || rate <= 0)
            return;
        // The analyzers take a 32-bit rate; faster demonstration rates are
        // beyond what any simulated protocol needs.
        const U32 rate32 = rate > (long long)std::numeric_limits<U32>::max()
                               ? std::numeric_limits<U32>::max() : U32(rate);
        for (Analyzer* a : analyzers) {
            SimulationChannelDescriptor* descs = nullptr;
            const U32 n = a->GenerateSimulationData(U64(newestSample), rate32, &descs);
            for (U32 i = 0; descs && i < n; ++i) {
                SimulationChannelDescriptor& d = descs[i];
                SimuChannelData& s = data[&d];
                const Channel ch = d.GetChannel();
                // The undefined channel (all ones) and anything beyond int
                // become -1, which the simulation ignores.
                s.chn = ch.IsUndefined() || ch.mChannelIndex > U32(std::numeric_limits<int>::max())
                            ? -1 : int(ch.mChannelIndex);
                s.initialLevel = d.GetInitialBitState() == BIT_HIGH ? 1 : 0;
                s.currentLevel = d.GetCurrentBitState() == BIT_HIGH ? 1 : 0;
                std::vector<S32>* runs = d.GetData();
                s.runs.assign(runs->begin(), runs->end());
                runs->clear();
                out.push_back(&s);
            }
        }
    }

private:
    U64 simRate;
    QVector<Analyzer*> analyzers;
    // Per descriptor of the analyzers, stable for the cycle.
    std::unordered_map<const SimulationChannelDescriptor*, SimuChannelData> data;
};

} // namespace

std::unique_ptr<SimuSource> makeAnalyzerSimuSource(long long rate)
{
    return std::make_unique<AnalyzerSimuSource>(rate);
}

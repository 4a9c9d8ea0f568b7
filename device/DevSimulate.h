#ifndef DEVSIMULATE_H
#define DEVSIMULATE_H
// Demonstration captures: random square waves on every enabled channel and,
// on the channels that protocol analyzers use, the traffic those analyzers
// simulate. Paced like a real capture and delivered through the device's
// spare store like one.

#include <QRandomGenerator>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

class DevBase;

// One channel's simulated traffic as an analyzer hands it over: run lengths
// in samples, alternating levels, since the last block. The reader empties
// `runs` after each block.
struct SimuChannelData {
    int chn = -1;            // program channel index; out of range is ignored
    int initialLevel = 0;    // level at sample 0
    int currentLevel = 0;    // level after the last run
    std::vector<int> runs;
};

// The analyzers in use, seen from the simulation. One source lives for one
// capture cycle; destroying it returns its analyzers to their plug-ins.
class SimuSource
{
public:
    virtual ~SimuSource() = default;
    // Generates traffic up to sample `newestSample`; appends the descriptors
    // (owned by the source, stable across blocks) to `out`.
    virtual void generate(long long newestSample, long long rate, std::vector<SimuChannelData*>& out) = 0;
};

using SimuSourceFactory = std::function<std::unique_ptr<SimuSource>(long long rate)>;

class SmpSimulate : public QThread
{
    Q_OBJECT
public:
    explicit SmpSimulate(DevBase* dev);

    // Installed by the analyzer host; none means square waves only.
    static void setSourceFactory(SimuSourceFactory f);

    static int getBlockTime(long long depth, long long rate);
    static int getPeriodPoints(long long depth, long long blockSmp);
    // Allocates (malloc) and fills one channel's run lengths; returns their
    // count, 0 when memory ran out.
    int genSimuData(int** out, long long blockSmp, int period);

protected:
    void run() override;

private:
    void threadLA();
    void threadOsc();
    // Sleeps up to ms, waking early for a stop request.
    void pause(int ms);

    DevBase* dev;
    int periodStep = 0;    // stretches successive channels' periods, 0..5
    QRandomGenerator rng;
};

#endif

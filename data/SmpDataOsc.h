#ifndef SMPDATAOSC_H
#define SMPDATAOSC_H
// One oscilloscope capture: per analog channel up to 51200 signed 16-bit
// converter codes with the conversion constants they were taken with. Turns
// codes into millivolts, reduces them to pixel columns, combines two
// channels into the math trace and measures thirteen quantities.
//
// A code c of a channel is mV(c) = (c x 0.5 / scale - offset / 1000) x gain
// x 10, where gain is the channel's V/div in mV and offset its zero line in
// thousandths of the screen height: a code of +-scale lies at the top or
// bottom edge of the screen whatever the V/div.

#include <QVector>

#include <cstdint>
#include <vector>

class QIODevice;
class QRandomGenerator;

// Samples a channel record holds.
constexpr int OSC_MAX_SAMPLES = 51200;

struct AnalogChnData {
    int16_t samples[OSC_MAX_SAMPLES];
    int32_t count;      // valid samples
    int32_t trgIndex;   // sample index of the trigger
    int32_t scale;      // codes from the zero line to the screen edge (> 0)
    int32_t offset;     // zero line, thousandths of the screen height
    int32_t gain;       // V/div of the capture, mV
    int64_t smpFrequ;   // Hz
};

// One pixel column of an analog trace: the largest and smallest value (mV)
// of the samples under it, or with `single` set one sample's value in `min`.
struct WaveLineA {
    int x;
    double max;
    double min;
    int single;
};

// Indices of the measurement array (the order of Config::measTabACH).
enum OscMeasureIndex : int {
    MeasVtop = 0, MeasVbase, MeasVamp, MeasVpp, MeasVavg, MeasVrms, MeasPeriod, MeasFrequency,
    MeasRiseTime, MeasFallTime, MeasPosWidth, MeasNegWidth, MeasDutyCycle, MeasCount
};

class SmpDataOsc
{
public:
    // chnNum analog channels; lgcChnNum is the device's logic channel count
    // (kept for the capture file only).
    SmpDataOsc(int chnNum, int lgcChnNum);
    ~SmpDataOsc();
    SmpDataOsc(const SmpDataOsc&) = delete;
    SmpDataOsc& operator=(const SmpDataOsc&) = delete;

    // Frees every channel record and math cache.
    void clearData();
    // Clears the store, keeps rate and trgRecord and opens an empty record
    // (count 0, trigger 0) for every enabled channel with its constants; a
    // channel whose scale is not positive gets none. 1 ok, 0 out of memory
    // (the store is then empty).
    int dataConvertStart(int trgRecord, long long rate, const int* gain, const int* scale, const int* offset,
                         const bool* enabled);
    // Closes a conversion: a trigger index past a channel's samples (the
    // device's count is not trusted) is moved to its end, and trgRecord to
    // the end of the longest channel.
    void dataConvertComplete();

    // The channel's record, or null (no capture on it, or chn out of range).
    AnalogChnData* record(int chn) const;
    // Sample count, with *samples pointing at the codes; 0 without a record.
    int getAnalogData(int chn, short** samples) const;
    bool hasValidDataA(int chn) const;

    // Fills chn with `count` (at most OSC_MAX_SAMPLES) samples of the
    // demonstration signal; channel 0 a sine, others `table` stretched over
    // the capture; trigger at triggerPermille of it. A channel without a
    // record or out of range is left alone. Returns 1.
    int dataConvertSimu(const int* table, int tableLength, int chn, int triggerPermille, int count,
                        QRandomGenerator* rng);

    // Pixel columns of a channel (see the .cpp for the rules); the number
    // written to out, at most width.
    int getAWaveLineData(int chn, double start, double samplesPerPixel, int width, WaveLineA* out) const;
    // Math trace of pair[0] (op) pair[1]: op 0 sum, 1 difference, 2
    // product, 3 quotient; columns as getAWaveLineData.
    int getAMathWaveLineData(int op, const int* pair, double start, double samplesPerPixel, int width,
                             WaveLineA* out);
    // The thirteen measurements over [start, start + length); a flag false
    // where a value could not be measured. Sets the channel's max/min level.
    void getAParameterValues(int chn, double start, double length, double* values, bool* valid);
    // Level crossings: per period rising through low, rising through high,
    // falling through high, falling through low (indices into s); none
    // unless high > low.
    static QVector<long long> getPeriodSubA(const short* s, long long n, int high, int low);

    // The capture-file part ("bzdms"): false when the device cannot take it
    // all. Reading refuses a damaged part (wrong magic or channel count, a
    // channel out of range or repeated, fewer than 2 or more than
    // OSC_MAX_SAMPLES samples, a trigger index outside 0..count, scale or gain
    // not positive, an offset beyond +-500, a rate outside 1 Hz to 1 THz, a
    // trgRecord past the longest channel, short data) and leaves the store
    // empty.
    bool writeFile(QIODevice& out) const;
    bool readFile(QIODevice& in);

    int chnNum;
    int lgcChnNum;
    long long smpFrequ = 0;
    // The trigger record the capture was started with (0 for simulated
    // data); the channels' own trigger index is what the views use.
    int trgRecord = 0;
    // Largest and smallest level (mV) the latest measurement of each channel
    // found; read by the auto scale.
    QVector<double> maxLevel;
    QVector<double> minLevel;

private:
    struct MathCache {
        double* values = nullptr;     // normalised, one per sample
        int gain = 0;                 // common gain the values were made for
    };
    void fillMathCache(int chn, int commonGain);
    // Samples of the longest channel, 0 without any.
    int longestCount() const;

    std::vector<AnalogChnData*> data;
    std::vector<MathCache*> math;
};

// Buffer-mode read-out of the converters: signed little-endian 16-bit
// words, one per enabled channel in turn (one channel: both converters in
// turn, every word a sample of it). A code is round(raw x slope / 1000) +
// zero of the word's converter.
struct OscWordState {
    int chn[2] = {0, 0};        // channel of each enabled slot
    int nEna = 0;               // enabled channels (1 or 2)
    int slope[2] = {1000, 1000};
    int zero[2] = {0, 0};       // the dual or single zero by nEna
    long long words = 0;        // words converted so far
    bool haveOdd = false;       // a word split between two transfers
    uint8_t oddByte = 0;
};
// Appends the words of one transfer to the records of the enabled channels;
// words past a record's capacity are dropped. Returns the bytes taken.
int smpDataOscConvertWords(SmpDataOsc* s, OscWordState* st, const unsigned char* buf, int len);

#endif

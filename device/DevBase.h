#ifndef DEVBASE_H
#define DEVBASE_H
// The device object: settings model of the current analyzer, sampling
// control, the register protocol that carries the settings to the hardware,
// and the two sample stores (one shown, one being filled).

#include <QByteArray>
#include <QObject>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <functional>

#include "config/Types.h"
#include "data/SmpData.h"
#include "data/SmpDataOsc.h"

class QRandomGenerator;
class QThread;
class SmpSimulate;
class SmpCtrlNormal;
class SmpCtrlStream;
class SmpCnvtStream;

class DevBase : public QObject
{
    Q_OBJECT
public:
    explicit DevBase(QObject* parent = nullptr);
    // Every class that is instantiated calls smpStopAndWait() in its own
    // destructor: the capture thread makes virtual calls on the device, and
    // none may race the destruction of a derived part.
    ~DevBase() override;

    // ---- factory ----
    static DevBase* createDevice(int model);
    static bool queryModelSupport(int model);

    // Identity bytes read from the device at start-up.
    static QByteArray devBatch;

    // Called on the GUI thread right before the shown store is cleared or
    // swapped, so the owner of the display can first make its readers idle.
    static std::function<void()> shownStoreGate;

    // ---- virtual operations ----
    virtual int devConnect(unsigned char* info);
    virtual bool supportDualMode() const = 0;
    virtual void setSmpMode(int mode) = 0;
    virtual void setWorkMode(int mode) { workMode = mode; }
    // Writes the calibration record to the device; true when it was stored
    // (the base has none to store).
    virtual bool saveCalibParam() { return false; }

    void devDisconnect();
    void devStandby();

    // ---- sampling control ----
    void smpStart(int mode, bool bySocket);
    void smpStop();
    void smpStopAndWait();
    bool smpStopForRestart();
    void smpRestartIfNeed();
    // Runs `change` with a running capture stopped around it and restarts
    // that capture exactly once afterwards (not at all when the device is
    // replaced meanwhile). Without a device only `change` runs.
    static void changeWithRestart(DevBase* dev, const std::function<void()>& change);
    // Counts smpStart calls: a capture announced while it still equals the
    // value read after a start belongs to that start.
    unsigned captureGeneration() const { return smpGeneration; }
    long long getExpectDepth() const;
    long long getPreTrgDepth() const;

    // ---- settings ----
    bool setSmpFrequ(int index);
    bool setSmpDepth(int index);
    bool setSmpTime(double seconds);
    bool setDChnEna(const QVector<bool>& ena);
    bool setDChnTrg(int chn, int type);
    bool setTrgPosition(int percent);
    int getTrgPosition() const;
    long long getSmpFrequ() const;
    int getDChnEnaNum() const;
    int getMaxChnEnaNum(long long rate) const;
    long long getMaxSmpFrequ(int chnNum) const;
    int getMinSmpFrequIndex(int chnNum) const;
    void checkSmpFrequToLower();
    void checkDChnEnaToLess();
    QStringList getSmpFrequStringList() const;
    QStringList getSmpDepthStringList() const;
    void loadSmpFrequ();
    void loadSmpDepth();
    void loadDChnSettings();
    void genSmpFrequList(int mode, long long maxRate);
    void genSmpDepthList(int mode);
    void genChnFrequMap(long long maxRate);
    void updateSmpModeEmitSig(int mode);
    void setAutoReadBuf();
    bool queryDevFunction(int f) const;
    bool setVthValue(double volts, int group);
    void restoreVthValue();
    void setPWMEnable(bool e0, bool e1);
    bool getPWMEnable(int i) const;
    void setPWMValue(int i, double frequ, double duty);
    void getPWMValue(int i, double* frequ, double* duty) const;
    void restorePWMValue();
    void saveToolbarPWMSet(bool on);
    void genDataForAnly(DataForAnly* rec) const;
    int chnNum() const { return chnEna.size(); }

    // Encodings of the threshold and PWM registers (pure, for the upload).
    static void encodeVth(double vthRef, double volts, uint16_t* value, uint16_t* code);
    // False when no usable period exists (no base clock, bad frequency).
    static bool encodePWM(long long baseClock, double frequ, double duty,
                          uint32_t* periodCount, uint32_t* highCount);

    // ---- register protocol ----
    int reqSmpStart();
    int reqSmpStop();
    int reqAutoBulkReadPrepare();
    int reqAutoBulkRead();
    int reqMemReadStart(int address, int length);
    int getRunSta(unsigned* status);
    static int decodeRunSta(unsigned status);
    int checkMemorySta();
    int getDChnSta(bool* level, bool* active);
    int getSmpResultInfo(int* records, int* trgRecord, int* endAddress);
    int reqSmpSettings();
    static void S64ToBytes(int64_t value, unsigned char* out, int n);
    static uint32_t getCheckSum(const unsigned char* data, int n);
    void buildChnMasks(unsigned char out[16]) const;

    // ---- sample stores (both owned here) ----
    SmpData* shownData() const { return smpData[smpDataSel == 2 ? 1 : 0]; }
    SmpData* fillData() const { return smpData[smpDataSel == 2 ? 0 : 1]; }
    // Opens empty tables in the spare store for the channels of smpChnEna;
    // false when they could not be opened (out of memory).
    bool dataConvertStart(int trgRecordIndex);
    // Appends run lengths to a channel of the store being filled, starting at
    // *pos; extendLast moves the last stored entry instead of adding a
    // transition for the first length. Returns false when memory ran out.
    virtual bool dataConvertSimu(int chn, const int* runs, int count, long long* pos, bool extendLast);
    // Buffer-mode records (the 32-channel format on 32-channel models):
    // false when the conversion failed (out of memory); *convertedBytes grows
    // by what was converted.
    bool dataConvertNormal(const unsigned char* buf, int len, long long* convertedBytes);
    // Stream data (the 8-channel format on model 1, else the word format);
    // startOffset >= 0 marks the first buffer. False when it failed.
    bool dataConvertStream(const unsigned char* buf, int len, int startOffset, long long* depth);
    void dataSetInitLevel(int chn, int level);
    void dataSetSmpDepth(long long depth);
    void dataSetTrgPosition(long long pos);
    void dataConvertComplete(bool keep);
    void toggleSmpData();
    void clearSmpData();
    bool hasValidData() const;
    // Analog stores of the oscilloscope work mode, shown and being filled.
    SmpDataOsc* shownDataOsc() const { return smpDataOsc[smpDataOscSel == 2 ? 1 : 0]; }
    SmpDataOsc* fillDataOsc() const { return smpDataOsc[smpDataOscSel == 2 ? 0 : 1]; }
    // Demonstration signal of analog channel chn in the store being filled.
    void dataConvertSimuOsc(const int* table, int tableLength, int chn, int count, QRandomGenerator* rng);
    // Acquisition threads call this before they refill the spare store: it
    // returns once the last kept capture has been swapped in on the GUI
    // thread, or false when a stop was requested meanwhile.
    bool waitStoresSwapped();

    // ---- analog channel settings (oscilloscope work mode) ----
    // Levels are mV at the input (without the probe), offsets thousandths of
    // the screen height (-500..500), time per division ns.
    void loadAChnSettings();
    void setAChnEna(const QVector<bool>& ena);
    void setAChnEna();
    void setACoupling(int chn, int coupling);
    void setACoupling();
    void setAProbeRate(int chn, int rate);
    void setAVoltDivIndex(int chn, int index);
    void setAVoltDivValue(int chn, int value);
    void setAChnGain();
    void setAChnOffset(int chn, int offset);
    void setAChnOffset();
    void setATimeDivIndex(int index);
    // Selects the entry of `ns` per division; false when the table lacks it.
    bool setATimeDivValue(long long ns);
    bool setATrgPercent(int value);
    // Rising (3) or falling (4); any other type is taken as rising.
    void setATrgType(int type);
    // False (nothing changed) for a channel the device does not have.
    bool setATrgChn(int chn);
    void setATrgVolt(int chn, double mV);
    void saveAMathSet();
    void saveSmpCtrlSet();
    void resetAutoScaleSet();
    QStringList getVoltDivStringList(int chn) const;
    QStringList getATimeDivStringList() const;
    int aChnNum() const { return aChnEna.size(); }
    // V/div (mV) and time/div (ns) of the current choice; 0 when unknown.
    int aVoltDiv(int chn) const;
    long long aTimeDiv() const;

    // What an analog capture is taken with: copied by smpStart, read by the
    // capture threads instead of the settings the GUI may change meanwhile.
    struct OscCaptureSet {
        long long rate = 0;
        int trgPermille = 500;
        QVector<bool> ena;
        QVector<int> gain, scale, offset;
        int slope[2] = {1000, 1000};
        int zeroDual[2] = {0, 0};
        int zeroSingle[2] = {0, 0};
    };
    OscCaptureSet oscCapture;
    void takeOscCaptureSet();

    // ---- members ----
    int devModel = DevModelDemo;
    QString devName;
    int fpgaVersion = 1;
    int memSize = 0;
    QVector<ChnNumSmpFrequ> streamChnFrequ;
    QVector<ChnNumSmpFrequ> bufChnFrequ;
    SmpSimulate* smpSimulate = nullptr;
    // Buffer- and stream-mode acquisition threads (SmpCtrlNormal,
    // SmpCtrlStream) and the stream converter; owned by the device.
    QThread* smpCtrlNormal = nullptr;
    QThread* smpCtrlStream = nullptr;
    SmpCnvtStream* smpCnvtStream = nullptr;
    // Carried by the converters from one transfer buffer to the next; only
    // the converting thread touches it between dataConvertStart and the end.
    SmpConvertState cnvState;
    int workMode = WorkModeLA;
    int smpMode = SmpModeUnset;
    std::atomic<int> smpStartMode{SmpStartSingle};
    std::atomic<int> smpSta{SmpStaStart};
    std::atomic<int> smpErr{0};
    std::atomic<bool> smpStopReq{false};
    // Sleeps up to ms milliseconds in steps of at most step ms, returning
    // early once a stop is requested (capture threads pace themselves).
    void pauseUnlessStopped(int ms, int step) const;
    bool smpRestart = false;
    std::atomic<bool> smpRunning{false};
    bool smpBySocket = false;
    SmpData* smpData[2] = {nullptr, nullptr};
    std::atomic<int> smpDataSel{1};

    // Analog settings; only the mixed-signal model has analog channels.
    QVector<bool> aChnEna;
    QVector<int> aProbeRate;
    QVector<int> aCoupling;
    QVector<int> aVoltDivIndex;
    QVector<int> aChnOffset;
    QVector<double> aTrgVolt;               // mV
    int aTimeDivIndex = 9;
    int aTrgPercent = 500;
    int aTrgType = TrgRising;
    int aTrgChn = 0;
    int aMathEna = 0;
    int aMathOperator = 0;                  // 0 CH1 + CH2, 1 CH1 - CH2, 2 CH2 - CH1
    QVector<int> aMathScale;                // per operator, mV per division
    QVector<int> aMathOffset;               // per operator, thousandths
    QVector<int> aVoltDivList;              // mV
    QVector<int> aVoltDivScale;             // codes from zero to the screen edge, per V/div
    QVector<long long> aTimeDivList;        // ns per division
    // Calibration: zero correction per channel and range group, slope per
    // channel, gain correction per channel and V/div; per converter the
    // zeros of the dual and the single capture and the slope (thousandths).
    QVector<QVector<int>> aChnZeroTable;
    QVector<double> aChnOffsetK;
    QVector<QVector<int>> aChnGainTable;
    QVector<int> adcZeroDual;
    QVector<int> adcZeroSingle;
    QVector<int> adcSlope;
    SmpDataOsc* smpDataOsc[2] = {nullptr, nullptr};
    std::atomic<int> smpDataOscSel{1};

    // Written by the detection thread while the GUI thread reads it.
    std::atomic<bool> connected{false};
    double vthRef = 1.2;
    long long maxSmpFrequ = 0;
    long long baseClock = 0;
    QVector<int> devFunction;
    QVector<long long> smpFrequList;
    QVector<long long> smpDepthList;
    long long depthNoMark = 0;
    long long curDepth = 0;
    int smpFrequIndex = 0;
    int smpDepthIndex = 0;
    int defFrequIndex = 0;
    int defDepthIndex = 0;
    // Channel enables. Only the setters write them (through chnEnaStore),
    // and never while a capture runs; every other reader goes through this
    // const view, so no read detaches the vector another thread may share.
    const QVector<bool>& chnEna = chnEnaStore;
    // The enables the running capture was started with: copied by smpStart
    // before the capture thread starts; the capture threads read only this.
    QVector<bool> smpChnEna;
    QVector<TrgType> chnTrg;
    int trgPosPercent = 5;
    bool pwmEna[2] = {false, false};
    double pwmFrequ[2] = {0, 0};
    double pwmDuty[2] = {0, 0};

signals:
    void sigSmpSta(int sta, int err, int n);
    void sigSmpDataReady(int decode);
    void sigChnEnaChanged();
    void sigSmpModeChanged();
    void sigSmpFrequToLower();
    void sigATrgHorChanged();
    void sigAChnEnaChanged();
    void sigToolbarPWMEna();

protected:
    // Model set-up helpers: channel count, the two stores and the
    // divider/PWM clocks the model runs at (MHz).
    void initChannels(int count);
    // Constructor tail shared by the models: stored settings, tables, mode.
    void initSettings(long long bufMaxRate, bool dual);
    // setSmpMode of a model with both buffer and stream mode.
    void setSmpModeDual(int mode, long long bufMaxRate, long long bufNoMark, int bufDefDepth,
                        int bufDefFrequ, int streamDefFrequ);
    int connectMaxRateMHz = 0;
    int connectBaseClockMHz = 0;
    // The work-mode-1 halves of the rate, the pre-trigger depth, the store
    // hand-over and the trigger registers.
    long long getOscSmpFrequ() const;
    bool oscConvertStart(int trgRecordIndex);
    void reqOscTrgSettings();
    OscWordState oscWords;

    int ctrlOut(unsigned char request, unsigned short value, const unsigned char* data, int length);
    int ctrlIn(unsigned char request, unsigned short value, unsigned char* data, int length);
    int regWrite(int address, const unsigned char* data, int length);
    int regRead(int address, unsigned char* data, int length);

private:
    QVector<bool> chnEnaStore;
    void applySwap();
    // A capture whose thread the system refused: ends it, error ErrNoThread.
    void endRefusedCapture();
    void writeVthRegister(int group, double volts);
    QThread* smpThread = nullptr;          // the thread smpStart started
    std::atomic<unsigned> smpGeneration{0};
    std::atomic<bool> swapPending{false};
    QSemaphore swapDone;
    int aSnapTimeDiv = 9;
    int aSnapTrgPercent = 500;
    QVector<int> aSnapVoltDiv;
};

#endif

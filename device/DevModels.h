#ifndef DEVMODELS_H
#define DEVMODELS_H
// The earlier analyzer models; no detection path or factory creates them.
// Each is its table of figures and nothing else, so they share one
// implementation driven by the table. Every class that is instantiated
// stops its capture in its own destructor (see ~DevBase).

#include <QVector>

#include "device/DevBase.h"

class DevTableModel : public DevBase
{
    Q_OBJECT
public:
    // What sets one model apart from the others.
    struct Table {
        int model;
        const char* name;
        int channels;
        QVector<int> functions;
        // SmpModeUnset: both buffer and stream mode; else the only mode.
        int onlyMode;
        // Buffer mode: the rate of the channel table (and the top of the
        // standard rate list), the largest unmarked depth, default depth
        // and rate indices. A single-mode model gives its only mode's
        // figures here; a largest unmarked depth of 0 is the largest depth.
        long long bufMaxRate;
        long long noMark;
        int defDepth;
        int defFrequ;
        // Stream mode of a dual-mode model: default rate index.
        int streamDefFrequ;
        // A single-mode model's own rate list (highest first), number of
        // depths kept from the standard list (0: all) and, for a
        // stream-only model, its own channel table.
        QVector<long long> rates;
        int depthCount;
        QVector<ChnNumSmpFrequ> streamTable;
        // At connect: sample memory (0: none to check), threshold
        // reference, divider base and PWM clock in MHz.
        int memSize;
        double vthRef;
        int maxRateMHz;
        int baseClockMHz;
    };

    int devConnect(unsigned char* info) override;
    bool supportDualMode() const override { return table.onlyMode == SmpModeUnset; }
    void setSmpMode(int mode) override;

protected:
    DevTableModel(QObject* parent, const Table& t);

private:
    const Table& table;
};

// Rates and channel table of the 16-channel models that only stream.
const QVector<long long>& streamOnlyRates();
const QVector<ChnNumSmpFrequ>& streamOnlyTable();

// 8 channels, stream mode only, no features.
class DevAlder : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevAlder(QObject* parent = nullptr);
    ~DevAlder() override { smpStopAndWait(); }
};

// 16 channels, stream mode only.
class DevBirch : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevBirch(QObject* parent = nullptr);
    ~DevBirch() override { smpStopAndWait(); }
};

// 16 channels, both modes, PWM outputs only.
class DevDogwood : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevDogwood(QObject* parent = nullptr);
    ~DevDogwood() override { smpStopAndWait(); }
protected:
    DevDogwood(QObject* parent, const Table& t) : DevTableModel(parent, t) {}
};

// A Dogwood with the adjustable threshold.
class DevEsparto : public DevDogwood
{
    Q_OBJECT
public:
    explicit DevEsparto(QObject* parent = nullptr);
    ~DevEsparto() override { smpStopAndWait(); }
};

// 16 channels, both modes up to 200 MHz, PWM outputs only.
class DevFescue : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevFescue(QObject* parent = nullptr);
    ~DevFescue() override { smpStopAndWait(); }
protected:
    DevFescue(QObject* parent, const Table& t) : DevTableModel(parent, t) {}
};

// A Fescue with the adjustable threshold.
class DevHazel : public DevFescue
{
    Q_OBJECT
public:
    explicit DevHazel(QObject* parent = nullptr);
    ~DevHazel() override { smpStopAndWait(); }
};

// 16 channels, buffer mode only with its own lists.
class DevJuniper : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevJuniper(QObject* parent = nullptr);
    ~DevJuniper() override { smpStopAndWait(); }
};

// 16 channels, both modes up to 500 MHz; named "Juniper" like DevJuniper.
class DevLarch : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevLarch(QObject* parent = nullptr);
    ~DevLarch() override { smpStopAndWait(); }
};

// 16 channels, both modes up to 500 MHz.
class DevYarrow : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevYarrow(QObject* parent = nullptr);
    ~DevYarrow() override { smpStopAndWait(); }
};

// 32 channels, both modes up to 500 MHz; named "Maple".
class DevOsier : public DevTableModel
{
    Q_OBJECT
public:
    explicit DevOsier(QObject* parent = nullptr);
    ~DevOsier() override { smpStopAndWait(); }
};

#endif

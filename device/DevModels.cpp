#include "device/DevModels.h"

#include "device/DevBaseUtil.h"

using namespace DevBaseUtil;

namespace {

// Divider bases follow the rule of the current models (DevLA.cpp): every
// listed rate divides the maximum rate exactly. 48 MHz covers 24, 16 and
// 12 MHz; the PWM clock of that model runs at five times its maximum rate.

const DevTableModel::Table kAlder = {
    DevModelAlder, "Alder", 8, {}, SmpModeStream,
    0, 0, 5, 2, 0,
    {24 * M, 16 * M, 12 * M, 8 * M, 4 * M, 2 * M, 1 * M, 500 * K, 200 * K, 100 * K, 50 * K},
    0, {{4, 24 * M}, {8, 24 * M}},
    0, 1.2, 48, 5 * 48};

const DevTableModel::Table kBirch = {
    DevModelBirch, "Birch", 16, {DevFuncVth, DevFuncPWM}, SmpModeStream,
    0, 0, 4, 9, 0,
    streamOnlyRates(), 0, streamOnlyTable(),
    0, 1.2, 800, 250};

const DevTableModel::Table kDogwood = {
    DevModelDogwood, "Dogwood", 16, {DevFuncPWM}, SmpModeUnset,
    100 * M, 50 * M, 7, 0, 3,
    {}, 0, {},
    0x8000000, 1.2, 100, 250};

// A later member of a family: its base's table with the threshold added.
DevTableModel::Table withThreshold(DevTableModel::Table t, DevModel model)
{
    t.model = model;
    t.functions = {DevFuncPWM, DevFuncVth};
    return t;
}

const DevTableModel::Table kEsparto = withThreshold(kDogwood, DevModelEsparto);

const DevTableModel::Table kFescue = {
    DevModelFescue, "Fescue", 16, {DevFuncPWM}, SmpModeUnset,
    200 * M, 50 * M, 7, 1, 3,
    {}, 0, {},
    0x8000000, 1.2, 200, 250};

const DevTableModel::Table kHazel = withThreshold(kFescue, DevModelHazel);

// The buffer depth list without its 10 G entry; depths above 30 M are
// marked although 30 M itself is no entry.
const DevTableModel::Table kJuniper = {
    DevModelJuniper, "Juniper", 16, {DevFuncPWM}, SmpModeBuffer,
    500 * M, 30 * M, 6, 3, 0,
    {500 * M, 250 * M, 125 * M, 62500 * K, 25 * M, 12500 * K, 5 * M, 2500 * K, 1 * M,
     500 * K, 200 * K, 100 * K, 50 * K, 20 * K},
    14, {},
    0x4000000, 1.2, 500, 250};

const DevTableModel::Table kLarch = {
    DevModelLarch, "Juniper", 16, {DevFuncVth, DevFuncPWM}, SmpModeUnset,
    500 * M, 100 * M, 8, 1, 3,
    {}, 0, {},
    0x10000000, 1.2, 1000, 250};

const DevTableModel::Table kYarrow = [] {
    DevTableModel::Table t = kLarch;
    t.model = DevModelYarrow;
    t.name = "Yarrow";
    return t;
}();

const DevTableModel::Table kOsier = {
    DevModelOsier, "Maple", 32, {DevFuncVth, DevFuncPWM}, SmpModeUnset,
    500 * M, 100 * M, 8, 1, 4,
    {}, 0, {},
    0x20000000, 1.2, 1000, 250};
} // namespace

const QVector<long long>& streamOnlyRates()
{
    static const QVector<long long> rates = {
        100 * M, 80 * M, 50 * M, 40 * M, 32 * M, 25 * M, 20 * M,
        16 * M,  12500 * K, 10 * M, 8 * M, 5 * M, 4 * M, 2 * M, 1 * M,
        500 * K,   200 * K,  100 * K,  50 * K,  20 * K};
    return rates;
}

const QVector<ChnNumSmpFrequ>& streamOnlyTable()
{
    static const QVector<ChnNumSmpFrequ> table = {
        {3, 100 * M}, {6, 50 * M}, {9, 32 * M}, {12, 25 * M}, {16, 16 * M}};
    return table;
}

// ---------------------------------------------------------------------------
// The shared implementation

DevTableModel::DevTableModel(QObject* parent, const Table& t) : DevBase(parent), table(t)
{
    devModel = t.model;
    devName = t.name;
    devFunction = t.functions;
    connectMaxRateMHz = t.maxRateMHz;
    connectBaseClockMHz = t.baseClockMHz;
    initChannels(t.channels);
    initSettings(t.bufMaxRate, supportDualMode());
    if (supportDualMode())
        return;
    if (t.onlyMode == SmpModeStream) {
        streamChnFrequ = t.streamTable;
        bufChnFrequ.clear();
    } else {
        streamChnFrequ.clear();
    }
    setSmpMode(t.onlyMode);
}

int DevTableModel::devConnect(unsigned char* info)
{
    memSize = table.memSize;
    vthRef = table.vthRef;
    return DevBase::devConnect(info);
}

void DevTableModel::setSmpMode(int mode)
{
    if (supportDualMode()) {
        setSmpModeDual(mode, table.bufMaxRate, table.noMark, table.defDepth, table.defFrequ,
                       table.streamDefFrequ);
        return;
    }
    // A single-mode model stays in its mode whatever is asked, and being
    // set up is no change of mode: nothing is announced or stored.
    smpMode = table.onlyMode;
    genSmpDepthList(smpMode);
    if (table.depthCount > 0 && table.depthCount < smpDepthList.size())
        smpDepthList.resize(table.depthCount);
    smpFrequList = table.rates;
    depthNoMark = table.noMark > 0 ? table.noMark : smpDepthList.last();
    defDepthIndex = table.defDepth;
    defFrequIndex = table.defFrequ;
    loadSmpDepth();
    loadSmpFrequ();
    checkSmpFrequToLower();
}

// ---------------------------------------------------------------------------
// The models

DevAlder::DevAlder(QObject* parent) : DevTableModel(parent, kAlder) {}
DevBirch::DevBirch(QObject* parent) : DevTableModel(parent, kBirch) {}
DevDogwood::DevDogwood(QObject* parent) : DevTableModel(parent, kDogwood) {}
DevEsparto::DevEsparto(QObject* parent) : DevDogwood(parent, kEsparto) {}
DevFescue::DevFescue(QObject* parent) : DevTableModel(parent, kFescue) {}
DevHazel::DevHazel(QObject* parent) : DevFescue(parent, kHazel) {}
DevJuniper::DevJuniper(QObject* parent) : DevTableModel(parent, kJuniper) {}
DevLarch::DevLarch(QObject* parent) : DevTableModel(parent, kLarch) {}
DevYarrow::DevYarrow(QObject* parent) : DevTableModel(parent, kYarrow) {}
DevOsier::DevOsier(QObject* parent) : DevTableModel(parent, kOsier) {}

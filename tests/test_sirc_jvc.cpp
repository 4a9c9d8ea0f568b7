// IR SIRC and IR JVC plug-ins: settings, symbol classes at their bounds (in
// microseconds at whole and fractional MHz rates), long spaces, starts
// inside a field, the capture's end, texts and export read back by a CSV
// reader, the demonstration signals, and the real SIRC capture.

#include <QtTest>

#include <QTemporaryDir>

#include <random>
#include <string>
#include <vector>

#include "AnalyzerHelpers.h"
#include "PluginRunner.h"
#include "PluginTestKit.h"
#include "support/TestEnv.h"

using namespace plugintest;

namespace {

// A pulse-distance signal as runs: marks at the level opposite the idle one.
struct IrSig {
    IrSig(int64_t rate, int idle) : rate(rate), idle(idle) {}
    int64_t us(int64_t t) const { return rate * t / 1000000; }
    void mark(int64_t samples) { runs.emplace_back(idle ^ 1, samples); }
    void space(int64_t samples) { runs.emplace_back(idle, samples); }

    // runs: lead space, start mark, start space, then each bit's mark and
    // space, least significant first, then (JVC) the closing mark, then a
    // trailing space.
    void sirc(U32 bits, U32 value)
    {
        const int64_t u = us(600);
        space(us(30000));
        mark(4 * u);
        space(u);
        for (U32 i = 0; i < bits; ++i) {
            mark((value >> i) & 1 ? 2 * u : u);
            space(u);
        }
        runs.back().second = us(30000);
    }
    void jvc(U32 address, U32 command)
    {
        const int64_t u = us(526);
        space(us(30000));
        mark(16 * u);
        space(8 * u);
        const U32 value = address | command << 8;
        for (U32 i = 0; i < 16; ++i) {
            mark(u);
            space((value >> i) & 1 ? 3 * u : u);
        }
        mark(u);
        space(us(30000));
    }

    int64_t rate;
    int idle;
    Runs runs;
};

// Frames as words: "S" a start, else the field letter, "!" when broken off,
// ":" and the value.
QString frameWords(AnalyzerResults* r, const QString& letters)
{
    QStringList words;
    for (U64 i = 0; i < r->GetNumFrames(); ++i) {
        const Frame f = r->GetFrame(i);
        const QChar letter = f.mFlags < letters.size() ? letters[f.mFlags] : QChar('?');
        if (f.mFlags == 0)
            words << letter;
        else
            words << QString(letter) + (f.mType ? "!" : "") + ":" + QString::number(f.mData1);
    }
    return words.join(' ');
}

const QString kSirc = "SCDX";
const QString kJvc = "SAC";

} // namespace

class TestSircJvc : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void namesAndSettings_data();
    void namesAndSettings();
    void settingsText();
    void sircClasses_data();
    void sircClasses();
    void sircLongSpace_data();
    void sircLongSpace();
    void sircPacketLengths();
    void jvcClasses_data();
    void jvcClasses();
    void jvcStartSpaces_data();
    void jvcStartSpaces();
    void startInsideField();
    void captureEnd_data();
    void captureEnd();
    void texts();
    void exportFile_data();
    void exportFile();
    void simulationRoundTrip_data();
    void simulationRoundTrip();
    void randomInputEndsCleanly();
    void realCapture();

private:
    const AnalyzerPlugin& plugin(bool jvc) const { return jvc ? mJvc : mSirc; }

    AnalyzerPlugin mSirc;
    AnalyzerPlugin mJvc;
    QTemporaryDir mTemp;
    Captures mCaptures;
};

void TestSircJvc::initTestCase()
{
    QVERIFY(mTemp.isValid());
    std::string error;
    QVERIFY2(mSirc.load(binPath("Analyzer/libIR-SIRC.so").toStdString(), &error), error.c_str());
    QVERIFY2(mJvc.load(binPath("Analyzer/libIR-JVC.so").toStdString(), &error), error.c_str());
}

void TestSircJvc::namesAndSettings_data()
{
    QTest::addColumn<bool>("jvc");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lists");
    QTest::addColumn<QString>("saved");
    const QString none = "18446744073709551615/4294967295";
    QTest::newRow("SIRC") << false << "IR-SIRC"
                          << QStringList{"Packet Length|Select packet length|0:12 bits,1:15 bits,2:20 bits|0",
                                         "Idel Level|Select level during idel|1:High Level During  Idel [default],"
                                         "0:Lower Level During  Idel|1"}
                          << "\"IR_SIRC_Analyzer " + none + " 0 1";
    QTest::newRow("JVC") << true << "IR-JVC"
                         << QStringList{"Idel Level|Select level during idel|0:Lower Level During  Idel,"
                                        "1:High Level During  Idel (Default)|1"}
                         << "\"IR_JVC_Analyzer " + none + " 1";
}

void TestSircJvc::namesAndSettings()
{
    QFETCH(bool, jvc);
    QFETCH(QString, name);
    QFETCH(QStringList, lists);
    QFETCH(QString, saved);
    const AnalyzerPlugin& p = plugin(jvc);
    QCOMPARE(QString(p.name()), name);
    QVERIFY(!p.paraInfoList());
    p.destroy(nullptr);

    PluginAnalyzer a(p);
    QCOMPARE(QString(a->GetAnalyzerName()), name);
    QCOMPARE(a->GetMinimumSampleRateHz(), 20000u);
    QVERIFY(!a->NeedsRerun());
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    QCOMPARE(int(s->GetSettingsInterfacesCount()), 1 + lists.size());
    AnalyzerSettingInterface* input = s->GetSettingsInterface(0);
    QCOMPARE(input->GetType(), INTERFACE_CHANNEL);
    QCOMPARE(QString(input->GetTitle()) + "|" + input->GetToolTip(), QString("Input|Standard InfraRed"));
    for (int k = 0; k < lists.size(); ++k)
        QCOMPARE(describeList(numberList(s, U32(k + 1))), lists[k]);
    const char* label = nullptr;
    bool used = true;
    QVERIFY(s->GetChannel(0, &label, &used).IsUndefined());
    QCOMPARE(QString(label), QString("Infrared"));
    QVERIFY(!used);
    U32 id = 9;
    const char* text = nullptr;
    QVERIFY(s->GetExportOption(0, &id, &text));
    QCOMPARE(QString("%1 %2").arg(id).arg(text), QString("0 Export as text/csv file"));
    QCOMPARE(s->GetFileExtensionCount(0), 2u);
    QCOMPARE(QString(s->SaveSettings()), saved);
}

void TestSircJvc::settingsText()
{
    struct Case {
        bool jvc;
        QString text;
        QString expected; // what a new instance saves after loading it
    };
    const Case cases[] = {
        {false, "\"IR_SIRC_Analyzer 0/3 2 0", "\"IR_SIRC_Analyzer 0/3 2 0"},
        {false, "\"IR_JVC_Analyzer 0/3 1 0", "\"IR_SIRC_Analyzer 0/3 1 0"}, // another plug-in's text
        {false, "\"IR_SIRC_Analyzer 0/3 5 2", "\"IR_SIRC_Analyzer 0/3 0 1"}, // outside the lists
        {false, "\"IR_SIRC_Analyzer 0/3 x 0", "\"IR_SIRC_Analyzer 0/3 0 1"}, // unreadable: the rest stays
        {true, "\"IR_JVC_Analyzer 0/9 0", "\"IR_JVC_Analyzer 0/9 0"},
        {true, "\"IR_JVC_Analyzer 0/9 7", "\"IR_JVC_Analyzer 0/9 1"},
    };
    for (const Case& c : cases) {
        PluginAnalyzer a(plugin(c.jvc));
        a->GetAnalyzerSettings()->LoadSettings(c.text.toLatin1().constData());
        QCOMPARE(QString::fromUtf8(a->GetAnalyzerSettings()->SaveSettings()), c.expected);
        const char* label = nullptr;
        bool used = false;
        QCOMPARE(a->GetAnalyzerSettings()->GetChannel(0, &label, &used).mChannelIndex, U32(c.jvc ? 9 : 3));
        QVERIFY(used);
    }

    // A packet length of 5 in a hand-edited text decodes and simulates the
    // same 12-bit message (the default), not 12 bits against 20.
    PluginAnalyzer sim(mSirc);
    sim->GetAnalyzerSettings()->LoadSettings("\"IR_SIRC_Analyzer 0/0 5 1");
    QCOMPARE(numberList(sim->GetAnalyzerSettings(), 1)->GetNumber(), 0.0);
    const U64 rate = 1000000;
    sim->Init(nullptr, &rate, nullptr);
    SimulationChannelDescriptor* d = nullptr;
    sim->GenerateSimulationData(400000, U32(rate), &d);
    mCaptures.add(S64(rate));
    QVERIFY(simulationToCapture(d, mCaptures.last()));
    PluginAnalyzer a(mSirc);
    a->GetAnalyzerSettings()->LoadSettings("\"IR_SIRC_Analyzer 0/0 5 1");
    runDecode(a.get(), mCaptures.last().data());
    QCOMPARE(frameWords(resultsOf(a.get()), kSirc), QString("S C:6 D:1 S C:6 D:1 S C:6 D:1"));

    // Whatever number a list holds, taking it over gives a listed value.
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    for (double odd : {-1.0, 1e30, std::nan(""), 3.0, 2.7}) {
        numberList(s, 1)->SetNumber(odd);
        QVERIFY(s->SetSettingsFromInterfaces());
        QCOMPARE(QString::fromUtf8(s->SaveSettings()), QString(odd == 2.7 ? "\"IR_SIRC_Analyzer 0/0 2 1"
                                                                         : "\"IR_SIRC_Analyzer 0/0 0 1"));
    }
}

void TestSircJvc::sircClasses_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("run"); // 1 start mark, 2 start space, 3 command bit 0 mark, 4 its space
    QTest::addColumn<qint64>("samples");
    QTest::addColumn<QString>("frames");

    const QString ok = "S C:6 D:1", one = "S C:7 D:1", broken = "S C!:0";
    // 1 MHz: start mark 1800-3000 us, one 900-1500, zero 400-800, spaces
    // from 400, bounds included.
    struct Row {
        int run;
        qint64 us1, samples333;
        QString frames;
    };
    const Row rows[] = {
        {1, 1800, 6000, ok}, {1, 1799, 5999, ""},    {1, 3000, 9999, ok},     {1, 3001, 10000, ""},
        {2, 400, 1334, ok},  {2, 399, 1333, ""},     {3, 400, 1334, ok},      {3, 399, 1333, broken},
        {3, 800, 2666, ok},  {3, 801, 2667, broken}, {3, 900, 3000, one},     {3, 899, 2999, broken},
        {3, 1500, 4999, one}, {3, 1501, 5000, broken}, {4, 400, 1334, ok},    {4, 399, 1333, broken},
    };
    // At 3.333333 MHz a microsecond is no whole number of samples: the
    // bounds are the sample counts whose duration lies within them.
    for (const Row& r : rows) {
        QTest::addRow("1 MHz, run %d = %lld", r.run, r.us1) << qint64(1000000) << r.run << r.us1 << r.frames;
        QTest::addRow("3.33 MHz, run %d = %lld", r.run, r.samples333) << qint64(3333333) << r.run << r.samples333
                                                                       << r.frames;
    }
}

void TestSircJvc::sircClasses()
{
    QFETCH(qint64, rate);
    QFETCH(int, run);
    QFETCH(qint64, samples);
    QFETCH(QString, frames);
    IrSig s(rate, 1);
    s.sirc(12, 0x86);
    s.runs[size_t(run)].second = samples;
    PluginAnalyzer a(mSirc);
    configure(a.get());
    QCOMPARE(frameWords(mCaptures.decode(a.get(), rate, s.runs), kSirc), frames);
}

void TestSircJvc::sircLongSpace_data()
{
    QTest::addColumn<int>("space"); // after the command's last bit, at 1 MHz
    QTest::addColumn<QString>("frames");
    QTest::addColumn<int>("commandEnd"); // samples after that bit's mark
    // Up to 800 us the cursor goes to the next edge; beyond, 600 us on,
    // inside the space, where the device field cannot begin.
    QTest::newRow("800 us") << 800 << "S C:6 D:1" << 800;
    QTest::newRow("801 us") << 801 << "S C:6 D!:0" << 600;
}

void TestSircJvc::sircLongSpace()
{
    QFETCH(int, space);
    QFETCH(QString, frames);
    QFETCH(int, commandEnd);
    IrSig s(1000000, 1);
    s.sirc(12, 0x86);
    s.runs[16].second = space; // command bit 6's space
    PluginAnalyzer a(mSirc);
    configure(a.get());
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs);
    QCOMPARE(frameWords(r, kSirc), frames);
    S64 markEnd = 0;
    for (size_t i = 0; i < 16; ++i)
        markEnd += s.runs[i].second;
    QCOMPARE(r->GetFrame(1).mEndingSampleInclusive, markEnd + commandEnd);
}

void TestSircJvc::sircPacketLengths()
{
    // A 12-bit message read as 15 bits: the device field ends early, marked.
    IrSig s(1000000, 0);
    s.sirc(12, 0x86);
    PluginAnalyzer a(mSirc);
    configure(a.get(), {1, 0});
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs);
    QCOMPARE(frameWords(r, kSirc), QString("S C:6 D!:1"));
    QCOMPARE(r->GetFrame(2).mData2, U64(8));
    QCOMPARE(tabular(r, 2, Hexadecimal), QString("Device: 0x01 (frame error)"));

    // A 20-bit message read as 12 bits: no error, the rest is no start.
    IrSig t(1000000, 1);
    t.sirc(20, 0x10086);
    t.sirc(20, 0x10086);
    PluginAnalyzer b(mSirc);
    configure(b.get(), {0, 1});
    QCOMPARE(frameWords(mCaptures.decode(b.get(), t.rate, t.runs), kSirc), QString("S C:6 D:1 S C:6 D:1"));
    PluginAnalyzer c(mSirc);
    configure(c.get(), {2, 1});
    QCOMPARE(frameWords(mCaptures.decode(c.get(), t.rate, t.runs), kSirc), QString("S C:6 D:1 X:16 S C:6 D:1 X:16"));
}

void TestSircJvc::jvcClasses_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("run"); // 1 start mark, 2 start space, 3/4 address bit 0 (a zero), 6 bit 1's space (a one)
    QTest::addColumn<qint64>("samples");
    QTest::addColumn<QString>("frames");
    const QString ok = "S A:6 C:19";
    struct Row {
        int run;
        qint64 us1, samples333;
        QString frames;
    };
    const Row rows[] = {
        {1, 7416, 24720, ok}, {1, 7415, 24719, ""}, {1, 9416, 31386, ok}, {1, 9417, 31387, ""},
        {2, 3508, 11694, ok}, {2, 3507, 11693, ""}, {3, 326, 1087, ok},   {3, 325, 1086, "S"},
        {3, 726, 2419, ok},   {3, 727, 2420, "S"},  {4, 326, 1087, ok},   {4, 325, 1086, "S"},
        {4, 726, 2419, ok},   {4, 727, 2420, "S"},  {6, 1378, 4594, ok},  {6, 1377, 4593, "S"},
        {6, 1778, 5926, ok},  {6, 1779, 5927, "S"},
    };
    for (const Row& r : rows) {
        QTest::addRow("1 MHz, run %d = %lld", r.run, r.us1) << qint64(1000000) << r.run << r.us1 << r.frames;
        QTest::addRow("3.33 MHz, run %d = %lld", r.run, r.samples333) << qint64(3333333) << r.run << r.samples333
                                                                       << r.frames;
    }
}

void TestSircJvc::jvcClasses()
{
    QFETCH(qint64, rate);
    QFETCH(int, run);
    QFETCH(qint64, samples);
    QFETCH(QString, frames);
    IrSig s(rate, 1);
    s.jvc(6, 19);
    s.runs[size_t(run)].second = samples;
    PluginAnalyzer a(mJvc);
    configure(a.get());
    QCOMPARE(frameWords(mCaptures.decode(a.get(), rate, s.runs), kJvc), frames);
}

void TestSircJvc::jvcStartSpaces_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("space"); // us
    for (qint64 rate : {2000000LL, 10000000LL})
        for (int space : {3508, 4000, 4208, 4250, 4400, 4908, 4909, 5200, 8000})
            QTest::addRow("%lld Hz, %d us", rate, space) << rate << space;
}

void TestSircJvc::jvcStartSpaces()
{
    QFETCH(qint64, rate);
    QFETCH(int, space);
    IrSig s(rate, 0);
    s.jvc(6, 19);
    s.runs[2].second = s.us(space);
    PluginAnalyzer a(mJvc);
    configure(a.get(), {0});
    AnalyzerResults* r = mCaptures.decode(a.get(), rate, s.runs);
    QCOMPARE(frameWords(r, kJvc), QString("S A:6 C:19"));
    // The start frame ends before the address's first mark, where the
    // address begins.
    QCOMPARE(r->GetFrame(0).mEndingSampleInclusive + 1, r->GetFrame(1).mStartingSampleInclusive);
}

void TestSircJvc::startInsideField()
{
    // SIRC: the broken field's frame, then a start frame; the new message
    // decodes on.
    IrSig s(1000000, 1);
    s.sirc(12, 0x86);
    Runs cut(s.runs.begin(), s.runs.begin() + 9); // three command bits
    IrSig t(1000000, 1);
    t.sirc(12, 0x85);
    cut.insert(cut.end(), t.runs.begin() + 1, t.runs.end());
    PluginAnalyzer a(mSirc);
    configure(a.get());
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, cut);
    QCOMPARE(frameWords(r, kSirc), QString("S C!:0 S C:5 D:1"));
    QCOMPARE(r->GetFrame(1).mData2, U64(1));
    QCOMPARE(r->GetFrame(1).mEndingSampleInclusive + 1, r->GetFrame(2).mStartingSampleInclusive);
    QCOMPARE(r->GetFrame(2).mData2, U64(1));
    QCOMPARE(r->GetFrame(2).mType, U8(0));

    // JVC: a start frame only.
    IrSig j(1000000, 1);
    j.jvc(6, 19);
    Runs jcut(j.runs.begin(), j.runs.begin() + 9);
    IrSig k(1000000, 1);
    k.jvc(7, 20);
    jcut.insert(jcut.end(), k.runs.begin() + 1, k.runs.end());
    PluginAnalyzer b(mJvc);
    configure(b.get());
    r = mCaptures.decode(b.get(), j.rate, jcut);
    QCOMPARE(frameWords(r, kJvc), QString("S S A:7 C:20"));
    // Markers: start, three address bits, the new start, 16 bits.
    const Channel ch(0, 0);
    QCOMPARE(r->GetNumMarkers(ch), U64(21));
}

void TestSircJvc::captureEnd_data()
{
    QTest::addColumn<bool>("jvc");
    QTest::addColumn<int>("tail"); // us of space after the last mark read before the capture ends
    QTest::addColumn<int>("dropBits"); // bits of the message not sent
    QTest::addColumn<QString>("frames");
    // SIRC 20 bits: the space after the last bit runs to the capture's end.
    QTest::newRow("SIRC, long space to the end") << false << 100000 << 0 << "S C:6 D:1 X:16";
    QTest::newRow("SIRC, 700 us to the end") << false << 700 << 0 << "S C:6 D:1 X:16";
    QTest::newRow("SIRC, 300 us to the end: too short") << false << 300 << 0 << "S C:6 D:1 X!:16";
    QTest::newRow("SIRC, ends inside the extended field") << false << 600 << 4 << "S C:6 D:1 X!:0";
    QTest::newRow("SIRC, ends after the start") << false << 600 << 20 << "S";
    // JVC: no closing mark; the last bit's space runs to the end.
    QTest::newRow("JVC, 600 us to the end") << true << 600 << 0 << "S A:6 C:19";
    QTest::newRow("JVC, 200 us to the end: too short") << true << 200 << 0 << "S A:6";
    QTest::newRow("JVC, ends inside the command") << true << 600 << 3 << "S A:6";
}

void TestSircJvc::captureEnd()
{
    QFETCH(bool, jvc);
    QFETCH(int, tail);
    QFETCH(int, dropBits);
    QFETCH(QString, frames);
    IrSig s(1000000, 1);
    if (jvc) {
        s.jvc(6, 19);
        s.runs.resize(s.runs.size() - 2); // closing mark and trailing space
    } else {
        s.sirc(20, 0x10086);
    }
    s.runs.resize(s.runs.size() - 2 * size_t(dropBits));
    s.runs.back().second = tail;
    PluginAnalyzer a(plugin(jvc));
    configure(a.get(), jvc ? std::vector<int>{} : std::vector<int>{2});
    AnalyzerRunEnd end = RunNotEnded;
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs, &end);
    QCOMPARE(end, RunEndOfData);
    QCOMPARE(frameWords(r, jvc ? kJvc : kSirc), frames);
    const S64 depth = mCaptures.last().data()->smpDepth;
    for (U64 i = 0; i < r->GetNumFrames(); ++i)
        QVERIFY(r->GetFrame(i).mEndingSampleInclusive < depth);
}

void TestSircJvc::texts()
{
    IrSig s(1000000, 1);
    s.sirc(20, 0x10086);
    s.sirc(12, 0x86); // read as 20 bits: the extended field is broken
    s.sirc(20, 0x10086);
    PluginAnalyzer a(mSirc);
    configure(a.get(), {2});
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs);
    QCOMPARE(frameWords(r, kSirc), QString("S C:6 D:1 X:16 S C:6 D:1 X!:0 S C:6 D:1 X:16"));
    const QStringList bubbles[] = {
        {"Start"}, {"Command", "Command: 0x06"}, {"Device", "Device: 0x01"}, {"Extended", "Extended: 0x10"},
    };
    for (U64 i = 0; i < 4; ++i) {
        QCOMPARE(plugintest::bubbles(r, i, Hexadecimal), bubbles[i]);
        QCOMPARE(tabular(r, i, Hexadecimal), bubbles[i].last());
        r->GeneratePacketTabularText(i, Hexadecimal);
        QCOMPARE(resultStrings(r), QStringList{"not supported"});
        r->GenerateTransactionTabularText(i, Hexadecimal);
        QCOMPARE(resultStrings(r), QStringList{"not supported"});
    }
    QCOMPARE(plugintest::bubbles(r, 7, Binary), (QStringList{"Extended", "Extended: 0b00000000 (frame error)"}));
    QCOMPARE(tabular(r, 1, Decimal), QString("Command: 6"));
    QCOMPARE(tabular(r, 1, Binary), QString("Command: 0b0000110"));

    IrSig j(1000000, 1);
    j.jvc(6, 19);
    PluginAnalyzer b(mJvc);
    configure(b.get());
    r = mCaptures.decode(b.get(), j.rate, j.runs);
    QCOMPARE(plugintest::bubbles(r, 0, Hexadecimal), QStringList{"Start"});
    QCOMPARE(plugintest::bubbles(r, 1, Hexadecimal), (QStringList{"Address", "Address: 0x06"}));
    QCOMPARE(tabular(r, 2, Decimal), QString("Command: 19"));
    QCOMPARE(tabular(r, 2, AsciiHex), QString("Command: 0x13"));
    QCOMPARE(r->GetFrame(2).mType, U8(0));
    QCOMPARE(r->GetFrame(2).mData2, U64(0));
}

void TestSircJvc::exportFile_data()
{
    QTest::addColumn<bool>("jvc");
    QTest::addColumn<int>("base");
    QTest::addColumn<QList<QStringList>>("rows"); // after the header, without the time
    // SIRC 15 bits: command 44 (","), device 34 ('"'); then a message
    // broken inside its device field.
    QTest::newRow("SIRC hexadecimal") << false << int(Hexadecimal)
                                      << QList<QStringList>{{"Start", ""}, {"Command", "0x2C", ""},
                                                            {"Device", "0x22", ""}, {"Start", ""},
                                                            {"Command", "0x06", ""},
                                                            {"Device", "0x01", " (frame error)"}};
    QTest::newRow("SIRC ASCII") << false << int(ASCII)
                                << QList<QStringList>{{"Start", ""}, {"Command", ",", ""}, {"Device", "\"", ""},
                                                      {"Start", ""}, {"Command", "0x06", ""},
                                                      {"Device", "0x01", " (frame error)"}};
    QTest::newRow("JVC ASCII and hex") << true << int(AsciiHex)
                                       << QList<QStringList>{{"Start", ""}, {"Address", ", (0x2C)", ""},
                                                             {"Command", "\" (0x22)", ""}};
    QTest::newRow("JVC decimal") << true << int(Decimal)
                                 << QList<QStringList>{{"Start", ""}, {"Address", "44", ""}, {"Command", "34", ""}};
}

void TestSircJvc::exportFile()
{
    QFETCH(bool, jvc);
    QFETCH(int, base);
    QFETCH(QList<QStringList>, rows);
    IrSig s(1000000, 1);
    if (jvc) {
        s.jvc(44, 34);
    } else {
        s.sirc(15, 44 | 34 << 7);
        s.sirc(12, 0x86);
    }
    PluginAnalyzer a(plugin(jvc));
    configure(a.get(), jvc ? std::vector<int>{} : std::vector<int>{1});
    mCaptures.add(s.rate);
    QVERIFY(setRuns(mCaptures.last(), 0, s.runs));
    mCaptures.last().data()->trgPosition = 1000;
    runDecode(a.get(), mCaptures.last().data());
    AnalyzerResults* r = resultsOf(a.get());
    QCOMPARE(int(r->GetNumFrames()), rows.size());

    const QString path = mTemp.filePath(QString("ir-%1-%2.csv").arg(jvc).arg(base));
    QVERIFY(runExport(r, path.toStdString(), DisplayBase(base), 0));
    QCOMPARE(r->GetProgress(), 1.0);
    QList<QStringList> expected{{"Time [s]", "Type", "Value"}};
    for (int i = 0; i < rows.size(); ++i) {
        char time[128];
        AnalyzerHelpers::GetTimeString(U64(r->GetFrame(U64(i)).mStartingSampleInclusive), 1000, 1000000, time, 128);
        expected << QStringList{QString(time)} + rows[i];
    }
    QCOMPARE(csvRows(path), expected);
    QVERIFY(readFile(path).startsWith("Time [s],Type,Value\n0.029000,Start,\n"));
    QVERIFY(!runExport(r, mTemp.filePath("no/dir/ir.csv").toStdString(), Hexadecimal, 0));
}

void TestSircJvc::simulationRoundTrip_data()
{
    QTest::addColumn<bool>("jvc");
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("idle");
    QTest::addColumn<int>("packetLength");
    QTest::addColumn<QString>("message");
    for (qint64 rate : {20000LL, 1000000LL, 24000000LL, 100000000LL}) {
        QTest::addRow("SIRC 12 bits at %lld Hz", rate) << false << rate << 1 << 0 << "S C:6 D:1";
        QTest::addRow("SIRC 20 bits at %lld Hz, idle low", rate) << false << rate << 0 << 2 << "S C:6 D:1 X:16";
        QTest::addRow("JVC at %lld Hz", rate) << true << rate << 1 << -1 << "S A:6 C:19";
        QTest::addRow("JVC at %lld Hz, idle low", rate) << true << rate << 0 << -1 << "S A:6 C:19";
    }
    QTest::newRow("SIRC 15 bits at 3.33 MHz") << false << qint64(3333333) << 1 << 1 << "S C:6 D:1";
}

void TestSircJvc::simulationRoundTrip()
{
    QFETCH(bool, jvc);
    QFETCH(qint64, rate);
    QFETCH(int, idle);
    QFETCH(int, packetLength);
    QFETCH(QString, message);
    const std::vector<int> settings = jvc ? std::vector<int>{idle} : std::vector<int>{packetLength, idle};
    PluginAnalyzer sim(plugin(jvc));
    configure(sim.get(), settings);
    const U64 simRate = U64(rate);
    sim->Init(nullptr, &simRate, nullptr);
    SimulationChannelDescriptor* d = nullptr;
    // Each message lasts about 145 ms; a second call continues the signal.
    QCOMPARE(sim->GenerateSimulationData(simRate / 4, U32(rate), &d), 1u);
    QCOMPARE(d->GetInitialBitState(), idle ? BIT_HIGH : BIT_LOW);
    sim->GenerateSimulationData(simRate / 2, U32(rate), &d);
    QVERIFY(d->GetCurrentSampleNumber() >= simRate / 2);

    mCaptures.add(rate);
    QVERIFY2(simulationToCapture(d, mCaptures.last()), "edges not strictly increasing");
    PluginAnalyzer a(plugin(jvc));
    configure(a.get(), settings);
    runDecode(a.get(), mCaptures.last().data());
    const QString words = frameWords(resultsOf(a.get()), jvc ? kJvc : kSirc);
    const QStringList four{message, message, message, message};
    QCOMPARE(words, four.join(' '));
}

void TestSircJvc::randomInputEndsCleanly()
{
    std::mt19937_64 rng(6104);
    const S64 rates[] = {1, 20000, 1000000, 3333333, 100000000, S64(1) << 40};
    for (int round = 0; round < 72; ++round) {
        const S64 rate = rates[round % 6];
        std::vector<int64_t> edges;
        int64_t pos = 0;
        const int maxGap = round % 3 == 0 ? 4 : round % 3 == 1 ? 3000 : 20000;
        for (int i = 0; i < 2000; ++i) {
            pos += 1 + int64_t(rng() % uint64_t(maxGap));
            edges.push_back(pos);
        }
        CaptureTables capture(1, rate);
        QVERIFY(capture.setChannel(0, int(rng() & 1), edges, pos + 1 + int64_t(rng() % 5000)));
        const bool jvc = round & 1;
        PluginAnalyzer a(plugin(jvc));
        configure(a.get(), jvc ? std::vector<int>{int(rng() & 1)} : std::vector<int>{int(rng() % 3), int(rng() & 1)});
        QCOMPARE(runDecode(a.get(), capture.data()), RunEndOfData);
        AnalyzerResults* r = resultsOf(a.get());
        S64 last = 0;
        for (U64 i = 0; i < r->GetNumFrames(); ++i) {
            const Frame f = r->GetFrame(i);
            QVERIFY(f.mStartingSampleInclusive >= last);
            QVERIFY(f.mEndingSampleInclusive >= f.mStartingSampleInclusive);
            QVERIFY(f.mEndingSampleInclusive < capture.data()->smpDepth);
            last = f.mStartingSampleInclusive;
        }
    }
}

void TestSircJvc::realCapture()
{
    // Four 20-bit messages at 20 kHz: a field of the slow rate is only a
    // few samples, and the last message ends close to the capture's end.
    const QString vcd = TestEnv::recordingPath("ir-sirc/sirc-1.vcd");
    const QString sirc = binPath("Analyzer/libIR-SIRC.so");
    const QString csv = mTemp.filePath("sirc-1.csv");
    const ToolRun run = runTool({"--plugin", sirc, "--vcd", vcd, "--signal", "IR", "--rate", "20000", "--set", "1=2",
                                 "--export", csv});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const auto frames = toolFrames(run.out);
    QCOMPARE(int(frames.size()), 16);
    // Per message: the start's first sample, then flags:data1:data2:type of
    // each frame.
    QStringList got;
    for (const auto& f : frames)
        got << (f[3] == 0 ? QString("@%1").arg(f[0]) : QString("%1:%2:%3:%4").arg(f[3]).arg(f[4]).arg(f[5]).arg(f[2]));
    QCOMPARE(got.join(' '), QString("@2695 1:44:7:0 2:16:5:0 3:8:8:0 @3591 1:44:7:0 2:16:5:0 3:8:8:0 "
                                    "@4486 1:44:7:0 2:16:5:0 3:8:8:0 @5381 1:44:7:0 2:16:5:0 3:8:8:0"));
    const QList<QStringList> rows = csvRows(csv);
    QCOMPARE(rows.size(), 17);
    QCOMPARE(rows[0], (QStringList{"Time [s]", "Type", "Value"}));
    QCOMPARE(rows[1], (QStringList{"0.13475", "Start", ""}));
    QCOMPARE(rows[2].mid(1), (QStringList{"Command", "0x2C", ""}));
    QCOMPARE(rows[16].mid(1), (QStringList{"Extended", "0x08", ""}));

    const ToolRun twelve = runTool({"--plugin", sirc, "--vcd", vcd, "--signal", "IR", "--rate", "20000", "--set", "1=0"});
    QVERIFY2(twelve.status == 0, qPrintable(twelve.err));
    QStringList words;
    for (const auto& f : toolFrames(twelve.out))
        words << QString("%1:%2:%3").arg(f[3]).arg(f[4]).arg(f[2]);
    QCOMPARE(words.join(' '), QString("0:0:0 1:44:0 2:16:0 0:0:0 1:44:0 2:16:0 0:0:0 1:44:0 2:16:0 0:0:0 1:44:0 2:16:0"));
}

QTEST_GUILESS_MAIN(TestSircJvc)
#include "test_sirc_jvc.moc"

// IR RC6 plug-in: symbol timing limits, message layout, texts, export file,
// demonstration signal, and the real capture through decode-capture.

#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "PluginTestKit.h"
#include "VcdReader.h"
#include "support/TestEnv.h"

using namespace plugintest;

namespace {

const int kRate = 1000000; // 1 MHz: one RC6 time unit is 444 samples
const int kUnit = 444;

// One RC6 mode-0 message as its halves (level, samples), as the receiver
// output shows it: mark at markLevel, space and idle at the other level.
struct Rc6Message {
    int start = 1, mode = 0, toggle = 0, address = 37, command = 48;

    std::vector<std::pair<int, int64_t>> halves(int markLevel) const
    {
        std::vector<std::pair<int, int64_t>> h;
        const int space = markLevel ^ 1;
        auto bit = [&](int v, int64_t len) {
            h.emplace_back(v ? markLevel : space, len);
            h.emplace_back(v ? space : markLevel, len);
        };
        h.emplace_back(markLevel, 6 * kUnit);
        h.emplace_back(space, 2 * kUnit);
        bit(start, kUnit);
        for (int b = 2; b >= 0; --b)
            bit((mode >> b) & 1, kUnit);
        bit(toggle, 2 * kUnit);
        for (int b = 7; b >= 0; --b)
            bit((address >> b) & 1, kUnit);
        for (int b = 7; b >= 0; --b)
            bit((command >> b) & 1, kUnit);
        return h;
    }
};

// Channel 0 of a capture: idle (the space level) for `lead` samples, then
// the halves, then `tail` samples of idle (a tail of 0 or less ends the
// capture at or inside the last half).
void fillChannel(CaptureTables& capture, int idleLevel, const std::vector<std::pair<int, int64_t>>& halves,
                 int64_t lead = 10000, int64_t tail = 2000)
{
    std::vector<int64_t> edges;
    // A change on sample 0 is the start level, not an edge.
    const int startLevel = lead == 0 && !halves.empty() ? halves.front().first : idleLevel;
    int level = startLevel;
    int64_t pos = lead;
    for (const auto& h : halves) {
        if (h.first != level) {
            edges.push_back(pos);
            level = h.first;
        }
        pos += h.second;
    }
    if (level != idleLevel && tail > 0)
        edges.push_back(pos); // back to idle
    QVERIFY(capture.setChannel(0, startLevel, edges, pos + tail));
}

// Frames as "flags:data1" words.
QString frameWords(AnalyzerResults* r)
{
    QStringList words;
    for (U64 i = 0; i < r->GetNumFrames(); ++i) {
        const Frame f = r->GetFrame(i);
        words << QString("%1:%2").arg(f.mFlags).arg(f.mData1);
    }
    return words.join(' ');
}

struct Decoded {
    int toggle, address, command;
};

// Complete messages (trailer, address and command frames in a row).
std::vector<Decoded> messages(AnalyzerResults* r)
{
    std::vector<Decoded> out;
    const U64 n = r->GetNumFrames();
    for (U64 i = 0; i + 2 < n; ++i) {
        const Frame t = r->GetFrame(i), a = r->GetFrame(i + 1), c = r->GetFrame(i + 2);
        if (t.mFlags == 3 && a.mFlags == 4 && c.mFlags == 5)
            out.push_back({int(t.mData1), int(a.mData1), int(c.mData1)});
    }
    return out;
}

} // namespace

class TestRc6 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void exportsAndSettings();
    void settingsTextRoundTrip();
    void symbolTiming_data();
    void symbolTiming();
    void frameExtentsAndMarkers();
    void channelOutOfRangeEndsRunWithoutFrames_data();
    void channelOutOfRangeEndsRunWithoutFrames();
    void setupResultsEmptiesResults();
    void messageAtSampleZeroIsItsOwnPacket();
    void texts();
    void exportFile();
    void exportQuotesAsciiFields();
    void exportReportsUnwritableFile();
    void simulationRoundTrip_data();
    void simulationRoundTrip();
    void simulationContinuesBetweenCalls();
    void simulationAtTinyRateEnds();
    void randomInputEndsCleanly();
    void realCapture();
    void toolErrors_data();
    void toolErrors();
    void toolExportAndSettings();
    void toolTiming();
    void vcdReading_data();
    void vcdReading();
    void vcdMalformed_data();
    void vcdMalformed();
    void vcdRandomInput();

private:
    std::string pluginPath() const { return binPath("Analyzer/libIR-RC6.so").toStdString(); }
    // A fresh analyzer on channel 0 with a logic style.
    Analyzer* makeAnalyzer(int style = 1);
    AnalyzerPlugin mPlugin;
    std::vector<Analyzer*> mAnalyzers;
    QTemporaryDir mTemp;

public:
    ~TestRc6() override
    {
        for (Analyzer* a : mAnalyzers)
            mPlugin.destroy(a);
    }
};

Analyzer* TestRc6::makeAnalyzer(int style)
{
    Analyzer* a = mPlugin.create();
    mAnalyzers.push_back(a);
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    setAllChannels(s, 0);
    std::string error;
    if (!applySetting(s, 1, std::to_string(style), &error))
        qWarning("%s", error.c_str());
    s->SetSettingsFromInterfaces();
    return a;
}

void TestRc6::initTestCase()
{
    QVERIFY(mTemp.isValid());
    std::string error;
    QVERIFY2(mPlugin.load(pluginPath(), &error), error.c_str());
}

void TestRc6::exportsAndSettings()
{
    QCOMPARE(QString(mPlugin.name()), QString("IR-RC6"));
    QVERIFY(!mPlugin.paraInfoList()); // offered for every device model
    mPlugin.destroy(nullptr);         // ignored

    Analyzer* a = mPlugin.create();
    QCOMPARE(QString(a->GetAnalyzerName()), QString("IR-RC6"));
    QCOMPARE(a->GetMinimumSampleRateHz(), 20000u);
    QVERIFY(!a->NeedsRerun());

    AnalyzerSettings* s = a->GetAnalyzerSettings();
    QCOMPARE(s->GetSettingsInterfacesCount(), 2u);
    AnalyzerSettingInterface* input = s->GetSettingsInterface(0);
    QCOMPARE(input->GetType(), INTERFACE_CHANNEL);
    QCOMPARE(QString(input->GetTitle()), QString("Input"));
    QCOMPARE(QString(input->GetToolTip()), QString("Standard InfraRed"));
    QVERIFY(static_cast<AnalyzerSettingInterfaceChannel*>(input)->GetChannel().IsUndefined());
    auto* logic = static_cast<AnalyzerSettingInterfaceNumberList*>(s->GetSettingsInterface(1));
    QCOMPARE(logic->GetType(), INTERFACE_NUMBER_LIST);
    QCOMPARE(QString(logic->GetTitle()), QString("Logic"));
    QCOMPARE(logic->GetNumber(), 1.0);
    QCOMPARE(logic->GetListboxNumbersCount(), 2u);
    QCOMPARE(QString(logic->GetListboxString(0)), QString("Logic '1' on Falling Edge"));
    QCOMPARE(QString(logic->GetListboxString(1)), QString("Logic '1' on Rising Edge (Default)"));
    QCOMPARE(QString(logic->GetListboxTooltip(1)), QString("Read Samples on Rising Edge"));

    const char* label = nullptr;
    bool used = true;
    QCOMPARE(s->GetChannelsCount(), 1u);
    QVERIFY(s->GetChannel(0, &label, &used).IsUndefined());
    QCOMPARE(QString(label), QString("Infrared"));
    QVERIFY(!used);

    U32 id = 99;
    const char* text = nullptr;
    QCOMPARE(s->GetExportOptionsCount(), 1u);
    QVERIFY(s->GetExportOption(0, &id, &text));
    QCOMPARE(id, 0u);
    QCOMPARE(QString(text), QString("Export as text/csv file"));
    QCOMPARE(s->GetFileExtensionCount(0), 2u);
    const char* ext = nullptr;
    QVERIFY(s->GetFileExtension(0, 1, &label, &ext));
    QCOMPARE(QString(label) + "/" + ext, QString("CSV file/csv"));
    mPlugin.destroy(a);
}

void TestRc6::settingsTextRoundTrip()
{
    Analyzer* a = mPlugin.create();
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    static_cast<AnalyzerSettingInterfaceChannel*>(s->GetSettingsInterface(0))->SetChannel(Channel(0, 5));
    static_cast<AnalyzerSettingInterfaceNumberList*>(s->GetSettingsInterface(1))->SetNumber(0);
    QVERIFY(s->SetSettingsFromInterfaces());
    const QString saved = QString::fromUtf8(s->SaveSettings());
    QVERIFY(saved.contains("IR_RC6_Analyzer"));
    QVERIFY(!saved.contains(';'));
    QCOMPARE(saved.trimmed(), saved);

    // Into a new instance, and with another plug-in's name in front: the
    // values are read from the same positions either way.
    QString foreign = saved;
    foreign.replace("IR_RC6_Analyzer", "IR_SIRC_Analyzer");
    for (const QString& text : {saved, foreign}) {
        Analyzer* b = mPlugin.create();
        AnalyzerSettings* t = b->GetAnalyzerSettings();
        t->LoadSettings(text.toLatin1().constData());
        QCOMPARE(static_cast<AnalyzerSettingInterfaceChannel*>(t->GetSettingsInterface(0))->GetChannel(), Channel(0, 5));
        QCOMPARE(static_cast<AnalyzerSettingInterfaceNumberList*>(t->GetSettingsInterface(1))->GetNumber(), 0.0);
        const char* label = nullptr;
        bool used = false;
        QCOMPARE(t->GetChannel(0, &label, &used), Channel(0, 5));
        QVERIFY(used);
        QCOMPARE(QString::fromUtf8(t->SaveSettings()), saved);
        mPlugin.destroy(b);
    }

    // A value outside the list in a text (hand-edited, or another plug-in's)
    // takes the default, the rising-edge style.
    {
        Analyzer* b = mPlugin.create();
        AnalyzerSettings* t = b->GetAnalyzerSettings();
        QString odd = saved;
        odd.replace(QRegularExpression(" 0$"), " 5");
        QVERIFY(odd != saved);
        t->LoadSettings(odd.toLatin1().constData());
        QCOMPARE(static_cast<AnalyzerSettingInterfaceNumberList*>(t->GetSettingsInterface(1))->GetNumber(), 1.0);
        mPlugin.destroy(b);
    }

    // Whatever number the list holds, taking it over stays defined.
    auto* logic = static_cast<AnalyzerSettingInterfaceNumberList*>(s->GetSettingsInterface(1));
    for (double odd : {-5.0, 1e20, std::nan(""), 1.9}) {
        logic->SetNumber(odd);
        QVERIFY(s->SetSettingsFromInterfaces());
    }
    QVERIFY(QString::fromUtf8(s->SaveSettings()).endsWith(" 1"));
    mPlugin.destroy(a);
}

void TestRc6::symbolTiming_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("toggle");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("tweak"); // "half=samples": half 0 leader mark, 2.. start bit, 4.. mode, 10.. trailer, 12.. address
    QTest::addColumn<int>("tail");
    QTest::addColumn<QString>("frames");

    const QString full = "0:0 1:1 2:0 3:0 4:37 5:48";
    // At 1 MHz a half bit may last 244 to 643 samples, a leader mark 6 times that.
    QTest::newRow("nominal") << 1 << 1 << 0 << 37 << 48 << "" << 2000 << full;
    QTest::newRow("logic '1' on falling edge") << 0 << 1 << 0 << 37 << 48 << "" << 2000 << full;
    QTest::newRow("leader mark at 6 x minimum") << 1 << 1 << 0 << 37 << 48 << "0=1464" << 2000 << full;
    QTest::newRow("leader mark one sample shorter") << 1 << 1 << 0 << 37 << 48 << "0=1463" << 2000 << "";
    QTest::newRow("leader mark at 6 x maximum") << 1 << 1 << 0 << 37 << 48 << "0=3858" << 2000 << full;
    QTest::newRow("leader mark one sample longer") << 1 << 1 << 0 << 37 << 48 << "0=3859" << 2000 << "";
    QTest::newRow("bit half at minimum") << 1 << 1 << 0 << 37 << 48 << "12=244" << 2000 << full;
    QTest::newRow("bit half below minimum") << 1 << 1 << 0 << 37 << 48 << "12=243" << 2000 << "0:0 1:1 2:0 3:0";
    QTest::newRow("bit half at maximum") << 1 << 1 << 0 << 37 << 48 << "12=643" << 2000 << full;
    QTest::newRow("bit half above maximum") << 1 << 1 << 0 << 37 << 48 << "12=644" << 2000 << "0:0 1:1 2:0 3:0";
    QTest::newRow("broken inside the mode bits") << 1 << 1 << 0 << 37 << 48 << "6=700" << 2000 << "0:0 1:1";
    QTest::newRow("trailer half at 2 x minimum") << 1 << 1 << 0 << 37 << 48 << "10=488" << 2000 << full;
    QTest::newRow("trailer half below 2 x minimum") << 1 << 1 << 0 << 37 << 48 << "10=487" << 2000 << "0:0 1:1 2:0";
    QTest::newRow("start bit 0 is kept") << 1 << 0 << 0 << 37 << 48 << "" << 2000 << "0:0 1:0 2:0 3:0 4:37 5:48";
    // Equal half-levels joined across a symbol boundary are split in proportion.
    QTest::newRow("toggle 1 joined with address bit 0") << 1 << 1 << 1 << 0x55 << 0xAA << "" << 2000
                                                         << "0:0 1:1 2:0 3:1 4:85 5:170";
    QTest::newRow("zero bits before one bits") << 1 << 1 << 0 << 0x0F << 0x01 << "" << 2000 << "0:0 1:1 2:0 3:0 4:15 5:1";
    // The last bit's second half runs into the end of the capture.
    QTest::newRow("last bit 1, no edge after it") << 1 << 1 << 0 << 0xFF << 0xFF << "" << 2000
                                                   << "0:0 1:1 2:0 3:0 4:255 5:255";
    QTest::newRow("last bit 1, capture ends with it") << 1 << 1 << 0 << 0xFF << 0xFF << "" << 0
                                                       << "0:0 1:1 2:0 3:0 4:255 5:255";
    QTest::newRow("last bit 1, capture ends inside it") << 1 << 1 << 0 << 0xFF << 0xFF << "" << -300
                                                         << "0:0 1:1 2:0 3:0 4:255";
}

void TestRc6::symbolTiming()
{
    QFETCH(int, style);
    QFETCH(int, start);
    QFETCH(int, toggle);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QString, tweak);
    QFETCH(int, tail);
    QFETCH(QString, frames);

    Rc6Message m;
    m.start = start;
    m.toggle = toggle;
    m.address = address;
    m.command = command;
    const int mark = style ? 0 : 1;
    auto halves = m.halves(mark);
    if (!tweak.isEmpty())
        halves[size_t(tweak.section('=', 0, 0).toInt())].second = tweak.section('=', 1).toInt();

    CaptureTables capture(1, kRate);
    fillChannel(capture, mark ^ 1, halves, 10000, tail);
    Analyzer* a = makeAnalyzer(style);
    QCOMPARE(runDecode(a, capture.data()), RunEndOfData);
    AnalyzerResults* r = resultsOf(a);
    QCOMPARE(frameWords(r), frames);
    // One packet per attempt that made frames, and no empty ones.
    QCOMPARE(r->GetNumPackets(), U64(frames.isEmpty() ? 0 : 1));
}

void TestRc6::frameExtentsAndMarkers()
{
    Rc6Message m; // start 1, mode 0, toggle 0, address 0x25, command 0x30
    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, m.halves(0));
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    AnalyzerResults* r = resultsOf(a);
    QCOMPARE(r->GetNumFrames(), U64(6));

    // Each field starts where the previous one ends; the symbols are
    // 8, 2, 6, 4, 16 and 16 units long.
    const int units[] = {8, 2, 6, 4, 16, 16};
    S64 pos = 10000;
    for (U64 i = 0; i < 6; ++i) {
        const Frame f = r->GetFrame(i);
        QCOMPARE(f.mStartingSampleInclusive, pos);
        pos += units[i] * kUnit;
        QCOMPARE(f.mEndingSampleInclusive, pos);
        QCOMPARE(f.mType, U8(0));
        QCOMPARE(f.mData2, U64(0));
    }

    // A marker in the middle of every bit: 10 for a one, 11 for a zero.
    const QString bits = "1" "000" "0" "00100101" "00110000";
    const Channel ch(0, 0);
    QCOMPARE(r->GetNumMarkers(ch), U64(bits.size()));
    for (int i = 0; i < bits.size(); ++i) {
        AnalyzerResults::MarkerType type;
        U64 sample = 0;
        QVERIFY(r->GetMarker(ch, U64(i), &type, &sample));
        QCOMPARE(int(type), bits[i] == '1' ? 10 : 11);
    }
    QVERIFY(r->DoBubblesAppearOnChannel(ch));
}

void TestRc6::channelOutOfRangeEndsRunWithoutFrames_data()
{
    QTest::addColumn<quint32>("channel");
    QTest::newRow("undefined") << quint32(0xFFFFFFFFu);
    QTest::newRow("past the capture's channels") << quint32(3);
}

void TestRc6::channelOutOfRangeEndsRunWithoutFrames()
{
    QFETCH(quint32, channel);
    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, Rc6Message().halves(0));
    Analyzer* a = mPlugin.create();
    mAnalyzers.push_back(a);
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    static_cast<AnalyzerSettingInterfaceChannel*>(s->GetSettingsInterface(0))
        ->SetChannel(channel == 0xFFFFFFFFu ? UNDEFINED_CHANNEL : Channel(0, channel));
    s->SetSettingsFromInterfaces();
    QCOMPARE(runDecode(a, capture.data()), RunNoChannel);
    QCOMPARE(resultsOf(a)->GetNumFrames(), U64(0));
    QCOMPARE(resultsOf(a)->GetNumPackets(), U64(0));
}

void TestRc6::setupResultsEmptiesResults()
{
    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, Rc6Message().halves(0));
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    AnalyzerResults* first = resultsOf(a);
    QCOMPARE(first->GetNumFrames(), U64(6));
    a->SetupResults();
    AnalyzerResults* second = resultsOf(a);
    QVERIFY(second);
    QCOMPARE(second->GetNumFrames(), U64(0));
    QCOMPARE(second->GetNumPackets(), U64(0));
    // Decoding again fills the new results only.
    runDecode(a, capture.data());
    QCOMPARE(resultsOf(a)->GetNumFrames(), U64(6));
}

void TestRc6::messageAtSampleZeroIsItsOwnPacket()
{
    // The capture starts inside the first leader mark.
    Rc6Message m;
    auto halves = m.halves(0);
    halves.emplace_back(1, 50 * kUnit);
    m.command = 49;
    for (const auto& h : m.halves(0))
        halves.push_back(h);
    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, halves, 0);
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    AnalyzerResults* r = resultsOf(a);
    QCOMPARE(r->GetFrame(0).mStartingSampleInclusive, S64(0));
    QCOMPARE(r->GetNumPackets(), U64(2));
    U64 first = 0, last = 0;
    QVERIFY(r->GetFramesContainedInPacket(1, &first, &last));
    QCOMPARE(first, U64(6));
    QCOMPARE(last, U64(11));
}

void TestRc6::texts()
{
    Rc6Message m;
    m.start = 0;
    m.mode = 6;
    m.toggle = 1;
    m.address = 0x25;
    m.command = 0x30;
    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, m.halves(0));
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    AnalyzerResults* r = resultsOf(a);
    QCOMPARE(r->GetNumFrames(), U64(6));

    const QStringList bubbles[] = {
        {"LS"},
        {"Start", "Start: 0x0", "Start: 0x0(error)"},
        {"Mode", "Mode: 0x6"},
        {"TR", "TR: 0x1"},
        {"ADDR", "ADDR: 0x25"},
        {"CMD", "CMD: 0x30"},
    };
    const QString rows[] = {"LS", "Start: 0x0(error)", "Mode: 0x6", "TR: 0x1", "ADDR: 0x25", "CMD: 0x30"};
    Channel ch(0, 0);
    for (U64 i = 0; i < 6; ++i) {
        r->GenerateBubbleText(i, ch, Hexadecimal);
        QCOMPARE(resultStrings(r), bubbles[i]);
        r->GenerateFrameTabularText(i, Hexadecimal);
        QCOMPARE(QString::fromUtf8(r->GetTabularTextString()), rows[i]);
        r->GeneratePacketTabularText(i, Hexadecimal);
        QCOMPARE(resultStrings(r), QStringList{"not supported"});
        r->GenerateTransactionTabularText(i, Hexadecimal);
        QCOMPARE(resultStrings(r), QStringList{"not supported"});
    }
    r->GenerateBubbleText(4, ch, Binary);
    QCOMPARE(resultStrings(r).last(), QString("ADDR: 0b00100101"));
    r->GenerateFrameTabularText(5, Decimal);
    QCOMPARE(QString::fromUtf8(r->GetTabularTextString()), QString("CMD: 48"));
}

void TestRc6::exportFile()
{
    // Two messages, then one broken inside its mode bits.
    Rc6Message m;
    auto halves = m.halves(0);
    halves.emplace_back(1, 50 * kUnit);
    m.command = 49;
    m.toggle = 1;
    for (const auto& h : m.halves(0))
        halves.push_back(h);
    halves.emplace_back(1, 50 * kUnit);
    auto broken = Rc6Message().halves(0);
    broken[6].second = 700;
    for (const auto& h : broken)
        halves.push_back(h);

    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, halves);
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    AnalyzerResults* r = resultsOf(a);
    QCOMPARE(r->GetNumPackets(), U64(3));

    const QString path = mTemp.filePath("rc6.csv");
    QVERIFY(runExport(r, path.toStdString(), Hexadecimal, 0));
    QCOMPARE(r->GetProgress(), 1.0);
    const S64 second = r->GetFrame(6).mStartingSampleInclusive;
    const S64 third = r->GetFrame(12).mStartingSampleInclusive;
    QCOMPARE(readFile(path), QString("Time[s],PackedId,Start,Mode,TR,ADDR,CMD\n"
                                     "0.010000,0,0x1,0x0,0x0,0x25,0x30\n"
                                     "0.%1,1,0x1,0x0,0x1,0x25,0x31\n"
                                     "0.%2,2,0x1")
                                 .arg(second, 6, 10, QChar('0'))
                                 .arg(third, 6, 10, QChar('0')));

    // Without packets: the header and its line end only.
    a->SetupResults();
    QVERIFY(runExport(resultsOf(a), path.toStdString(), Decimal, 0));
    QCOMPARE(readFile(path), QString("Time[s],PackedId,Start,Mode,TR,ADDR,CMD\n"));
}

void TestRc6::exportQuotesAsciiFields()
{
    // In ASCII a command of 0x2C is the text ",", and 0x22 is '"': the
    // fields are quoted, so that a CSV reader gets the columns back.
    Rc6Message comma;
    comma.command = 0x2C;
    Rc6Message quote;
    quote.address = 0x22;
    auto halves = comma.halves(0);
    halves.emplace_back(1, 50 * kUnit);
    for (const auto& h : quote.halves(0))
        halves.push_back(h);
    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, halves);
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    const QString path = mTemp.filePath("ascii.csv");
    QVERIFY(runExport(resultsOf(a), path.toStdString(), ASCII, 0));
    const QList<QStringList> rows = csvRows(path);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].size(), 7);
    QCOMPARE(rows[1].size(), 7);
    QCOMPARE(rows[1][6], QString(","));
    QCOMPARE(rows[2].size(), 7);
    QCOMPARE(rows[2][5], QString("\""));
}

void TestRc6::exportReportsUnwritableFile()
{
    CaptureTables capture(1, kRate);
    fillChannel(capture, 1, Rc6Message().halves(0));
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    AnalyzerResults* r = resultsOf(a);
    QVERIFY(!runExport(r, mTemp.filePath("no/such/dir/rc6.csv").toStdString(), Hexadecimal, 0));
    QVERIFY(!runExport(r, mTemp.path().toStdString(), Hexadecimal, 0)); // a directory
    QCOMPARE(r->GetProgress(), 1.0);
    // A later export that works clears the failure.
    QVERIFY(runExport(r, mTemp.filePath("ok.csv").toStdString(), Hexadecimal, 0));
}

void TestRc6::simulationRoundTrip_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("style");
    QTest::newRow("20 kHz (the minimum)") << 20000 << 1;
    QTest::newRow("20 kHz, logic '1' on falling edge") << 20000 << 0;
    QTest::newRow("1 MHz") << 1000000 << 1;
    QTest::newRow("3.3 MHz, logic '1' on falling edge") << 3333333 << 0;
    QTest::newRow("24 MHz") << 24000000 << 1;
    QTest::newRow("400 MHz") << 400000000 << 1;
}

void TestRc6::simulationRoundTrip()
{
    QFETCH(int, rate);
    QFETCH(int, style);

    // 20 messages: 50 idle units first, then 102 units per message.
    const int count = 20;
    const U64 unit = U64(rate) * 444 / 1000000;
    Analyzer* sim = makeAnalyzer(style);
    const U64 simRate = U64(rate);
    sim->Init(nullptr, &simRate, nullptr);
    SimulationChannelDescriptor* d = nullptr;
    QCOMPARE(sim->GenerateSimulationData((50 + 102 * count) * unit, U32(rate), &d), 1u);
    QVERIFY(d);
    QCOMPARE(d->GetChannel(), Channel(0, 0));
    QCOMPARE(d->GetSampleRate(), U32(rate));
    QCOMPARE(d->GetInitialBitState(), style ? BIT_HIGH : BIT_LOW);

    CaptureTables capture(1, rate);
    QVERIFY(simulationToCapture(d, capture));
    Analyzer* a = makeAnalyzer(style);
    runDecode(a, capture.data());
    const std::vector<Decoded> got = messages(resultsOf(a));
    QCOMPARE(int(got.size()), count);
    for (int i = 0; i < count; ++i) {
        // Commands count 48 to 63, then the address moves on.
        QCOMPARE(got[size_t(i)].address, 37 + i / 16);
        QCOMPARE(got[size_t(i)].command, 48 + i % 16);
        QCOMPARE(got[size_t(i)].toggle, i % 2);
    }
    QCOMPARE(resultsOf(a)->GetNumPackets(), U64(count));
}

void TestRc6::simulationContinuesBetweenCalls()
{
    const U64 rate = 1000000;
    Analyzer* sim = makeAnalyzer();
    sim->Init(nullptr, &rate, nullptr);
    SimulationChannelDescriptor* d = nullptr;
    sim->GenerateSimulationData(200000, U32(rate), &d);
    const U64 firstEnd = d->GetCurrentSampleNumber();
    const size_t firstRuns = d->GetData()->size();
    QVERIFY(firstEnd >= 200000);
    // A device rate twice the simulation's halves the target.
    sim->GenerateSimulationData(2 * (firstEnd + 100000), U32(2 * rate), &d);
    QVERIFY(d->GetCurrentSampleNumber() >= firstEnd + 100000);
    QVERIFY(d->GetData()->size() > firstRuns);

    // Both calls' messages decode as one signal; each call starts over at
    // address 37, command 48.
    CaptureTables capture(1, S64(rate));
    QVERIFY(simulationToCapture(d, capture));
    Analyzer* a = makeAnalyzer();
    runDecode(a, capture.data());
    const std::vector<Decoded> got = messages(resultsOf(a));
    const size_t firstCount = size_t((firstEnd - 50 * kUnit) / (102 * kUnit));
    QVERIFY(got.size() > firstCount);
    QCOMPARE(got[firstCount].command, 48);
    QCOMPARE(got[firstCount - 1].command, 48 + int(firstCount - 1) % 16);
}

void TestRc6::simulationAtTinyRateEnds()
{
    // Below 2.3 kHz a time unit rounds to no sample; the signal must still
    // move forward so that a caller reaches its target.
    for (U64 rate : {U64(0), U64(1), U64(1000)}) {
        Analyzer* sim = makeAnalyzer();
        sim->Init(nullptr, &rate, nullptr);
        SimulationChannelDescriptor* d = nullptr;
        QCOMPARE(sim->GenerateSimulationData(5000, U32(rate), &d), 1u);
        QVERIFY(d->GetCurrentSampleNumber() >= 5000);
    }
}

void TestRc6::randomInputEndsCleanly()
{
    // Random edges at rates from absurdly low to very high: every run ends
    // at the end of the data, and the frames stay ordered and inside it.
    std::mt19937_64 rng(6102);
    const S64 rates[] = {1, 20000, 1000000, 100000000, S64(1) << 40};
    for (int round = 0; round < 60; ++round) {
        const S64 rate = rates[round % 5];
        std::vector<int64_t> edges;
        int64_t pos = 0;
        const int maxGap = round % 3 == 0 ? 4 : round % 3 == 1 ? 1000 : 5000;
        for (int i = 0; i < 2000; ++i) {
            pos += 1 + int64_t(rng() % uint64_t(maxGap));
            edges.push_back(pos);
        }
        CaptureTables capture(1, rate);
        QVERIFY(capture.setChannel(0, int(rng() & 1), edges, pos + 1 + int64_t(rng() % 3000)));
        Analyzer* a = makeAnalyzer(int(round & 1));
        QCOMPARE(runDecode(a, capture.data()), RunEndOfData);
        AnalyzerResults* r = resultsOf(a);
        S64 last = 0;
        for (U64 i = 0; i < r->GetNumFrames(); ++i) {
            const Frame f = r->GetFrame(i);
            QVERIFY(f.mStartingSampleInclusive >= last);
            QVERIFY(f.mEndingSampleInclusive >= f.mStartingSampleInclusive);
            QVERIFY(f.mEndingSampleInclusive < capture.data()->smpDepth);
            last = f.mStartingSampleInclusive;
        }
        mPlugin.destroy(a);
        mAnalyzers.pop_back();
    }
}

void TestRc6::realCapture()
{
    const QString vcd = TestEnv::recordingPath("ir-rc6/philips_rc2143604_numbers.vcd");
    const QString expectedPath = TestEnv::recordingPath("ir-rc6/philips_rc2143604_numbers.expected");
    const QString csv = mTemp.filePath("philips.csv");
    const ToolRun run = runTool({"--plugin", QString::fromStdString(pluginPath()), "--vcd", vcd, "--signal", "IR",
                                 "--rate", "1000000", "--export", csv});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QVERIFY(run.err.isEmpty());

    // Complete messages: trailer, address and command frames in a row.
    struct Message {
        QString toggle, address, command;
    };
    QVector<Message> got;
    QStringList rows = run.out.split('\n', Qt::SkipEmptyParts);
    for (int i = 0; i + 2 < rows.size(); ++i) {
        const QStringList t = rows[i].split(' '), a = rows[i + 1].split(' '), c = rows[i + 2].split(' ');
        QCOMPARE(t.size(), 6);
        if (t[3] == "3" && a[3] == "4" && c[3] == "5")
            got.push_back({t[4], QString::asprintf("0x%02X", a[4].toUInt()), QString::asprintf("0x%02X", c[4].toUInt())});
    }

    QVector<Message> expected;
    const QStringList lines = readFile(expectedPath).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList f = line.simplified().split(' ');
        QCOMPARE(f.size(), 4);
        expected.push_back({f[1], f[2].toUpper().replace("0X", "0x"), f[3].toUpper().replace("0X", "0x")});
    }
    QCOMPARE(expected.size(), 23);
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(got[i].toggle, expected[i].toggle);
        QCOMPARE(got[i].address, expected[i].address);
        QCOMPARE(got[i].command, expected[i].command);
    }

    // The export holds one row per message, the same values.
    const QStringList exported = readFile(csv).split('\n');
    QCOMPARE(exported.size(), 1 + expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QStringList f = exported[i + 1].split(',');
        QCOMPARE(f.size(), 7);
        QCOMPARE(f[1], QString::number(i));
        QCOMPARE(f[4], "0x" + expected[i].toggle);
        QCOMPARE(f[5], expected[i].address);
        QCOMPARE(f[6], expected[i].command);
    }
}

void TestRc6::toolErrors_data()
{
    QTest::addColumn<QStringList>("args"); // after --plugin (a later one wins); "$VCD" is a small valid capture
    QTest::addColumn<QString>("message");

    const QStringList ok = {"--vcd", "$VCD", "--signal", "IR", "--rate", "1000000"};
    QTest::newRow("unknown option") << (ok + QStringList{"--speed", "2"}) << "unknown option '--speed'";
    QTest::newRow("option without value") << (ok + QStringList{"--set"}) << "--set needs a value";
    QTest::newRow("missing rate") << QStringList(ok.mid(0, 4)) << "missing --rate";
    QTest::newRow("zero rate") << (QStringList(ok.mid(0, 5)) + QStringList{"0"}) << "--rate must be";
    QTest::newRow("unreadable file") << QStringList{"--vcd", "$TMP/none.vcd", "--signal", "IR", "--rate", "1000"}
                                     << "cannot open";
    QTest::newRow("missing signal") << QStringList{"--vcd", "$VCD", "--signal", "RAW2", "--rate", "1000"}
                                    << "no signal named 'RAW2'";
    QTest::newRow("value not in the list") << (ok + QStringList{"--set", "1=2"}) << "'2' is not one of its values (0, 1)";
    QTest::newRow("no such setting") << (ok + QStringList{"--set", "2=1"}) << "no setting 2";
    QTest::newRow("setting a channel") << (ok + QStringList{"--set", "0=1"}) << "is a channel";
    QTest::newRow("set without =") << (ok + QStringList{"--set", "1"}) << "--set needs N=VALUE";
    QTest::newRow("unknown export option") << (ok + QStringList{"--export", "$TMP/x.csv", "--export-option", "3"})
                                           << "no export option 3";
    QTest::newRow("export option alone") << (ok + QStringList{"--export-option", "0"}) << "--export-option needs --export";
    QTest::newRow("unwritable export") << (ok + QStringList{"--export", "$TMP/no/dir/x.csv"})
                                       << "cannot write the export file";
    QTest::newRow("not a plug-in") << (QStringList{"--plugin", "$VCD"} + ok) << "cannot load plug-in";
}

void TestRc6::toolErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString vcd = mTemp.filePath("small.vcd");
    QFile f(vcd);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("$timescale 1us $end\n$var wire 1 ! IR $end\n$enddefinitions $end\n#0 1!\n#100 0!\n#200 1!\n#300\n");
    f.close();
    for (QString& a : args)
        a.replace("$VCD", vcd).replace("$TMP", mTemp.path());

    const ToolRun run = runTool(QStringList{"--plugin", QString::fromStdString(pluginPath())} + args);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("decode-capture: ") && run.err.endsWith('\n') && run.err.count('\n') == 1,
             qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestRc6::toolExportAndSettings()
{
    // The simulated signal of the falling-edge style, written as a VCD with
    // a 10 ns time scale and decoded with --set 1=0.
    const U64 rate = 1000000;
    Analyzer* sim = makeAnalyzer(0);
    sim->Init(nullptr, &rate, nullptr);
    SimulationChannelDescriptor* d = nullptr;
    sim->GenerateSimulationData((50 + 102 * 3) * kUnit, U32(rate), &d);
    QString text = "$timescale 10 ns $end\n$scope module top $end\n$var wire 1 # ir $end\n$upscope $end\n"
                   "$enddefinitions $end\n$dumpvars\n";
    text += QString(d->GetInitialBitState() == BIT_HIGH ? "1#" : "0#") + "\n$end\n";
    U64 pos = 0;
    int level = d->GetInitialBitState() == BIT_HIGH;
    for (S32 r : *d->GetData()) {
        pos += U64(r);
        level ^= 1;
        text += QString("#%1\n%2#\n").arg(pos * 100).arg(level);
    }
    text += QString("#%1\n").arg(d->GetCurrentSampleNumber() * 100);
    const QString vcd = mTemp.filePath("sim.vcd");
    QFile f(vcd);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
    f.close();

    const QString csv = mTemp.filePath("sim.csv");
    const ToolRun run = runTool({"--plugin", QString::fromStdString(pluginPath()), "--vcd", vcd, "--signal", "top.ir",
                                 "--rate", "1000000", "--set", "1=0", "--export", csv, "--export-option", "0"});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const QStringList rows = run.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 18);
    QVERIFY(rows[5].endsWith(" 0 5 48 0"));
    QVERIFY(rows[11].endsWith(" 0 5 49 0"));
    QVERIFY(rows[17].endsWith(" 0 5 50 0"));
    const QStringList lines = readFile(csv).split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[3].endsWith(",2,0x1,0x0,0x0,0x25,0x32"));

    // With the other logic style nothing decodes into these messages.
    const ToolRun rising = runTool({"--plugin", QString::fromStdString(pluginPath()), "--vcd", vcd, "--signal", "ir",
                                    "--rate", "1000000"});
    QCOMPARE(rising.status, 0);
    QVERIFY(!rising.out.contains(" 0 5 48 0"));
}

// --timing adds one line on stderr and changes nothing else.
void TestRc6::toolTiming()
{
    const QString vcd = mTemp.filePath("timed.vcd");
    QFile f(vcd);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("$timescale 1us $end\n$var wire 1 ! IR $end\n$enddefinitions $end\n#0 1!\n#100 0!\n#200 1!\n#300 0!\n#400\n");
    f.close();
    const QStringList args = {"--plugin", QString::fromStdString(pluginPath()), "--vcd", vcd, "--signal", "IR",
                              "--rate", "1000000"};

    const ToolRun plain = runTool(args);
    const ToolRun timed = runTool(args + QStringList{"--timing"});
    QVERIFY2(timed.status == 0, qPrintable(timed.err));
    QCOMPARE(timed.out, plain.out);
    QVERIFY(plain.err.isEmpty());
    const QRegularExpression line("^decoded 3 edges in (\\d+\\.\\d+) s \\((\\d+) edges/s\\)\n$");
    const QRegularExpressionMatch m = line.match(timed.err);
    QVERIFY2(m.hasMatch(), qPrintable(timed.err));
    QVERIFY(m.captured(2).toDouble() > 0);
}

void TestRc6::vcdReading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("initLevel");
    QTest::addColumn<QString>("edges");
    QTest::addColumn<int>("depth");

    const QString head = "$timescale 1 us $end $var wire 1 ! IR $end $var wire 1 \" RAW $end $enddefinitions $end\n";
    QTest::newRow("values on the time line") << head + "#0 1! 0\"\n#10 0! 1\"\n#25 1!\n#40\n" << 1000000 << 1 << "10 25" << 40;
    QTest::newRow("sample = time x timescale x rate")
        << head + "#0 0!\n#10 1!\n#25 0!\n" << 200000 << 0 << "2 5" << 6;
    QTest::newRow("10 ns timescale, truncated")
        << "$timescale 10ns $end $var wire 1 ! IR $end $enddefinitions $end #0 0! #150 1! #299 0! #400" << 1000000 << 0
        << "1 2" << 4;
    QTest::newRow("changes within sample 0 set the start level")
        << "$timescale 10ns $end $var wire 1 ! IR $end $enddefinitions $end #0 0! #33 1! #67 0! #70 1! #100" << 1000000
        << 1 << "" << 1;
    QTest::newRow("changes on one sample keep their net result")
        << head + "#0 0!\n#10 1!\n#11 0!\n#20 1!\n#30\n" << 100000 << 0 << "2" << 3;
    QTest::newRow("x and z keep the level") << head + "#0 1!\n#5 x!\n#6 z!\n#7 0!\n#9\n" << 1000000 << 1 << "7" << 9;
    QTest::newRow("repeated value is no edge") << head + "#0 0!\n#5 0!\n#6 1!\n#7 1!\n" << 1000000 << 0 << "6" << 7;
    QTest::newRow("vector form and dumpvars")
        << head + "$dumpvars b1 ! b0 \" $end\n#4 b0 !\n#8 B1 !\n" << 1000000 << 1 << "4 8" << 9;
    QTest::newRow("scoped name, comments")
        << "$comment any $var text $end $timescale 1 ms $end $scope module top $end $var wire 1 a IR $end $upscope $end "
           "$enddefinitions $end #0 0a $comment x $end #2 1a #3"
        << 1000 << 0 << "2" << 3;
    QTest::newRow("no value: low, one sample") << head << 1000000 << 0 << "" << 1;
    QTest::newRow("value before any time stamp") << head + "1!\n#3 0!\n" << 1000000 << 1 << "3" << 4;
    QTest::newRow("first value later, low: no edge") << head + "#0\n#5 0!\n#8 1!\n" << 1000000 << 0 << "8" << 9;
    QTest::newRow("first values later, net high") << head + "#0 x!\n#5 0! 1!\n#8\n" << 1000000 << 0 << "5" << 8;
}

void TestRc6::vcdReading()
{
    QFETCH(QString, text);
    QFETCH(int, rate);
    QFETCH(int, initLevel);
    QFETCH(QString, edges);
    QFETCH(int, depth);
    const std::string name = QString(QTest::currentDataTag()).startsWith("scoped") ? "top.IR" : "IR";
    VcdSignal s;
    std::string error;
    QVERIFY2(parseVcdSignal(text.toStdString(), name, U64(rate), &s, &error), error.c_str());
    QStringList got;
    for (int64_t e : s.edges)
        got << QString::number(e);
    QCOMPARE(s.initLevel, initLevel);
    QCOMPARE(got.join(' '), edges);
    QCOMPARE(s.depth, int64_t(depth));
}

void TestRc6::vcdMalformed_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    const QByteArray var = "$var wire 1 ! IR $end ";
    QTest::newRow("empty file") << QByteArray() << "no $enddefinitions";
    QTest::newRow("binary bytes") << QByteArray("\x00\x01\xff\xfe garbage \x7f", 14) << "unexpected '??";
    QTest::newRow("no timescale") << var + "$enddefinitions $end #0 1!" << "no $timescale";
    QTest::newRow("bad timescale") << "$timescale 3 us $end " + var + "$enddefinitions $end" << "bad $timescale";
    QTest::newRow("bad timescale unit") << "$timescale 1 hours $end " + var + "$enddefinitions $end" << "bad $timescale";
    QTest::newRow("unclosed var") << QByteArray("$timescale 1us $end $var wire 1 ! IR") << "$var is not closed by $end";
    QTest::newRow("short var") << QByteArray("$timescale 1us $end $var wire 1 ! $end $enddefinitions $end")
                               << "$var needs";
    QTest::newRow("wide signal") << QByteArray("$timescale 1us $end $var wire 8 ! IR $end $enddefinitions $end")
                                 << "is '8' bits wide";
    QTest::newRow("time backwards") << "$timescale 1us $end " + var + "$enddefinitions $end #5 1! #4 0!"
                                    << "line 1: time stamp '#4' goes backwards";
    QTest::newRow("bad time stamp") << "$timescale 1us $end " + var + "$enddefinitions $end #5x" << "bad time stamp";
    QTest::newRow("huge time stamp") << "$timescale 1s $end " + var + "$enddefinitions $end #99999999999999999999"
                                     << "bad time stamp";
    QTest::newRow("time past the store") << "$timescale 1s $end " + var + "$enddefinitions $end #10000000"
                                         << "past the largest sample position";
    QTest::newRow("value without identifier") << "$timescale 1us $end " + var + "$enddefinitions $end #0 1" << "without an identifier";
    QTest::newRow("vector without identifier") << "$timescale 1us $end " + var + "$enddefinitions $end #0 b1"
                                               << "without an identifier";
    QTest::newRow("bad vector value") << "$timescale 1us $end " + var + "$enddefinitions $end #0 b12 !" << "bad vector value";
    QTest::newRow("real value on the signal") << "$timescale 1us $end " + var + "$enddefinitions $end #0 r1.5 !"
                                              << "real value";
    QTest::newRow("stray word in body") << "$timescale 1us $end " + var + "$enddefinitions $end\n#0 1!\nhello"
                                        << "line 3: unexpected 'hello'";
    QTest::newRow("giant token") << QByteArray(100000, 'a') << "token longer than";
}

void TestRc6::vcdMalformed()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    const QString path = mTemp.filePath("bad.vcd");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    // Through the tool (one line, status 1) ...
    const ToolRun run = runTool({"--plugin", QString::fromStdString(pluginPath()), "--vcd", path, "--signal", "IR",
                                 "--rate", "1000000"});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.count('\n') == 1 && run.err.contains(path + ": ") && run.err.contains(message), qPrintable(run.err));
    // ... and the same answer from the text in memory.
    VcdSignal s;
    std::string error;
    QVERIFY(!parseVcdSignal(text.toStdString(), "IR", 1000000, &s, &error));
    QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
}

void TestRc6::vcdRandomInput()
{
    // Random bytes, random tokens and mutations of the real capture: the
    // reader answers every one, and what it accepts is a valid edge list.
    QFile real(TestEnv::recordingPath("ir-rc6/philips_rc2143604_numbers.vcd"));
    QVERIFY(real.open(QIODevice::ReadOnly));
    const std::string original = real.read(6000).toStdString();
    const char* words[] = {"$timescale", "1", "us", "$end", "$var", "wire", "!", "IR", "$enddefinitions",
                           "#0", "#10", "1!", "0!", "b1", "x!", "$dumpvars", "$scope", "#", "r2", "\n"};
    std::mt19937_64 rng(42);
    for (int round = 0; round < 600; ++round) {
        std::string text;
        switch (round % 3) {
        case 0:
            for (int i = int(rng() % 400); i > 0; --i)
                text += char(rng() & 0xFF);
            break;
        case 1:
            for (int i = int(rng() % 60); i > 0; --i)
                text += std::string(words[rng() % 20]) + " ";
            break;
        default:
            text = original;
            for (int i = 1 + int(rng() % 8); i > 0; --i) {
                const size_t at = size_t(rng() % text.size());
                if (rng() & 1)
                    text[at] = char(rng() & 0xFF);
                else
                    text.erase(at, size_t(rng() % 40));
            }
            break;
        }
        VcdSignal s;
        std::string error;
        const U64 rate = U64(1) << (rng() % 40);
        if (parseVcdSignal(text, "IR", rate, &s, &error)) {
            int64_t last = 0;
            for (int64_t e : s.edges) {
                QVERIFY(e > last);
                last = e;
            }
            QVERIFY(s.depth > last && s.depth >= 1);
        } else {
            QVERIFY(!error.empty());
            QVERIFY(error.find('\n') == std::string::npos);
        }
    }
}

QTEST_GUILESS_MAIN(TestRc6)
#include "test_rc6.moc"

// IR RC6 plug-in: symbol timing limits, message layout, texts, export file
// and demonstration signal.

#include <QtTest>

#include <QFile>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/Rc6Kit.h"

using namespace plugintest;

namespace {

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

class TestRc6 : public Rc6TestBase {
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
};

void TestRc6::initTestCase()
{
    loadPlugin();
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

QTEST_GUILESS_MAIN(TestRc6)
#include "test_rc6.moc"

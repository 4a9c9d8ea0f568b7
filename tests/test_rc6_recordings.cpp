// IR RC6 plug-in: the real capture through decode-capture, the tool's
// errors, export, settings and timing, and its VCD reader.

#include <QtTest>

#include <QFile>

#include <random>
#include <string>
#include <vector>

#include "VcdReader.h"
#include "support/Rc6Kit.h"
#include "support/TestEnv.h"

using namespace plugintest;

class TestRc6Recordings : public Rc6TestBase {
    Q_OBJECT
private slots:
    void initTestCase();
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
};

void TestRc6Recordings::initTestCase()
{
    loadPlugin();
}

void TestRc6Recordings::realCapture()
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

void TestRc6Recordings::toolErrors_data()
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

void TestRc6Recordings::toolErrors()
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

void TestRc6Recordings::toolExportAndSettings()
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
void TestRc6Recordings::toolTiming()
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

void TestRc6Recordings::vcdReading_data()
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

void TestRc6Recordings::vcdReading()
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

void TestRc6Recordings::vcdMalformed_data()
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

void TestRc6Recordings::vcdMalformed()
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

void TestRc6Recordings::vcdRandomInput()
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

QTEST_GUILESS_MAIN(TestRc6Recordings)
#include "test_rc6_recordings.moc"

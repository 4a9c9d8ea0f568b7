// WS2812 RGB and RGBW plug-ins: settings, pulse classes at their bounds,
// chain and capture ends, the low-rate frame, texts and export read back by
// a CSV reader, the demonstration signal, and the real captures through
// decode-capture.

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

const QString kRateTooLow = "This analyzer requires a sampling rate of 10MHz and above.";

// An LED chain signal at a rate: nominal bits of 350/800 ns (zero) and
// 700/600 ns (one), in samples of that rate.
struct LedSignal {
    explicit LedSignal(int64_t rate) : rate(rate) {}

    int64_t ns(int64_t t) const { return rate * t / 1000000000; }
    void level(int l, int64_t samples) { runs.emplace_back(l, samples); }
    // One bit: high, then low samples (0: nominal).
    void bit(bool one, int64_t high = 0, int64_t low = 0)
    {
        level(1, high ? high : ns(one ? 700 : 350));
        level(0, low ? low : ns(one ? 600 : 800));
    }
    // A word, most significant bit first; the last bit's low is `lastLow`
    // samples when given.
    void word(U64 value, U32 bits, int64_t lastLow = 0)
    {
        for (U32 i = bits; i-- > 0;)
            bit((value >> i) & 1, 0, i == 0 ? lastLow : 0);
    }
    // A reset low of 60 us, a chain of words, and 60 us of low after it.
    void chain(const std::vector<U64>& words, U32 bits)
    {
        level(0, ns(60000));
        for (size_t k = 0; k < words.size(); ++k)
            word(words[k], bits, k + 1 == words.size() ? ns(60000) : 0);
    }

    int64_t rate;
    Runs runs;
};

// Frames as words: "R" reset, "W:hex" word, "E" broken-off word, "M" the
// low-rate message.
QString frameWords(AnalyzerResults* r)
{
    QStringList words;
    for (U64 i = 0; i < r->GetNumFrames(); ++i) {
        const Frame f = r->GetFrame(i);
        if (f.mFlags == 0xFF)
            words << "M";
        else if (f.mType == 0)
            words << "R";
        else if (f.mData2 != 0)
            words << "E";
        else
            words << "W:" + QString::number(f.mData1, 16);
    }
    return words.join(' ');
}

} // namespace

class TestWs2812 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void namesAndSettings_data();
    void namesAndSettings();
    void settingsText();
    void pulseClasses_data();
    void pulseClasses();
    void frameLayout();
    void chainGaps_data();
    void chainGaps();
    void shortLowFirstIsNoReset();
    void captureEnd_data();
    void captureEnd();
    void lowRate_data();
    void lowRate();
    void colourTexts_data();
    void colourTexts();
    void otherTexts();
    void exportFile_data();
    void exportFile();
    void simulationRoundTrip_data();
    void simulationRoundTrip();
    void simulationContinues();
    void randomInputEndsCleanly();
    void realCaptures();

private:
    const AnalyzerPlugin& plugin(bool rgbw) const { return rgbw ? mRgbw : mRgb; }

    AnalyzerPlugin mRgb;
    AnalyzerPlugin mRgbw;
    QTemporaryDir mTemp;
    Captures mCaptures;
};

void TestWs2812::initTestCase()
{
    QVERIFY(mTemp.isValid());
    std::string error;
    QVERIFY2(mRgb.load(binPath("Analyzer/libRGB-WS2812.so").toStdString(), &error), error.c_str());
    QVERIFY2(mRgbw.load(binPath("Analyzer/libRGBW-WS2812.so").toStdString(), &error), error.c_str());
}

void TestWs2812::namesAndSettings_data()
{
    QTest::addColumn<bool>("rgbw");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("lists");
    QTest::newRow("RGB") << false << "RGB-WS2812" << "RGBAnalyzer"
                         << QStringList{"RGB order in frame||0:GRB [default],1:RGB|0",
                                        "RGB order in display||0:RGB [default],1:GRB|0",
                                        "RGB display mode||0:as three 8-bits [default],1:as one 24-bits|0"};
    QTest::newRow("RGBW") << true << "RGBW-WS2812" << "RGBWAnalyzer"
                          << QStringList{"RGBW order in frame||0:GRBW [default],1:RGBW|0",
                                         "RGBW order in display||0:RGBW [default],1:GRBW|0",
                                         "RGBW display mode||0:as four 8-bits [default],1:as one 32-bits|0"};
}

void TestWs2812::namesAndSettings()
{
    QFETCH(bool, rgbw);
    QFETCH(QString, name);
    QFETCH(QString, archive);
    QFETCH(QStringList, lists);
    const AnalyzerPlugin& p = plugin(rgbw);
    QCOMPARE(QString(p.name()), name);
    QVERIFY(!p.paraInfoList()); // offered for every device model
    p.destroy(nullptr);         // ignored

    PluginAnalyzer a(p);
    QCOMPARE(QString(a->GetAnalyzerName()), name);
    QCOMPARE(a->GetMinimumSampleRateHz(), 10000000u);
    QVERIFY(!a->NeedsRerun());

    // The dialog: channel, order in frame, order in display, display mode.
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    QCOMPARE(s->GetSettingsInterfacesCount(), 4u);
    AnalyzerSettingInterface* input = s->GetSettingsInterface(0);
    QCOMPARE(input->GetType(), INTERFACE_CHANNEL);
    QCOMPARE(QString(input->GetTitle()) + "|" + input->GetToolTip(), QString("Input|Standard Interface"));
    QVERIFY(static_cast<AnalyzerSettingInterfaceChannel*>(input)->GetChannel().IsUndefined());
    for (U32 k = 0; k < 3; ++k)
        QCOMPARE(describeList(numberList(s, k + 1)), lists[int(k)]);

    const char* label = nullptr;
    bool used = true;
    QCOMPARE(s->GetChannelsCount(), 1u);
    QVERIFY(s->GetChannel(0, &label, &used).IsUndefined());
    QCOMPARE(QString(label), QString("Input"));
    QVERIFY(!used);

    U32 id = 9;
    const char* text = nullptr;
    const char* ext = nullptr;
    QCOMPARE(s->GetExportOptionsCount(), 1u);
    QVERIFY(s->GetExportOption(0, &id, &text));
    QCOMPARE(QString("%1 %2").arg(id).arg(text), QString("0 Export as text/csv file"));
    QCOMPARE(s->GetFileExtensionCount(0), 2u);
    QVERIFY(s->GetFileExtension(0, 0, &label, &ext));
    QCOMPARE(QString(label) + "/" + ext, QString("Text file/txt"));

    // The bit rate is archived, after the channel, though not shown.
    QCOMPARE(QString(s->SaveSettings()), QString("\"%1 %2/%3 800000 0 0 0").arg(archive).arg(~U64(0)).arg(~U32(0)));
}

void TestWs2812::settingsText()
{
    PluginAnalyzer a(mRgbw);
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    static_cast<AnalyzerSettingInterfaceChannel*>(s->GetSettingsInterface(0))->SetChannel(Channel(0, 7));
    configure(a.get(), {1, 1, 1});
    static_cast<AnalyzerSettingInterfaceChannel*>(s->GetSettingsInterface(0))->SetChannel(Channel(0, 7));
    QVERIFY(s->SetSettingsFromInterfaces());
    const QString saved = QString::fromUtf8(s->SaveSettings());
    QCOMPARE(saved, QString("\"RGBWAnalyzer 0/7 800000 1 1 1"));

    struct Case {
        QString text;
        QString expected; // what the new instance saves
    };
    const Case cases[] = {
        {saved, saved},
        // Another plug-in's name: reported, and read from the same positions.
        {QString(saved).replace("RGBWAnalyzer", "RGBAnalyzer"), saved},
        // A hand-edited text: values outside their lists take the default.
        {"\"RGBWAnalyzer 0/7 123 5 1 7", "\"RGBWAnalyzer 0/7 800000 0 1 0"},
        {"\"RGBWAnalyzer 0/3 400000", "\"RGBWAnalyzer 0/3 400000 0 0 0"}, // the rest stays
        {"", "\"RGBWAnalyzer 18446744073709551615/4294967295 800000 0 0 0"},
    };
    for (const Case& c : cases) {
        PluginAnalyzer b(mRgbw);
        AnalyzerSettings* t = b->GetAnalyzerSettings();
        t->LoadSettings(c.text.toLatin1().constData());
        QCOMPARE(QString::fromUtf8(t->SaveSettings()), c.expected);
        // The interfaces follow the loaded values.
        QCOMPARE(numberList(t, 2)->GetNumber(), c.expected.endsWith(" 1 1 1") || c.expected.endsWith(" 0 1 0") ? 1.0 : 0.0);
    }

    // Whatever number a list holds, taking it over gives a listed value.
    for (double odd : {-5.0, 1e20, std::nan(""), 2.0, 0.9}) {
        numberList(s, 1)->SetNumber(odd);
        QVERIFY(s->SetSettingsFromInterfaces());
        QCOMPARE(QString::fromUtf8(s->SaveSettings()), QString("\"RGBWAnalyzer 0/7 800000 0 1 1"));
    }
}

void TestWs2812::pulseClasses_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("high"); // of the second bit of the word 0x800000 (a zero), samples; 0 nominal
    QTest::addColumn<int>("low");
    QTest::addColumn<QString>("frames");

    // 100 MHz: reset 5000 samples, minimum pulse 10, bit period 65, a one
    // from 55. Broken words keep the bits before the bad one.
    const qint64 r100 = 100000000;
    QTest::newRow("100 MHz nominal") << r100 << 0 << 0 << "R W:800000";
    QTest::newRow("100 MHz high 55: one") << r100 << 55 << 0 << "R W:c00000";
    QTest::newRow("100 MHz high 54: zero") << r100 << 54 << 0 << "R W:800000";
    QTest::newRow("100 MHz high at minimum pulse") << r100 << 10 << 80 << "R W:800000";
    QTest::newRow("100 MHz high below minimum pulse") << r100 << 9 << 80 << "R E";
    QTest::newRow("100 MHz low at minimum pulse") << r100 << 55 << 10 << "R W:c00000";
    QTest::newRow("100 MHz low below minimum pulse") << r100 << 55 << 9 << "R E";
    QTest::newRow("100 MHz bit period at minimum") << r100 << 20 << 45 << "R W:800000";
    QTest::newRow("100 MHz bit period one short") << r100 << 20 << 44 << "R E";
    QTest::newRow("100 MHz high at the reset") << r100 << 5000 << 0 << "R W:c00000";
    QTest::newRow("100 MHz high above the reset") << r100 << 5001 << 0 << "R E";
    QTest::newRow("100 MHz low at the reset, not the last bit") << r100 << 0 << 5000 << "R E R E";
    // 33.333333 MHz: reset 1666 samples, minimum pulse 3, bit period 21,
    // a one from 18 (each truncated).
    const qint64 r33 = 33333333;
    QTest::newRow("33.3 MHz nominal") << r33 << 0 << 0 << "R W:800000";
    QTest::newRow("33.3 MHz high 18: one") << r33 << 18 << 0 << "R W:c00000";
    QTest::newRow("33.3 MHz high 17: zero") << r33 << 17 << 0 << "R W:800000";
    QTest::newRow("33.3 MHz high 3") << r33 << 3 << 20 << "R W:800000";
    QTest::newRow("33.3 MHz high 2") << r33 << 2 << 20 << "R E";
    QTest::newRow("33.3 MHz bit period 21") << r33 << 5 << 16 << "R W:800000";
    QTest::newRow("33.3 MHz bit period 20") << r33 << 5 << 15 << "R E";
    QTest::newRow("33.3 MHz low 1665: no reset") << r33 << 0 << 1665 << "R W:800000";
    QTest::newRow("33.3 MHz low 1666: reset") << r33 << 0 << 1666 << "R E R E";
}

void TestWs2812::pulseClasses()
{
    QFETCH(qint64, rate);
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(QString, frames);
    LedSignal s(rate);
    s.level(0, s.ns(60000));
    s.bit(true);
    s.bit(false, high, low);
    for (int i = 2; i < 24; ++i)
        s.bit(false, 0, i == 23 ? s.ns(60000) : 0);
    // A second word after it, cut off by the capture's end.
    s.bit(true);
    s.bit(false);
    PluginAnalyzer a(mRgb);
    configure(a.get(), {0, 1}); // no byte exchange
    AnalyzerResults* r = mCaptures.decode(a.get(), rate, s.runs);
    QVERIFY(r);
    // After a broken word the decoder waits for the next reset; the chain's
    // end is one, and the second word runs into the capture's end.
    QCOMPARE(frameWords(r), frames + " R");
}

void TestWs2812::frameLayout()
{
    // 100 MHz: two words, then a chain end.
    LedSignal s(100000000);
    s.chain({0xA50000, 0x0000FF}, 24);
    s.level(1, 70);
    s.level(0, 800);
    PluginAnalyzer a(mRgb);
    configure(a.get(), {0, 1});
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs);
    QCOMPARE(frameWords(r), QString("R W:a50000 W:ff R"));

    const Frame reset = r->GetFrame(0), first = r->GetFrame(1), second = r->GetFrame(2), after = r->GetFrame(3);
    QCOMPARE(reset.mStartingSampleInclusive, S64(0));
    QCOMPARE(reset.mEndingSampleInclusive, S64(6000));
    // A word runs from one sample after its first rising edge to the next
    // word's first rising edge.
    QCOMPARE(first.mStartingSampleInclusive, S64(6001));
    QCOMPARE(first.mEndingSampleInclusive, second.mStartingSampleInclusive - 1);
    QCOMPARE(first.mType, U8(1));
    QCOMPARE(first.mData2, U64(0));
    // The chain's last word ends one minimum pulse (10 samples) after its
    // last falling edge, where the reset frame begins.
    // Bits of 130 (one) and 115 (zero) samples; the last bit is a one.
    const S64 lastFall = 6000 + (4 * 130 + 20 * 115) + (8 * 130 + 16 * 115) - 60;
    QCOMPARE(second.mEndingSampleInclusive, lastFall + 10);
    QCOMPARE(after.mStartingSampleInclusive, lastFall + 10);
    QCOMPARE(after.mEndingSampleInclusive, lastFall + 6000);

    // A marker at every bit's falling edge: 10 for a one, 11 for a zero.
    const Channel ch(0, 0);
    QCOMPARE(r->GetNumMarkers(ch), U64(48));
    QString bits;
    for (U64 i = 0; i < 48; ++i) {
        AnalyzerResults::MarkerType type;
        U64 sample = 0;
        QVERIFY(r->GetMarker(ch, i, &type, &sample));
        bits += type == AnalyzerResults::One ? '1' : type == AnalyzerResults::Zero ? '0' : '?';
        if (i == 47)
            QCOMPARE(S64(sample), lastFall);
    }
    QCOMPARE(bits, QString("101001010000000000000000" "000000000000000011111111"));
    QVERIFY(r->DoBubblesAppearOnChannel(ch));
}

void TestWs2812::chainGaps_data()
{
    QTest::addColumn<int>("gap"); // samples of low after a chain's last falling edge, at 100 MHz
    QTest::addColumn<QString>("frames");
    QTest::newRow("one sample short of the reset") << 4999 << "R W:110000 W:220000 W:330000 W:440000";
    QTest::newRow("the reset") << 5000 << "R W:110000 W:220000 R W:330000 W:440000";
    QTest::newRow("the reset and less than a minimum pulse") << 5009 << "R W:110000 W:220000 R W:330000 W:440000";
    QTest::newRow("long reset") << 100000 << "R W:110000 W:220000 R W:330000 W:440000";
}

void TestWs2812::chainGaps()
{
    QFETCH(int, gap);
    QFETCH(QString, frames);
    LedSignal s(100000000);
    s.level(0, 6000);
    s.word(0x110000, 24);
    s.word(0x220000, 24, gap);
    s.word(0x330000, 24);
    s.word(0x440000, 24, 100);
    PluginAnalyzer a(mRgb);
    configure(a.get(), {0, 1});
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs);
    QCOMPARE(frameWords(r), frames);
}

void TestWs2812::shortLowFirstIsNoReset()
{
    // 49.99 us of low before the first bits: no reset, so no chain.
    LedSignal s(100000000);
    s.level(0, 4999);
    s.word(0x110000, 24);
    s.word(0x220000, 24, 100);
    PluginAnalyzer a(mRgb);
    configure(a.get(), {0, 1});
    QCOMPARE(frameWords(mCaptures.decode(a.get(), s.rate, s.runs)), QString());
}

void TestWs2812::captureEnd_data()
{
    QTest::addColumn<int>("cut"); // samples of the signal dropped from its end; negative: low added
    QTest::addColumn<QString>("frames");
    QTest::addColumn<int>("runEnd");
    // The chain's last bit is a one: 70 samples high, then the low.
    QTest::newRow("one sample after the last edge") << -1 << "R W:11 W:23" << int(RunEndOfData);
    QTest::newRow("five samples after it") << -5 << "R W:11 W:23" << int(RunEndOfData);
    QTest::newRow("inside the last bit's high") << 30 << "R W:11" << int(RunEndOfData);
    QTest::newRow("inside the second word") << 12 * 115 << "R W:11" << int(RunEndOfData);
}

void TestWs2812::captureEnd()
{
    QFETCH(int, cut);
    QFETCH(QString, frames);
    QFETCH(int, runEnd);
    LedSignal s(100000000);
    s.level(0, 6000);
    s.word(0x11, 24);
    s.word(0x23, 24);
    // The last bit (a one): its high, then `-cut` samples of low, or the
    // signal cut `cut` samples before that bit's falling edge.
    s.runs.pop_back();
    if (cut < 0) {
        s.level(0, -cut);
    } else {
        int64_t drop = cut;
        while (drop > 0) {
            if (s.runs.back().second > drop) {
                s.runs.back().second -= drop;
                drop = 0;
            } else {
                drop -= s.runs.back().second;
                s.runs.pop_back();
            }
        }
    }
    PluginAnalyzer a(mRgb);
    configure(a.get(), {0, 1});
    AnalyzerRunEnd end = RunNotEnded;
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs, &end);
    QCOMPARE(int(end), runEnd);
    QCOMPARE(frameWords(r), frames);
    // The last word of a capture that ends after it stays inside the capture.
    const Frame last = r->GetFrame(r->GetNumFrames() - 1);
    QVERIFY(last.mEndingSampleInclusive < mCaptures.last().data()->smpDepth);
}

void TestWs2812::lowRate_data()
{
    QTest::addColumn<bool>("rgbw");
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<qint64>("depth");
    QTest::newRow("RGB at 8 MHz") << false << qint64(8000000) << qint64(400000);
    QTest::newRow("RGBW at 9.999999 MHz") << true << qint64(9999999) << qint64(400000);
    QTest::newRow("RGB at 1 MHz, one sample") << false << qint64(1000000) << qint64(1);
}

void TestWs2812::lowRate()
{
    QFETCH(bool, rgbw);
    QFETCH(qint64, rate);
    QFETCH(qint64, depth);
    LedSignal s(rate);
    if (depth > 1) {
        s.chain({0x123456}, 24);
        s.level(0, depth - 1);
    } else {
        s.level(0, 1);
    }
    PluginAnalyzer a(plugin(rgbw));
    configure(a.get());
    AnalyzerRunEnd end = RunNotEnded;
    AnalyzerResults* r = mCaptures.decode(a.get(), rate, s.runs, &end);
    // One frame over the whole capture, and the run ends by itself.
    QCOMPARE(end, RunFinished);
    QCOMPARE(frameWords(r), QString("M"));
    const Frame f = r->GetFrame(0);
    const S64 captureDepth = mCaptures.last().data()->smpDepth;
    QCOMPARE(f.mStartingSampleInclusive, S64(1));
    QCOMPARE(f.mEndingSampleInclusive, captureDepth > 1 ? captureDepth - 1 : S64(1));
    QCOMPARE(bubbles(r, 0, Hexadecimal), QStringList{kRateTooLow});
    QCOMPARE(tabular(r, 0, Hexadecimal), kRateTooLow);

    const QString path = mTemp.filePath("low.csv");
    QVERIFY(runExport(r, path.toStdString(), Hexadecimal, 0));
    QCOMPARE(readFile(path), "Time [s],Type,Value\n" + kRateTooLow + "\n");
}

void TestWs2812::colourTexts_data()
{
    QTest::addColumn<bool>("rgbw");
    QTest::addColumn<int>("frameOrder");
    QTest::addColumn<int>("displayOrder");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("base");
    QTest::addColumn<QStringList>("bubbles"); // the tabular text is the last one

    // On the wire, in this order: 0x11, 0x22, 0x33 (and 0x44).
    QTest::newRow("RGB defaults") << false << 0 << 0 << 0 << int(Hexadecimal)
                                  << QStringList{"RGB", "R:0x22 G:0x11 B:0x33"};
    QTest::newRow("RGB shown as sent (GRB)") << false << 0 << 1 << 0 << int(Hexadecimal)
                                             << QStringList{"GRB", "G:0x11 R:0x22 B:0x33"};
    QTest::newRow("RGB sent red first, shown green first") << false << 1 << 1 << 0 << int(Hexadecimal)
                                                           << QStringList{"GRB", "G:0x22 R:0x11 B:0x33"};
    QTest::newRow("RGB sent red first, shown so") << false << 1 << 0 << 0 << int(Hexadecimal)
                                                  << QStringList{"RGB", "R:0x11 G:0x22 B:0x33"};
    QTest::newRow("RGB one number") << false << 0 << 0 << 1 << int(Hexadecimal)
                                    << QStringList{"RGB", "RGB:0x221133"};
    QTest::newRow("RGB decimal") << false << 0 << 0 << 0 << int(Decimal) << QStringList{"RGB", "R:34 G:17 B:51"};
    QTest::newRow("RGB one number, binary") << false << 0 << 1 << 1 << int(Binary)
                                            << QStringList{"GRB", "GRB:0b000100010010001000110011"};
    QTest::newRow("RGB ASCII") << false << 0 << 0 << 0 << int(ASCII) << QStringList{"RGB", "R:\" G:0x11 B:3"};
    QTest::newRow("RGBW defaults") << true << 0 << 0 << 0 << int(Hexadecimal)
                                   << QStringList{"RGBW", "R:0x22 G:0x11 B:0x33 W:0x44"};
    QTest::newRow("RGBW as sent") << true << 0 << 1 << 0 << int(Hexadecimal)
                                  << QStringList{"GRBW", "G:0x11 R:0x22 B:0x33 W:0x44"};
    QTest::newRow("RGBW one number") << true << 1 << 1 << 1 << int(Hexadecimal)
                                     << QStringList{"GRBW", "GRBW:0x22113344"};
    QTest::newRow("RGBW decimal") << true << 0 << 0 << 0 << int(Decimal)
                                  << QStringList{"RGBW", "R:34 G:17 B:51 W:68"};
}

void TestWs2812::colourTexts()
{
    QFETCH(bool, rgbw);
    QFETCH(int, frameOrder);
    QFETCH(int, displayOrder);
    QFETCH(int, mode);
    QFETCH(int, base);
    QFETCH(QStringList, bubbles);
    const U32 bits = rgbw ? 32 : 24;
    LedSignal s(100000000);
    s.chain({rgbw ? 0x11223344u : 0x112233u}, bits);
    PluginAnalyzer a(plugin(rgbw));
    configure(a.get(), {frameOrder, displayOrder, mode});
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs);
    QCOMPARE(r->GetNumFrames(), U64(2));
    QCOMPARE(plugintest::bubbles(r, 1, DisplayBase(base)), bubbles);
    QCOMPARE(tabular(r, 1, DisplayBase(base)), bubbles.last());
}

void TestWs2812::otherTexts()
{
    // A reset, a word broken off at its third bit, another reset.
    LedSignal s(100000000);
    s.level(0, 6000);
    s.bit(true);
    s.bit(false);
    s.bit(true, 5);
    s.level(0, 6000);
    s.word(0x1, 32, 100);
    PluginAnalyzer a(mRgbw);
    configure(a.get(), {0, 1});
    AnalyzerResults* r = mCaptures.decode(a.get(), s.rate, s.runs);
    QCOMPARE(frameWords(r), QString("R E R W:1"));
    QCOMPARE(r->GetFrame(1).mData2, ~U64(0));
    QCOMPARE(bubbles(r, 0, Hexadecimal), (QStringList{"RST", "Reset"}));
    QCOMPARE(tabular(r, 0, Hexadecimal), QString("Reset"));
    QCOMPARE(bubbles(r, 1, Decimal), (QStringList{"GRBW", "GRBW (Error)"}));
    QCOMPARE(tabular(r, 1, Decimal), QString("GRBW (Error)"));
    QCOMPARE(r->GetFrame(1).mStartingSampleInclusive, S64(6001));
    for (U64 i = 0; i < 3; ++i) {
        r->GeneratePacketTabularText(i, Hexadecimal);
        QCOMPARE(resultStrings(r), QStringList{"not supported"});
        r->GenerateTransactionTabularText(i, Hexadecimal);
        QCOMPARE(resultStrings(r), QStringList{"not supported"});
    }

    // Setting up again leaves the analyzer with empty results.
    a->SetupResults();
    QCOMPARE(resultsOf(a.get())->GetNumFrames(), U64(0));
    QCOMPARE(resultsOf(a.get())->GetNumMarkers(Channel(0, 0)), U64(0));
}

void TestWs2812::exportFile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("base");
    QTest::addColumn<QStringList>("values"); // of the two words and the broken one
    // Words sent: 0x2C 0x22 0x20 (",", '"', ' ') and 0x41 0x0A 0x7E.
    QTest::newRow("three bytes, hexadecimal") << 0 << int(Hexadecimal)
                                              << QStringList{"0x22 0x2C 0x20", "0x0A 0x41 0x7E", "Error"};
    QTest::newRow("three bytes, ASCII") << 0 << int(ASCII) << QStringList{"\" , ' '", "0x0A A ~", "Error"};
    QTest::newRow("three bytes, ASCII and hex")
        << 0 << int(AsciiHex) << QStringList{"\" (0x22) , (0x2C) ' ' (0x20)", "0x0A A (0x41) ~ (0x7E)", "Error"};
    QTest::newRow("one number, decimal") << 1 << int(Decimal) << QStringList{"2239520", "672126", "Error"};
    QTest::newRow("one number, ASCII") << 1 << int(ASCII) << QStringList{"0x222C20", "0x0A417E", "Error"};
}

void TestWs2812::exportFile()
{
    QFETCH(int, mode);
    QFETCH(int, base);
    QFETCH(QStringList, values);
    LedSignal s(100000000);
    s.chain({0x2C2220, 0x410A7E}, 24);
    s.bit(true);
    s.bit(false, 5);
    s.level(0, 100);
    PluginAnalyzer a(mRgb);
    configure(a.get(), {0, 0, mode});
    mCaptures.add(s.rate);
    QVERIFY(setRuns(mCaptures.last(), 0, s.runs));
    mCaptures.last().data()->trgPosition = 3000;
    runDecode(a.get(), mCaptures.last().data());
    AnalyzerResults* r = resultsOf(a.get());
    QCOMPARE(frameWords(r), QString("R W:222c20 W:a417e R E"));

    const QString path = mTemp.filePath(QString("led-%1-%2.csv").arg(mode).arg(base));
    QVERIFY(runExport(r, path.toStdString(), DisplayBase(base), 0));
    QCOMPARE(r->GetProgress(), 1.0);
    auto time = [&](U64 i) {
        char text[128];
        AnalyzerHelpers::GetTimeString(U64(r->GetFrame(i).mStartingSampleInclusive), 3000, U32(s.rate), text, 128);
        return QString(text);
    };
    const QList<QStringList> expected = {
        {"Time [s]", "Type", "Value"},  {time(0), "Reset", ""},         {time(1), "RGB", values[0]},
        {time(2), "RGB", values[1]},    {time(3), "Reset", ""},         {time(4), "RGB", values[2]},
    };
    QCOMPARE(csvRows(path), expected);
    QVERIFY(readFile(path).endsWith("\n"));
    QVERIFY(readFile(path).startsWith("Time [s],Type,Value\n-0.00003000,Reset,\n"));

    // A file that cannot be written is reported.
    QVERIFY(!runExport(r, mTemp.filePath("no/dir/led.csv").toStdString(), Hexadecimal, 0));
}

void TestWs2812::simulationRoundTrip_data()
{
    QTest::addColumn<bool>("rgbw");
    QTest::addColumn<qint64>("rate");
    for (const qint64 rate : {10000000LL, 24000000LL, 100000000LL, 200000000LL, 1000000LL}) {
        QTest::addRow("RGB at %lld Hz", rate) << false << rate;
        QTest::addRow("RGBW at %lld Hz", rate) << true << rate;
    }
}

void TestWs2812::simulationRoundTrip()
{
    QFETCH(bool, rgbw);
    QFETCH(qint64, rate);
    const std::vector<U64> table =
        rgbw ? std::vector<U64>{0xFF000000, 0x00FF0000, 0x0000FF00, 0xFFFF00FF, 0xFF00FFFF, 0x00FFFF00, 0x000000FF,
                                0xFFFFFF00, 0x00AB40FF, 0x20AB4000}
             : std::vector<U64>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x000000, 0xFFFFFF,
                                0x00AB40, 0x20AB40};
    // Decoded as sent (no byte exchange) and with the default orders.
    for (int displayOrder : {1, 0}) {
        PluginAnalyzer sim(plugin(rgbw));
        configure(sim.get(), {0, displayOrder});
        const U64 simRate = U64(rate);
        sim->Init(nullptr, &simRate, nullptr);
        SimulationChannelDescriptor* d = nullptr;
        // Three chains (each well under 6 ms).
        QCOMPARE(sim->GenerateSimulationData(U64(rate) * 17 / 1000, U32(rate), &d), 1u);
        QVERIFY(d);
        QCOMPARE(d->GetChannel(), Channel(0, 0));
        QCOMPARE(d->GetInitialBitState(), BIT_HIGH);

        mCaptures.add(rate);
        QVERIFY2(simulationToCapture(d, mCaptures.last()), "edges not strictly increasing");
        PluginAnalyzer a(plugin(rgbw));
        configure(a.get(), {0, displayOrder});
        runDecode(a.get(), mCaptures.last().data());
        AnalyzerResults* r = resultsOf(a.get());
        if (rate < 10000000) {
            QCOMPARE(frameWords(r), QString("M"));
            continue;
        }
        QStringList chain{"R"};
        for (U64 w : table) {
            if (displayOrder == 0) { // the two most significant bytes exchanged
                const U32 hi = rgbw ? 24 : 16;
                w = (w & ~(U64(0xFFFF) << (hi - 8))) | ((w >> hi) & 0xFF) << (hi - 8) | ((w >> (hi - 8)) & 0xFF) << hi;
            }
            chain << "W:" + QString::number(w, 16);
        }
        const QString words = frameWords(r);
        QVERIFY2(words.startsWith((chain + chain + chain).join(' ')), qPrintable(words));
    }
}

void TestWs2812::simulationContinues()
{
    // Calls with growing targets continue one signal, whole chains each.
    const U64 rate = 24000000;
    PluginAnalyzer sim(mRgb);
    configure(sim.get(), {0, 1});
    sim->Init(nullptr, &rate, nullptr);
    SimulationChannelDescriptor* d = nullptr;
    sim->GenerateSimulationData(rate / 1000, U32(rate), &d);
    const U64 first = d->GetCurrentSampleNumber();
    QVERIFY(first >= rate / 1000);
    // A device rate twice the simulation's halves the target.
    sim->GenerateSimulationData(2 * (first + rate / 100), U32(2 * rate), &d);
    QVERIFY(d->GetCurrentSampleNumber() >= first + rate / 100);

    CaptureTables capture(1, S64(rate));
    QVERIFY(simulationToCapture(d, capture));
    PluginAnalyzer a(mRgb);
    configure(a.get(), {0, 1});
    runDecode(a.get(), capture.data());
    const QString words = frameWords(resultsOf(a.get()));
    QVERIFY(!words.contains('E'));
    QVERIFY(words.count('R') >= 2);
    QCOMPARE(words.count('W'), 10 * words.count('R'));
}

void TestWs2812::randomInputEndsCleanly()
{
    // Random and truncated signals at rates from far too low to high: every
    // run ends, and the frames stay ordered and inside the capture.
    std::mt19937_64 rng(6103);
    const S64 rates[] = {1, 4000000, 10000000, 24000000, 100000000, S64(1) << 40};
    for (int round = 0; round < 72; ++round) {
        const S64 rate = rates[round % 6];
        std::vector<int64_t> edges;
        int64_t pos = 0;
        const int maxGap = round % 3 == 0 ? 4 : round % 3 == 1 ? 120 : 8000;
        for (int i = 0; i < 3000; ++i) {
            pos += 1 + int64_t(rng() % uint64_t(maxGap));
            edges.push_back(pos);
        }
        CaptureTables capture(1, rate);
        QVERIFY(capture.setChannel(0, int(rng() & 1), edges, pos + 1 + int64_t(rng() % 3)));
        PluginAnalyzer a(plugin(round & 1));
        configure(a.get(), {int(rng() & 1), int(rng() & 1), int(rng() & 1)});
        const AnalyzerRunEnd end = runDecode(a.get(), capture.data());
        QVERIFY(end == RunEndOfData || (end == RunFinished && rate < 10000000));
        AnalyzerResults* r = resultsOf(a.get());
        S64 last = 0;
        for (U64 i = 0; i < r->GetNumFrames(); ++i) {
            const Frame f = r->GetFrame(i);
            QVERIFY(f.mStartingSampleInclusive >= last);
            QVERIFY(f.mEndingSampleInclusive >= f.mStartingSampleInclusive);
            QVERIFY(f.mEndingSampleInclusive < capture.data()->smpDepth || capture.data()->smpDepth <= 1);
            last = f.mStartingSampleInclusive;
        }
    }
}

void TestWs2812::realCaptures()
{
    const QString rgb = binPath("Analyzer/libRGB-WS2812.so");
    const QString rgbw = binPath("Analyzer/libRGBW-WS2812.so");
    auto wordsOf = [](const std::vector<std::vector<unsigned long long>>& frames, int* resets, int* broken) {
        std::vector<unsigned long long> words;
        *resets = *broken = 0;
        for (const auto& f : frames) {
            if (f[2] == 0)
                ++*resets;
            else if (f[5] != 0)
                ++*broken;
            else
                words.push_back(f[4]);
        }
        return words;
    };

    // 24 MHz ring of 24 LEDs, 100 refreshes: the words are the expected
    // colours (under the default orders the first two bytes on the wire are
    // exchanged), the last one included though the capture ends one sample
    // after its last edge.
    {
        const ToolRun run = runTool({"--plugin", rgb, "--vcd", TestEnv::recordingPath("ws2812/ws2812b_24mhz_part.vcd"),
                                     "--signal", "DATA_IN", "--rate", "24000000"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        int resets = 0, broken = 0;
        const auto words = wordsOf(toolFrames(run.out), &resets, &broken);
        QCOMPARE(resets, 100);
        QCOMPARE(broken, 0);
        const QStringList lines =
            readFile(TestEnv::recordingPath("ws2812/ws2812b_24mhz_part.expected")).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2400);
        QCOMPARE(int(words.size()), lines.size());
        for (int k = 0; k < lines.size(); ++k)
            QCOMPARE(QString("%1").arg(words[size_t(k)], 6, 16, QChar('0')), lines[k].section(' ', 1, 1));
    }

    // 4 MHz files: below the minimum rate, the one message frame; and read
    // at 40 MHz (their true pulse lengths) the LEDs' bytes.
    {
        const QString vcd = TestEnv::recordingPath("ws2812/ws281x_RGBW_4MHz_snippet.vcd");
        const QString csv = mTemp.filePath("rgbw4.csv");
        const ToolRun low = runTool({"--plugin", rgbw, "--vcd", vcd, "--signal", "D0", "--rate", "4000000", "--export", csv});
        QVERIFY2(low.status == 0, qPrintable(low.err));
        const auto frames = toolFrames(low.out);
        QCOMPARE(int(frames.size()), 1);
        QCOMPARE(frames[0][0], 1ull);
        QCOMPARE(frames[0][3], 0xFFull);
        QCOMPARE(csvRows(csv), (QList<QStringList>{{"Time [s]", "Type", "Value"}, {kRateTooLow}}));

        const ToolRun high = runTool({"--plugin", rgbw, "--vcd", vcd, "--signal", "D0", "--rate", "40000000", "--set", "2=1"});
        QVERIFY2(high.status == 0, qPrintable(high.err));
        int resets = 0, broken = 0;
        const auto words = wordsOf(toolFrames(high.out), &resets, &broken);
        QCOMPARE(broken, 0);
        QStringList got;
        for (unsigned long long w : words)
            got << QString("%1").arg(w, 8, 16, QChar('0'));
        QCOMPARE(got.join(' '), QString("00000000 3f000000 7f000000 ff000000 00000000 00003f00 00007f00 0000ff00 "
                                        "00000000 0000003f 0000007f 000000ff 00000000 003f0000 007f0000 00ff0000"));
    }
    {
        const QString vcd = TestEnv::recordingPath("ws2812/ws2812b_neopixel24_4mhz_snippet.vcd");
        const ToolRun low = runTool({"--plugin", rgb, "--vcd", vcd, "--signal", "DATA_IN", "--rate", "4000000"});
        QVERIFY2(low.status == 0, qPrintable(low.err));
        QCOMPARE(int(toolFrames(low.out).size()), 1);
        QCOMPARE(toolFrames(low.out)[0][3], 0xFFull);

        const ToolRun high = runTool({"--plugin", rgb, "--vcd", vcd, "--signal", "DATA_IN", "--rate", "40000000"});
        QVERIFY2(high.status == 0, qPrintable(high.err));
        int resets = 0, broken = 0;
        const auto frames = toolFrames(high.out);
        const auto words = wordsOf(frames, &resets, &broken);
        QCOMPARE(broken, 0);
        QCOMPARE(resets, 6);
        QCOMPARE(int(words.size()), 6 * 24);
        // Every chain: a reset, then its 24 words.
        for (int c = 0; c < 6; ++c)
            QCOMPARE(frames[size_t(c * 25)][2], 0ull);
    }
}

QTEST_GUILESS_MAIN(TestWs2812)
#include "test_ws2812.moc"

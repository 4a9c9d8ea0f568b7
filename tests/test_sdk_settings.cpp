// Analyzer library: settings interfaces and their text, the settings
// archive, number and time strings, simulation descriptors.

#include <QtTest>

#include <cstring>
#include <string>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerHelpers.h"
#include "AnalyzerSettings.h"
#include "SimulationChannelDescriptor.h"

namespace {

// Settings of a typical plug-in: one channel and one number list.
class TestSettings : public AnalyzerSettings {
public:
    TestSettings()
    {
        mChannelIf = new AnalyzerSettingInterfaceChannel();
        mChannelIf->SetTitleAndTooltip("Input", "The input");
        mChannelIf->SetChannel(mChannel);
        mListIf = new AnalyzerSettingInterfaceNumberList();
        mListIf->SetTitleAndTooltip("Logic", "Select logic style");
        mListIf->AddNumber(0, "Falling", "Read on falling edges");
        mListIf->AddNumber(1, "Rising", "Read on rising edges");
        mListIf->SetNumber(mStyle);
        AddInterface(mChannelIf);
        AddInterface(mListIf);
        AddExportOption(0, "Export as text/csv file");
        AddExportExtension(0, "Text file", "txt");
        AddExportExtension(0, "CSV file", "csv");
        AddExportExtension(7, "Orphan", "bin"); // option 7 was never added
        ClearChannels();
        AddChannel(mChannel, "Infrared", false);
    }
    ~TestSettings() override
    {
        delete mChannelIf;
        delete mListIf;
    }
    bool SetSettingsFromInterfaces() override
    {
        mChannel = mChannelIf->GetChannel();
        mStyle = U32(mListIf->GetNumber());
        ClearChannels();
        AddChannel(mChannel, "Infrared", true);
        return true;
    }
    void LoadSettings(const char* settings) override
    {
        SimpleArchive ar;
        ar.SetString(settings);
        const char* name = nullptr;
        if (!(ar >> &name) || std::strcmp(name, "TestAnalyzer") != 0)
            AnalyzerHelpers::Assert("TestAnalyzer: Provided with a settings string that doesn't belong to us;");
        ar >> mChannel;
        ar >> mStyle;
        const char* label = nullptr;
        if (ar >> &label)
            mLabel = label;
        mChannelIf->SetChannel(mChannel);
        mListIf->SetNumber(mStyle);
    }
    const char* SaveSettings() override
    {
        SimpleArchive ar;
        ar << "TestAnalyzer";
        ar << mChannel;
        ar << mStyle;
        ar << mLabel.c_str();
        return SetReturnString(ar.GetString());
    }

    Channel mChannel;
    U32 mStyle = 1;
    std::string mLabel = "a b;c";
    AnalyzerSettingInterfaceChannel* mChannelIf;
    AnalyzerSettingInterfaceNumberList* mListIf;
};

} // namespace

class TestSdkSettings : public QObject {
    Q_OBJECT
private slots:
    void settingsInterfacesAndExportOptions();
    void settingsTextRoundTrip();
    void archiveRoundTrip();
    void archiveRejectsGarbage_data();
    void archiveRejectsGarbage();
    void numberStrings_data();
    void numberStrings();
    void timeStrings_data();
    void timeStrings();
    void simulationTargetAndClock();
    void simulationDescriptorRuns();
};

void TestSdkSettings::settingsInterfacesAndExportOptions()
{
    TestSettings s;
    QCOMPARE(s.GetSettingsInterfacesCount(), U32(2));
    QCOMPARE(int(s.GetSettingsInterface(0)->GetType()), 1);
    QCOMPARE(int(s.GetSettingsInterface(1)->GetType()), 2);
    QVERIFY(!s.GetSettingsInterface(2));
    QCOMPARE(QString(s.GetSettingsInterface(1)->GetTitle()), QString("Logic"));
    QCOMPARE(s.mListIf->GetListboxNumbersCount(), U32(2));
    QCOMPARE(QString(s.mListIf->GetListboxString(1)), QString("Rising"));
    QCOMPARE(QString(s.mListIf->GetListboxTooltip(5)), QString());
    QVERIFY(s.mChannelIf->GetChannel().IsUndefined());
    QCOMPARE(s.mChannelIf->GetChannel().mDeviceId, ~U64(0));

    AnalyzerSettingInterfaceInteger integer;
    AnalyzerSettingInterfaceText text;
    AnalyzerSettingInterfaceBool check;
    QCOMPARE(int(integer.GetType()), 3);
    QCOMPARE(int(text.GetType()), 4);
    QCOMPARE(int(check.GetType()), 5);
    text.SetText(nullptr);
    QCOMPARE(QString(text.GetText()), QString());

    QCOMPARE(s.GetExportOptionsCount(), U32(1));
    U32 id = 99;
    const char* label = nullptr;
    const char* ext = nullptr;
    QVERIFY(s.GetExportOption(0, &id, &label));
    QCOMPARE(id, U32(0));
    QCOMPARE(QString(label), QString("Export as text/csv file"));
    QCOMPARE(s.GetFileExtensionCount(0), U32(2));
    QCOMPARE(s.GetFileExtensionCount(7), U32(0));
    QVERIFY(s.GetFileExtension(0, 1, &label, &ext));
    QCOMPARE(QString(label) + " " + ext, QString("CSV file csv"));
    QVERIFY(!s.GetFileExtension(0, 2, &label, &ext));
    QVERIFY(!s.GetExportOption(1, &id, &label));

    s.mChannelIf->SetChannel(Channel(0, 4));
    s.mListIf->SetNumber(0);
    QVERIFY(s.SetSettingsFromInterfaces());
    QCOMPARE(s.GetChannelsCount(), U32(1));
    bool used = false;
    QCOMPARE(s.GetChannel(0, &label, &used), Channel(0, 4));
    QVERIFY(used);
    QCOMPARE(QString(label), QString("Infrared"));
    QVERIFY(s.GetChannel(1).IsUndefined());
    QCOMPARE(QString(s.GetSaveErrorMessage()), QString());
}

void TestSdkSettings::settingsTextRoundTrip()
{
    // A saved settings text loaded into a new instance gives the same
    // settings; the text is safe in the host's ";"-separated, trimmed store.
    TestSettings s;
    s.mChannel = Channel(0, 7);
    s.mStyle = 0;
    s.mLabel = "  two  blanks; and % signs äö ";
    QString text = QString::fromLatin1(s.SaveSettings());
    QVERIFY(!text.contains(';'));
    QCOMPARE(text.trimmed(), text);

    TestSettings t;
    t.LoadSettings(text.toLatin1().constData());
    QCOMPARE(t.mChannel, Channel(0, 7));
    QCOMPARE(t.mStyle, U32(0));
    QCOMPARE(t.mLabel, s.mLabel);
    QCOMPARE(t.mChannelIf->GetChannel(), Channel(0, 7));
    QCOMPARE(QString(t.SaveSettings()), text);
}

void TestSdkSettings::archiveRoundTrip()
{
    SimpleArchive w;
    w << U64(~U64(0));
    w << U32(4294967295u);
    w << S64(-9000000000LL);
    w << S32(-7);
    w << 0.1;
    w << 3.0;
    w << true;
    w << "";
    w << static_cast<const char*>(nullptr);
    w << "x y;z%\t\n\xff";
    w << Channel();
    w << Channel(0, 12);
    std::string text = w.GetString();
    QVERIFY(text.find(';') == std::string::npos);
    QVERIFY(text.find_first_of("\t\n") == std::string::npos);

    SimpleArchive r;
    r.SetString(text.c_str());
    U64 u64 = 0;
    U32 u32 = 0;
    S64 s64 = 0;
    S32 s32 = 0;
    double d1 = 0, d2 = 0;
    bool b = false;
    const char* e1 = nullptr;
    const char* e2 = nullptr;
    const char* str = nullptr;
    Channel c1(0, 0), c2;
    QVERIFY(r >> u64);
    QVERIFY(!(r >> s32)); // wrong kind: fails and does not advance
    QVERIFY(r >> u32);
    QVERIFY(r >> s64);
    QVERIFY(r >> s32);
    QVERIFY(r >> d1);
    QVERIFY(r >> d2);
    QVERIFY(!(r >> &str)); // a bool is next, not a string
    QVERIFY(r >> b);
    QVERIFY(r >> &e1);
    QCOMPARE(QString(e1), QString());
    QVERIFY(r >> &e2);
    QCOMPARE(QString(e2), QString());
    QVERIFY(r >> &str);
    QCOMPARE(std::string(str), std::string("x y;z%\t\n\xff"));
    QVERIFY(r >> c1);
    QVERIFY(r >> c2);
    QVERIFY(!(r >> u32)); // end of the text
    QCOMPARE(u64, ~U64(0));
    QCOMPARE(u32, 4294967295u);
    QCOMPARE(s64, S64(-9000000000LL));
    QCOMPARE(s32, S32(-7));
    QCOMPARE(d1, 0.1);
    QCOMPARE(d2, 3.0);
    QVERIFY(b);
    QVERIFY(c1.IsUndefined());
    QCOMPARE(c2, Channel(0, 12));

    U64 big = 0;
    r.SetString("4294967296 -1");
    QVERIFY(!(r >> u32)); // out of range for 32 bits
    QVERIFY(r >> big);
    QVERIFY(!(r >> u32)); // negative

    SimpleArchive empty;
    QCOMPARE(std::string(empty.GetString()), std::string());
}

void TestSdkSettings::archiveRejectsGarbage_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("blanks") << QByteArray("   ");
    QTest::newRow("words") << QByteArray("garbage in here");
    QTest::newRow("separators") << QByteArray(";;;");
    QTest::newRow("broken escape") << QByteArray("\"ab%z1");
    QTest::newRow("cut escape") << QByteArray("\"ab%4");
    QTest::newRow("escaped NUL") << QByteArray("\"a%00b");
    QTest::newRow("half channel") << QByteArray("3/");
    QTest::newRow("channel index too large") << QByteArray("0/4294967296");
    QTest::newRow("trailing junk") << QByteArray("12abc");
    QTest::newRow("binary") << QByteArray("\x01\x02\x7f\xfe", 4);
}

void TestSdkSettings::archiveRejectsGarbage()
{
    QFETCH(QByteArray, text);
    SimpleArchive r;
    r.SetString(text.constData());
    const char* name = "unchanged";
    Channel ch(0, 5);
    U32 v = 42;
    S32 s = 9;
    bool b = true;
    double d = 2.5;
    QVERIFY(!(r >> &name));
    QVERIFY(!(r >> ch));
    QVERIFY(!(r >> v));
    QVERIFY(!(r >> s));
    QVERIFY(!(r >> b));
    QVERIFY(!(r >> d));
    QCOMPARE(QString(name), QString("unchanged"));
    QCOMPARE(ch, Channel(0, 5));
    QCOMPARE(v, U32(42));
    QCOMPARE(s, S32(9));
    QCOMPARE(d, 2.5);

    // A plug-in handed garbage keeps its values and reports it.
    TestSettings t;
    t.LoadSettings(text.constData());
    QVERIFY(t.mChannel.IsUndefined());
    QCOMPARE(t.mStyle, U32(1));
    r.SetString(nullptr);
    QVERIFY(!(r >> v));
}

void TestSdkSettings::numberStrings_data()
{
    QTest::addColumn<quint64>("value");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("text");
    QTest::newRow("dec") << quint64(255) << int(Decimal) << 8 << "255";
    QTest::newRow("dec masked") << quint64(0x1FF) << int(Decimal) << 8 << "255";
    QTest::newRow("dec 64") << ~quint64(0) << int(Decimal) << 0 << "18446744073709551615";
    QTest::newRow("hex 8") << quint64(0x0A) << int(Hexadecimal) << 8 << "0x0A";
    QTest::newRow("hex 3 bits") << quint64(5) << int(Hexadecimal) << 3 << "0x5";
    QTest::newRow("hex no width") << quint64(0x1234) << int(Hexadecimal) << 0 << "0x1234";
    QTest::newRow("bin 8") << quint64(5) << int(Binary) << 8 << "0b00000101";
    QTest::newRow("bin no width") << quint64(0) << int(Binary) << 0 << "0b0";
    QTest::newRow("ascii") << quint64('A') << int(ASCII) << 8 << "A";
    QTest::newRow("ascii blank") << quint64(' ') << int(ASCII) << 8 << "' '";
    QTest::newRow("ascii control") << quint64(13) << int(ASCII) << 8 << "0x0D";
    QTest::newRow("ascii hex") << quint64('z') << int(AsciiHex) << 8 << "z (0x7A)";
    QTest::newRow("ascii hex control") << quint64(200) << int(AsciiHex) << 8 << "0xC8";
    QTest::newRow("unknown base") << quint64(7) << 9 << 8 << "7";
}

void TestSdkSettings::numberStrings()
{
    QFETCH(quint64, value);
    QFETCH(int, base);
    QFETCH(int, bits);
    char buf[128];
    AnalyzerHelpers::GetNumberString(value, DisplayBase(base), U32(bits), buf, sizeof buf);
    QTEST(QString(buf), "text");
    AnalyzerHelpers::GetNumberString(value, DisplayBase(base), U32(bits), buf, 3); // cut, NUL-terminated
    QVERIFY(std::strlen(buf) <= 2);
}

void TestSdkSettings::timeStrings_data()
{
    QTest::addColumn<quint64>("sample");
    QTest::addColumn<quint64>("trigger");
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<QString>("text");
    QTest::newRow("after trigger") << quint64(1500) << quint64(0) << quint32(1000000) << "0.001500";
    QTest::newRow("before trigger") << quint64(50) << quint64(200) << quint32(1000000) << "-0.000150";
    QTest::newRow("at trigger") << quint64(7) << quint64(7) << quint32(100000000) << "0.00000000";
    QTest::newRow("odd rate") << quint64(30001) << quint64(1) << quint32(20000) << "1.50000";
    QTest::newRow("large sample") << quint64(1) << (quint64(1) << 39) << quint32(4000000000u) << "-137.4389534717";
    QTest::newRow("zero rate") << quint64(5) << quint64(0) << quint32(0) << "";
}

void TestSdkSettings::timeStrings()
{
    QFETCH(quint64, sample);
    QFETCH(quint64, trigger);
    QFETCH(quint32, rate);
    char buf[128];
    AnalyzerHelpers::GetTimeString(sample, trigger, rate, buf, sizeof buf);
    QTEST(QString(buf), "text");
}

void TestSdkSettings::simulationTargetAndClock()
{
    QCOMPARE(AnalyzerHelpers::AdjustSimulationTargetSample(1000, 1000000, 250000), U64(250));
    QCOMPARE(AnalyzerHelpers::AdjustSimulationTargetSample(1000, 0, 250000), U64(1000));
    // No 64-bit overflow on large targets.
    QCOMPARE(AnalyzerHelpers::AdjustSimulationTargetSample(U64(1) << 40, 4000000000u, 4000000000u), U64(1) << 40);

    ClockGenerator clock;
    clock.Init(800000, 100000000); // 62.5 samples per half period
    U64 sum = 0;
    for (int i = 0; i < 1000; ++i)
        sum += clock.AdvanceByHalfPeriod();
    QCOMPARE(sum, U64(62500)); // no drift
    QCOMPARE(clock.AdvanceByHalfPeriod(10), U32(625));
    sum = 0;
    for (int i = 0; i < 1000; ++i)
        sum += clock.AdvanceByTimeS(0.28e-6); // 28 samples each
    QCOMPARE(sum, U64(28000));
    QCOMPARE(clock.AdvanceByTimeS(-1), U32(0));
    clock.Init(0, 100000000);
    QCOMPARE(clock.AdvanceByHalfPeriod(), U32(0));
}

void TestSdkSettings::simulationDescriptorRuns()
{
    SimulationChannelDescriptor d;
    d.SetChannel(Channel(0, 2));
    d.SetSampleRate(1000000);
    d.SetInitialBitState(BIT_HIGH);
    d.Advance(10);
    d.Transition();          // run of 10 high
    d.Advance(5);
    d.TransitionIfNeeded(BIT_LOW); // already low: nothing
    d.TransitionIfNeeded(BIT_HIGH); // run of 5 low
    d.Advance(3);
    QCOMPARE(d.GetCurrentSampleNumber(), U64(18));
    QCOMPARE(d.GetCurrentBitState(), BIT_HIGH);
    QCOMPARE(*d.GetData(), std::vector<S32>({10, 5}));
    // The last run in the data has the level opposite the current one.
    d.GetData()->clear(); // the reader empties it; the signal continues
    d.Transition();
    d.Transition(); // on the same sample: cancels, the high run goes on
    d.Advance(2);
    d.Transition();
    QCOMPARE(*d.GetData(), std::vector<S32>({5}));
    QCOMPARE(d.GetChannel(), Channel(0, 2));
    QCOMPARE(d.GetInitialBitState(), BIT_HIGH);

    SimulationChannelDescriptor z;
    z.SetInitialBitState(BIT_LOW);
    z.Transition(); // at sample 0: the signal simply starts high
    QCOMPARE(z.GetInitialBitState(), BIT_HIGH);
    QVERIFY(z.GetData()->empty());
}

QTEST_GUILESS_MAIN(TestSdkSettings)
#include "test_sdk_settings.moc"

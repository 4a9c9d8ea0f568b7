// Analyzer library: results (range queries, packets, markers, readers while
// the decoder appends), texts, export hooks, settings archive, helpers and
// simulation descriptors.

#include <QtTest>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerHelpers.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettings.h"
#include "SimulationChannelDescriptor.h"

namespace {

class TextResults : public AnalyzerResults {
public:
    void GenerateBubbleText(U64 frame_index, Channel&, DisplayBase) override
    {
        ClearResultStrings();
        Frame f = GetFrame(frame_index);
        std::string v = std::to_string(f.mData1);
        AddResultString("F");
        AddResultString("Frame: ", v.c_str());
    }
    void GenerateExportFile(const char* file, DisplayBase, U32) override
    {
        void* h = AnalyzerHelpers::StartFile(file);
        U64 n = GetNumFrames();
        for (U64 i = 0; i < n; ++i) {
            const char line[] = "row\n";
            AnalyzerHelpers::AppendToFile(reinterpret_cast<const U8*>(line), 4, h);
            if (UpdateExportProgressAndCheckForCancel(i + 1, n))
                break;
        }
        if (!AnalyzerHelpers::EndFile(h))
            ReportExportFailure();
    }
    void GenerateFrameTabularText(U64 frame_index, DisplayBase) override
    {
        ClearTabularText();
        std::string v = std::to_string(GetFrame(frame_index).mData1);
        AddTabularText("Frame: ", v.c_str());
    }
    void GeneratePacketTabularText(U64, DisplayBase) override
    {
        ClearResultStrings();
        AddResultString("not supported");
    }
    void GenerateTransactionTabularText(U64, DisplayBase) override
    {
        ClearResultStrings();
        AddResultString("not supported");
    }
};

Frame frame(S64 start, S64 end, U64 data = 0)
{
    Frame f;
    f.mStartingSampleInclusive = start;
    f.mEndingSampleInclusive = end;
    f.mData1 = data;
    return f;
}

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

class TestSdkResults : public QObject {
    Q_OBJECT
private slots:
    void framesInRange_data();
    void framesInRange();
    void framesInRangeMatchAScan();
    void onlyCommittedFramesAreSeen();
    void packetsAreNeverEmpty();
    void markersInRange();
    void readersSeeCommittedWhileAppending();
    void largeStoresKeepEveryResult();
    void markersBeyondThirtyTwoChannelsAreDropped();
    void storageOfDeletedResultsIsReusedClean();
    void textsArePerThread();
    void exportProgressCancelAndFailure();
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

void TestSdkResults::framesInRange_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<bool>("found");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<quint64>("last");
    // Frames: [10,19] [20,29] [40,49] [60,100]
    QTest::newRow("before all") << qint64(0) << qint64(9) << false << quint64(0) << quint64(0);
    QTest::newRow("after all") << qint64(101) << qint64(500) << false << quint64(0) << quint64(0);
    QTest::newRow("in a gap") << qint64(30) << qint64(39) << false << quint64(0) << quint64(0);
    QTest::newRow("start after end") << qint64(45) << qint64(44) << false << quint64(0) << quint64(0);
    QTest::newRow("touches first start") << qint64(0) << qint64(10) << true << quint64(0) << quint64(0);
    QTest::newRow("touches an end") << qint64(29) << qint64(35) << true << quint64(1) << quint64(1);
    QTest::newRow("inside one frame") << qint64(70) << qint64(80) << true << quint64(3) << quint64(3);
    QTest::newRow("spans several") << qint64(15) << qint64(45) << true << quint64(0) << quint64(2);
    QTest::newRow("everything") << qint64(-5) << qint64(1000) << true << quint64(0) << quint64(3);
}

void TestSdkResults::framesInRange()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(bool, found);
    TextResults r;
    U64 first = 77, last = 77;
    QVERIFY(!r.GetFramesInRange(start, end, &first, &last)); // nothing yet
    r.AddFrame(frame(10, 19));
    r.AddFrame(frame(20, 29));
    r.AddFrame(frame(40, 49));
    r.AddFrame(frame(60, 100));
    r.CommitResults();
    QCOMPARE(r.GetFramesInRange(start, end, &first, &last), found);
    if (found) {
        QTEST(quint64(first), "first");
        QTEST(quint64(last), "last");
    }
}

void TestSdkResults::framesInRangeMatchAScan()
{
    // Random frames (some far longer than the rest, so that an early frame
    // overlaps late ranges), committed at random points; every query must
    // give what a scan of the committed frames gives: the first frame ending
    // at or after the start and the last starting at or before the end.
    std::mt19937 rng(11);
    TextResults r;
    std::vector<Frame> added;
    S64 pos = 0;
    int bad = 0;
    auto check = [&](S64 start, S64 end) {
        const U64 n = r.GetNumFrames();
        U64 first = n, last = n;
        for (U64 i = 0; i < n; ++i) {
            if (first == n && added[i].mEndingSampleInclusive >= start)
                first = i;
            if (added[i].mStartingSampleInclusive <= end)
                last = i;
        }
        const bool found = start <= end && first < n && last < n && first <= last;
        U64 f = 0, l = 0;
        const bool got = r.GetFramesInRange(start, end, &f, &l);
        if (got != found || (found && (f != first || l != last)))
            ++bad;
    };
    for (int round = 0; round < 40; ++round) {
        const int count = int(rng() % 150);
        for (int k = 0; k < count; ++k) {
            pos += S64(rng() % 20);
            const S64 length = rng() % 50 == 0 ? S64(rng() % 5000) : S64(rng() % 15);
            added.push_back(frame(pos, pos + length, added.size()));
            r.AddFrame(added.back());
        }
        if (rng() % 4 != 0)
            r.CommitResults();
        for (int q = 0; q < 60; ++q) {
            const S64 start = S64(rng() % U32(pos + 100)) - 50;
            check(start, start + S64(rng() % 200));
        }
    }
    r.CommitResults();
    QVERIFY(r.GetNumFrames() > 2000);
    // Ranges starting at each frame's end: the first frame may then be any
    // one of a group, its last one included.
    for (const Frame& f : added)
        check(f.mEndingSampleInclusive, f.mEndingSampleInclusive + 3);
    check(-10, -5);
    check(pos + 5000, pos + 6000);
    QCOMPARE(bad, 0);
}

void TestSdkResults::onlyCommittedFramesAreSeen()
{
    TextResults r;
    QCOMPARE(r.AddFrame(frame(1, 2, 5)), U64(0));
    QCOMPARE(r.GetNumFrames(), U64(0));
    QCOMPARE(r.GetFrame(0).mData1, U64(0)); // not committed: an all-zero frame
    r.CommitResults();
    QCOMPARE(r.GetNumFrames(), U64(1));
    QCOMPARE(r.GetFrame(0).mData1, U64(5));
    QCOMPARE(r.GetFrame(1).mStartingSampleInclusive, S64(0));
    U64 f = 0, l = 0;
    r.AddFrame(frame(3, 4));
    QVERIFY(!r.GetFramesInRange(3, 4, &f, &l));
}

void TestSdkResults::packetsAreNeverEmpty()
{
    TextResults r;
    QCOMPARE(r.CommitPacketAndStartNewPacket(), INVALID_RESULT_INDEX); // nothing in it
    r.AddFrame(frame(0, 1));
    r.AddFrame(frame(2, 3));
    QCOMPARE(r.CommitPacketAndStartNewPacket(), U64(0)); // also commits the frames
    QCOMPARE(r.GetNumFrames(), U64(2));
    QCOMPARE(r.CommitPacketAndStartNewPacket(), INVALID_RESULT_INDEX);
    QCOMPARE(r.CommitPacketAndStartNewPacket(), INVALID_RESULT_INDEX);
    r.AddFrame(frame(5, 6));
    QCOMPARE(r.CommitPacketAndStartNewPacket(), U64(1));
    QCOMPARE(r.GetNumPackets(), U64(2));
    U64 first = 0, last = 0;
    QVERIFY(r.GetFramesContainedInPacket(0, &first, &last));
    QCOMPARE(first, U64(0));
    QCOMPARE(last, U64(1));
    QVERIFY(r.GetFramesContainedInPacket(1, &first, &last));
    QCOMPARE(first, U64(2));
    QCOMPARE(last, U64(2));
    QVERIFY(!r.GetFramesContainedInPacket(2, &first, &last));
    QCOMPARE(first, INVALID_RESULT_INDEX);
}

void TestSdkResults::markersInRange()
{
    TextResults r;
    Channel ch3(0, 3), ch5(0, 5);
    QVERIFY(!r.DoMarkersAppearOnChannel(ch3));
    r.AddMarker(10, AnalyzerResults::Start, ch3);
    r.AddMarker(20, AnalyzerResults::One, ch3);
    r.AddMarker(30, AnalyzerResults::Zero, ch3);
    r.AddMarker(15, AnalyzerResults::Stop, ch5);
    QCOMPARE(r.GetNumMarkers(ch3), U64(0));
    r.CommitResults();
    QVERIFY(r.DoMarkersAppearOnChannel(Channel(~U64(0), 3))); // matched by index
    QCOMPARE(r.GetNumMarkers(ch3), U64(3));
    QCOMPARE(r.GetNumMarkers(ch5), U64(1));
    QCOMPARE(r.GetNumMarkers(Channel(0, 4)), U64(0));
    U64 first = 0, last = 0;
    QVERIFY(r.GetMarkersInRange(ch3, 11, 30, &first, &last));
    QCOMPARE(first, U64(1));
    QCOMPARE(last, U64(2));
    QVERIFY(!r.GetMarkersInRange(ch3, 21, 29, &first, &last)); // nothing in range
    QVERIFY(!r.GetMarkersInRange(ch3, 31, 99, &first, &last));
    QVERIFY(!r.GetMarkersInRange(ch3, 20, 10, &first, &last));
    QVERIFY(!r.GetMarkersInRange(Channel(0, 4), 0, 99, &first, &last));
    AnalyzerResults::MarkerType type = AnalyzerResults::Dot;
    U64 sample = 0;
    QVERIFY(r.GetMarker(ch3, 2, &type, &sample));
    QCOMPARE(int(type), int(AnalyzerResults::Zero));
    QCOMPARE(sample, U64(30));
    QVERIFY(!r.GetMarker(ch3, 3, &type, &sample));

    r.AddChannelBubblesWillAppearOn(ch3);
    QVERIFY(r.DoBubblesAppearOnChannel(ch3));
    QVERIFY(!r.DoBubblesAppearOnChannel(ch5));
}

void TestSdkResults::readersSeeCommittedWhileAppending()
{
    // The decoder appends and commits in batches while a reader thread
    // queries: every frame it can see is complete and ordered.
    TextResults r;
    const U64 total = 200000;
    Channel ch(0, 1);
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        U64 seen = 0;
        while (!done.load() || seen < total) {
            U64 n = r.GetNumFrames();
            if (n < seen)
                ++bad;
            seen = n;
            if (n == 0)
                continue;
            U64 i = n - 1 - (n * 7919 % n);
            Frame f = r.GetFrame(i);
            if (f.mStartingSampleInclusive != S64(i * 10) || f.mData1 != i)
                ++bad;
            U64 first = 0, last = 0;
            S64 s = S64((n - 1) * 10);
            if (!r.GetFramesInRange(s, s + 5, &first, &last) || last < n - 1)
                ++bad;
            U64 m = r.GetNumMarkers(ch);
            U64 sample = 0;
            if (m && (!r.GetMarker(ch, m - 1, nullptr, &sample) || sample != (m - 1) * 10 + 3))
                ++bad;
        }
    });
    for (U64 i = 0; i < total; ++i) {
        r.AddFrame(frame(S64(i * 10), S64(i * 10 + 9), i));
        r.AddMarker(i * 10 + 3, AnalyzerResults::One, ch);
        if (i % 97 == 0)
            r.CommitResults();
    }
    r.CommitResults();
    done = true;
    reader.join();
    QCOMPARE(bad.load(), 0);
    QCOMPARE(r.GetNumFrames(), total);
}

void TestSdkResults::largeStoresKeepEveryResult()
{
    // Enough results to fill heap chunks and several large, window by
    // window prefaulted ones; markers alternate in runs between two
    // channels. Every result must read back as written.
    TextResults r;
    const U64 frames = 300000, markers = 1200000;
    Channel a(0, 2), b(0, 9);
    for (U64 i = 0; i < frames; ++i) {
        // Every 1000th frame is long, so the running greatest end matters.
        S64 end = i % 1000 == 0 ? S64(i * 10 + 25000) : S64(i * 10 + 9);
        QCOMPARE(r.AddFrame(frame(S64(i * 10), end, i)), i);
    }
    U64 na = 0, nb = 0;
    for (U64 i = 0; i < markers; ++i) {
        bool onA = (i / 7) % 3 != 2; // runs of 7 markers, two runs on a, one on b
        r.AddMarker(i * 4, onA ? AnalyzerResults::One : AnalyzerResults::Zero, onA ? a : b);
        ++(onA ? na : nb);
    }
    r.CommitResults();
    QCOMPARE(r.GetNumFrames(), frames);
    QCOMPARE(r.GetNumMarkers(a), na);
    QCOMPARE(r.GetNumMarkers(b), nb);
    bool ok = true;
    for (U64 i = 0; i < frames && ok; ++i) {
        Frame f = r.GetFrame(i);
        ok = f.mStartingSampleInclusive == S64(i * 10) && f.mData1 == i;
    }
    QVERIFY(ok);
    U64 ia = 0, ib = 0;
    for (U64 i = 0; i < markers && ok; ++i) {
        bool onA = (i / 7) % 3 != 2;
        AnalyzerResults::MarkerType type = AnalyzerResults::Dot;
        U64 sample = 0;
        ok = r.GetMarker(onA ? a : b, onA ? ia++ : ib++, &type, &sample) && sample == i * 4
             && type == (onA ? AnalyzerResults::One : AnalyzerResults::Zero);
    }
    QVERIFY(ok);
    // A long frame from far back (298000 ends at 3005000) overlaps a late range.
    U64 first = 0, last = 0;
    QVERIFY(r.GetFramesInRange(2999990, 2999995, &first, &last));
    QCOMPARE(first, U64(298000));
    QCOMPARE(last, U64(299999));
    QVERIFY(r.GetFramesInRange(2995010, 2995010, &first, &last));
    QCOMPARE(first, U64(298000));
    QCOMPARE(last, U64(299501));
    QVERIFY(r.GetMarkersInRange(b, 4 * 14, 4 * 20, &first, &last));
    QCOMPARE(first, U64(0));
    QCOMPARE(last, U64(6));
    QVERIFY(r.GetMarkersInRange(a, S64(markers * 4 - 4 * 21), S64(markers * 4), &first, &last));
    QCOMPARE(last, na - 1);
}

void TestSdkResults::markersBeyondThirtyTwoChannelsAreDropped()
{
    TextResults r;
    for (U32 c = 0; c < 40; ++c) {
        r.AddMarker(c, AnalyzerResults::Dot, Channel(0, c));
        r.AddMarker(c + 100, AnalyzerResults::X, Channel(0, c));
    }
    r.AddMarker(500, AnalyzerResults::Stop, Channel(0, 0)); // back to the first channel
    r.CommitResults();
    for (U32 c = 0; c < 40; ++c)
        QCOMPARE(r.GetNumMarkers(Channel(0, c)), U64(c == 0 ? 3 : c < 32 ? 2 : 0));
    U64 sample = 0;
    QVERIFY(r.GetMarker(Channel(0, 0), 2, nullptr, &sample));
    QCOMPARE(sample, U64(500));
    QVERIFY(!r.DoMarkersAppearOnChannel(Channel(0, 35)));
}

void TestSdkResults::storageOfDeletedResultsIsReusedClean()
{
    // A re-run after deleting large results may get their storage back:
    // the new results hold only what was added to them.
    const U64 n = 400000;
    Channel ch(0, 4);
    for (U64 run = 0; run < 3; ++run) {
        TextResults r;
        const U64 count = n - run * 1000;
        for (U64 i = 0; i < count; ++i) {
            r.AddFrame(frame(S64(i * 3), S64(i * 3 + 1), i + run));
            r.AddMarker(i * 3, AnalyzerResults::Dot, ch);
        }
        QCOMPARE(r.GetNumFrames(), U64(0));
        QCOMPARE(r.GetNumMarkers(ch), U64(0));
        r.CommitResults();
        QCOMPARE(r.GetNumFrames(), count);
        QCOMPARE(r.GetNumMarkers(ch), count);
        bool ok = true;
        for (U64 i = 0; i < count && ok; ++i) {
            U64 sample = 0;
            ok = r.GetFrame(i).mData1 == i + run && r.GetMarker(ch, i, nullptr, &sample) && sample == i * 3;
        }
        QVERIFY(ok);
        QCOMPARE(r.GetFrame(count).mData1, U64(0)); // past the end: an all-zero frame
        U64 sample = 0;
        QVERIFY(!r.GetMarker(ch, count, nullptr, &sample));
    }
}

void TestSdkResults::textsArePerThread()
{
    TextResults a, b;
    a.AddFrame(frame(0, 1, 11));
    a.CommitResults();
    Channel ch(0, 0);
    a.GenerateBubbleText(0, ch, Decimal);
    // Another thread makes rows of the same object meanwhile.
    std::string rowText;
    std::thread other([&] {
        a.GenerateFrameTabularText(0, Decimal);
        a.GeneratePacketTabularText(0, Decimal);
        rowText = a.GetTabularTextString();
    });
    other.join();
    QCOMPARE(rowText, std::string("Frame: 11"));
    const char* const* strings = nullptr;
    U32 count = 0;
    a.GetResultStrings(&strings, &count);
    QCOMPARE(count, U32(2));
    QCOMPARE(QString(strings[0]), QString("F"));
    QCOMPARE(QString(strings[1]), QString("Frame: 11"));
    b.GetResultStrings(&strings, &count); // b made none
    QCOMPARE(count, U32(0));
    QCOMPARE(QString(b.GetTabularTextString()), QString());
}

void TestSdkResults::exportProgressCancelAndFailure()
{
    QTemporaryDir dir;
    TextResults r;
    for (int i = 0; i < 10; ++i)
        r.AddFrame(frame(i, i));
    r.CommitResults();

    QString path = dir.filePath("out.txt");
    r.StartExportThread(nullptr, Decimal, 0);
    QCOMPARE(r.GetProgress(), 0.0);
    r.GenerateExportFile(path.toLocal8Bit().constData(), Decimal, 0);
    QCOMPARE(r.GetProgress(), 1.0);
    QVERIFY(!r.ExportFailed());
    QCOMPARE(QFileInfo(path).size(), qint64(40));

    // A cancelled export stops early and keeps what it wrote.
    r.StartExportThread(nullptr, Decimal, 0);
    r.CancelExport();
    r.GenerateExportFile(path.toLocal8Bit().constData(), Decimal, 0);
    QCOMPARE(QFileInfo(path).size(), qint64(4));
    QCOMPARE(r.GetProgress(), 0.1);

    // A file that cannot be written is reported, not taken for success.
    r.StartExportThread(nullptr, Decimal, 0);
    r.GenerateExportFile(dir.filePath("missing/out.txt").toLocal8Bit().constData(), Decimal, 0);
    QVERIFY(r.ExportFailed());
    QVERIFY(!AnalyzerHelpers::AppendToFile(reinterpret_cast<const U8*>("x"), 1, nullptr));
    QVERIFY(!AnalyzerHelpers::EndFile(nullptr));
    r.StartExportThread(nullptr, Decimal, 0);
    QVERIFY(!r.ExportFailed());
    QCOMPARE(r.UpdateExportProgressAndCheckForCancel(0, 0), false);
    QCOMPARE(r.GetProgress(), 1.0);
}

void TestSdkResults::settingsInterfacesAndExportOptions()
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

void TestSdkResults::settingsTextRoundTrip()
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

void TestSdkResults::archiveRoundTrip()
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

void TestSdkResults::archiveRejectsGarbage_data()
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

void TestSdkResults::archiveRejectsGarbage()
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

void TestSdkResults::numberStrings_data()
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

void TestSdkResults::numberStrings()
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

void TestSdkResults::timeStrings_data()
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

void TestSdkResults::timeStrings()
{
    QFETCH(quint64, sample);
    QFETCH(quint64, trigger);
    QFETCH(quint32, rate);
    char buf[128];
    AnalyzerHelpers::GetTimeString(sample, trigger, rate, buf, sizeof buf);
    QTEST(QString(buf), "text");
}

void TestSdkResults::simulationTargetAndClock()
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

void TestSdkResults::simulationDescriptorRuns()
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

QTEST_GUILESS_MAIN(TestSdkResults)
#include "test_sdk_results.moc"

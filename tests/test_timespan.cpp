// Times typed as seconds from the trigger pick the same samples in the
// export dialog and in the remote-control server's --time-span: one table
// of spans checked on both, and the rule itself over every six-decimal time
// at 1 MHz.
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/SocketAPI.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/ExportDataSet.h"
#include "data/SmpData.h"
#include "data/SmpTimeSpan.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/TestEnv.h"

namespace {

constexpr long long kDepth = 1000;

// Channels 0..15 spell each sample's own number in binary, so that a binary
// export shows which samples it holds.
void fillNumbered(SmpData* s, long long rate, long long trigger)
{
    QVector<bool> ena(s->chnNum, false);
    for (int c = 0; c < 16; ++c)
        ena[c] = true;
    QVERIFY(s->dataConvertStart(0, rate, ena));
    for (int c = 0; c < 16; ++c)
        for (long long p = 1LL << c; p < kDepth; p += 1LL << c)
            QVERIFY(s->appendEdge(c, p));
    s->smpDepth = kDepth;
    s->trgPosition = trigger;
    QVERIFY(s->dataConvertComplete(kDepth));
}

} // namespace

class TestTimeSpan : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    // The span as rows: start and end text ("" leaves the end out), the
    // capture's rate and trigger, and the samples both ways must give, in
    // the dialog's terms (ordered, within [0, depth]).
    static void spanTable()
    {
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("endText");
        QTest::addColumn<long long>("rate");
        QTest::addColumn<long long>("trigger");
        QTest::addColumn<long long>("first");
        QTest::addColumn<long long>("last");
        // 0.000249 × 1e6 is 248.99999999999997 in binary.
        QTest::newRow("1 MHz 0.000249") << "0" << "0.000249" << 1000000LL << 0LL << 0LL << 249LL;
        QTest::newRow("1 MHz six decimals") << "0.000251" << "0.000983" << 1000000LL << 0LL << 251LL << 983LL;
        QTest::newRow("1 MHz before the trigger")
            << "-0.000489" << "-0.000251" << 1000000LL << 500LL << 11LL << 249LL;
        QTest::newRow("1 MHz around the trigger")
            << "-0.000057" << "0.000583" << 1000000LL << 100LL << 43LL << 683LL;
        QTest::newRow("1 MHz end left out") << "0.000249" << "" << 1000000LL << 0LL << 249LL << kDepth;
        // Between samples: cut towards the trigger on either side.
        QTest::newRow("3 Hz halves") << "-1.5" << "0.5" << 3LL << 10LL << 6LL << 11LL;
        QTest::newRow("7 Hz six digits short") << "0.142857" << "0.142858" << 7LL << 10LL << 10LL << 11LL;
        QTest::newRow("7 Hz before the trigger") << "-0.285715" << "-0.142857" << 7LL << 10LL << 8LL << 10LL;
        QTest::newRow("500 MHz nanoseconds")
            << "-0.000000126" << "0.000000490" << 500000000LL << 500LL << 437LL << 745LL;
        QTest::newRow("500 MHz half samples")
            << "-0.000000001" << "0.000000003" << 500000000LL << 500LL << 500LL << 501LL;
        QTest::newRow("1 GHz nanoseconds") << "0.000000245" << "0.000000957" << 1000000000LL << 0LL << 245LL << 957LL;
        QTest::newRow("beyond the capture") << "-0.5" << "2" << 1000LL << 100LL << 0LL << kDepth;
        QTest::newRow("typed 1e30") << "1e30" << "-1e30" << 1000000LL << 100LL << 0LL << kDepth;
        QTest::newRow("both past the end") << "0.95" << "3" << 1000LL << 100LL << kDepth << kDepth;
        QTest::newRow("reversed") << "0.000583" << "-0.000057" << 1000000LL << 100LL << 43LL << 683LL;
        QTest::newRow("trigger past the capture")
            << "-0.001" << "-0.0006" << 1000000LL << 1500LL << 500LL << 900LL;
        // No rate known: seconds count as samples, as the exports' times do.
        QTest::newRow("rate 0") << "2" << "5" << 0LL << 10LL << 12LL << 15LL;
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        Lang::init();
        devUsing = DevBase::createDevice(DevModelSpruce);
        QVERIFY(devUsing && devUsing->chnNum() >= 16);
    }

    void cleanupTestCase()
    {
        delete devUsing;
        devUsing = nullptr;
    }

    void everySixDecimalTimeAt1MHz()
    {
        char text[32];
        for (long long k = 1; k < 100000; ++k) {
            std::snprintf(text, sizeof text, "0.%06lld", k);
            const double t = std::strtod(text, nullptr);
            if (SmpTimeSpan::secondsToSample(t, 200000, 1000000, 0) != k
                || SmpTimeSpan::secondsToSample(-t, 200000, 1000000, 100000) != 100000 - k)
                QFAIL(text);
        }
    }

    // Far from the trigger a time between two samples still picks the one
    // towards the trigger, and one on a sample that sample.
    void farFromTheTrigger_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<long long>("rate");
        QTest::addColumn<long long>("sample");
        QTest::newRow("1 GHz, half a sample past 1.5e9") << 1.5000000015 << 1000000000LL << 1500000001LL;
        QTest::newRow("1 GHz, on a sample past 1.5e9") << 1.500000001 << 1000000000LL << 1500000001LL;
        QTest::newRow("1 GHz, before the trigger") << -1.5000000015 << 1000000000LL << -1500000001LL;
        QTest::newRow("500 MHz, 0.1 sample past 4e9") << 8.0000000002 << 500000000LL << 4000000000LL;
        QTest::newRow("500 MHz, 0.9 sample past 4e9") << 8.0000000018 << 500000000LL << 4000000000LL;
    }
    void farFromTheTrigger()
    {
        QFETCH(double, seconds);
        QFETCH(long long, rate);
        const long long trigger = 5000000000LL;
        QTEST(SmpTimeSpan::secondsToSample(seconds, 10000000000LL, rate, trigger) - trigger, "sample");
    }

    void dialog_data() { spanTable(); }
    void dialog()
    {
        QFETCH(QString, startText);
        QFETCH(QString, endText);
        QFETCH(long long, rate);
        QFETCH(long long, trigger);
        QFETCH(long long, first);
        QFETCH(long long, last);
        SmpData s(16);
        s.smpDepth = kDepth;
        s.smpFrequ = rate;
        s.trgPosition = trigger;
        ExportDataSet d(nullptr, s, QVector<bool>(16, true), {}, {}, {});
        d.btnInterval->click();
        d.startEdit->setText(startText);
        if (!endText.isEmpty())
            d.endEdit->setText(endText);
        QVector<bool> analog, digital(16);
        long long a = -1, b = -1;
        d.getSetParameters(analog, digital, &a, &b);
        QCOMPARE(a, first);
        QCOMPARE(b, last);
    }

    // The samples a binary export of the span holds; the file takes the
    // range's ends as samples, so an end at the count is its last sample.
    void server_data() { spanTable(); }
    void server()
    {
        QFETCH(QString, startText);
        QFETCH(QString, endText);
        QFETCH(long long, rate);
        QFETCH(long long, trigger);
        QFETCH(long long, first);
        QFETCH(long long, last);
        SmpData* s = devUsing->shownData();
        fillNumbered(s, rate, trigger);
        SocketAPI api;
        const QString path = tmp.filePath("span.bin");
        QString channels;
        for (int c = 0; c < 16; ++c)
            channels += ' ' + QString::number(c);
        const QString cmd = "export-data " + path + " --time-span " + startText + ' ' + endText + " --chn-select"
                            + channels;
        QCOMPARE(api.execute(cmd.toLatin1()), QString("ACK"));
        const QByteArray bytes = TestEnv::readFile(path);
        const int width = (s->chnNum + 7) / 8;
        QVERIFY(!bytes.isEmpty() && bytes.size() % width == 0);
        auto sampleAt = [&](int i) {
            unsigned char lo = 0, hi = 0;
            std::memcpy(&lo, bytes.constData() + i * width, 1);
            std::memcpy(&hi, bytes.constData() + i * width + 1, 1);
            return (long long)(lo | hi << 8);
        };
        const int n = bytes.size() / width;
        QCOMPARE(sampleAt(0), std::min(first, kDepth - 1));
        QCOMPARE(sampleAt(n - 1), std::min(last, kDepth - 1));
        QCOMPARE((long long)n, std::min(last, kDepth - 1) - std::min(first, kDepth - 1) + 1);
    }
};

QTEST_MAIN(TestTimeSpan)
#include "test_timespan.moc"

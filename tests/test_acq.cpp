// Acquisition without hardware: the device-data converters against a
// per-sample reference, the software trigger tables, pre-trigger trimming of
// the stream callback, the buffer-mode memory window, and the refusal of a
// stream capture without channels.

#include <QtTest>

#include <memory>
#include <random>
#include <vector>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevLA.h"
#include "device/DevSample.h"
#include "support/CaptureSignals.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"

namespace {

using Levels = std::vector<std::vector<uint8_t>>;   // [channel][sample]

std::vector<long long> entries(const DigitalChnData* d)
{
    std::vector<long long> out;
    if (!d)
        return out;
    for (int g = 0; g < d->groupNum; ++g)
        for (int b = 0; b < d->group[g]->blockNum; ++b) {
            const DigitalDataBlock* blk = d->group[g]->block[b];
            for (int i = 0; i < blk->posNum; ++i)
                out.push_back(smpEntryPos(blk, i));
        }
    return out;
}

// The table a channel must have by definition: every sample whose level
// differs from the one before, then the sample count.
std::vector<long long> refEdges(const std::vector<uint8_t>& lv, long long depth)
{
    std::vector<long long> out;
    for (long long t = 1; t < depth; ++t)
        if (lv[size_t(t)] != lv[size_t(t - 1)])
            out.push_back(t);
    out.push_back(depth);
    return out;
}

// Random levels: each channel toggles with its own probability.
Levels randomLevels(std::mt19937& rng, int chn, long long n)
{
    Levels lv(size_t(chn), std::vector<uint8_t>(size_t(n), 0));
    for (int c = 0; c < chn; ++c) {
        const double p = std::uniform_real_distribution<double>(0.0, 0.5)(rng);
        std::bernoulli_distribution flip(p);
        uint8_t l = uint8_t(rng() & 1);
        for (long long t = 0; t < n; ++t) {
            if (flip(rng))
                l ^= 1;
            lv[size_t(c)][size_t(t)] = l;
        }
    }
    return lv;
}

// Word-format stream of the enabled channels (ena: channel numbers).
QByteArray wordStream(const Levels& lv, const QVector<int>& ena, long long rows)
{
    QByteArray out;
    out.reserve(int(rows * ena.size() * 2));
    for (long long r = 0; r < rows; ++r)
        for (int c : ena) {
            uint16_t w = 0;
            for (int i = 0; i < 16; ++i)
                w |= uint16_t(lv[size_t(c)][size_t(r * 16 + i)] << i);
            out.append(char(w & 0xFF));
            out.append(char(w >> 8));
        }
    return out;
}

// Splits into buffers of random length in [lo, hi].
QVector<QByteArray> split(std::mt19937& rng, const QByteArray& b, int lo, int hi)
{
    QVector<QByteArray> out;
    for (int i = 0; i < b.size();) {
        const int n = qMin(int(std::uniform_int_distribution<int>(lo, hi)(rng)), b.size() - i);
        out << b.mid(i, n);
        i += n;
    }
    return out;
}

// Level of channel c at sample t of a completed store, by the level rule.
int levelAt(const SmpData* s, int c, long long t)
{
    return s->getPointLevel(c, t);
}

QByteArray words(std::initializer_list<int> l)
{
    QByteArray b;
    for (int v : l) {
        b.append(char(v & 0xFF));
        b.append(char((v >> 8) & 0xFF));
    }
    return b;
}

} // namespace

class TestAcq : public QObject
{
    Q_OBJECT

    std::unique_ptr<DevBase> make(int model) { return std::unique_ptr<DevBase>(DevBase::createDevice(model)); }
    static SmpCtrlStream* streamOf(DevBase* d) { return qobject_cast<SmpCtrlStream*>(d->smpCtrlStream); }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }

    // ------------------------------------------------------------ converters

    void recordFormats_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<quint32>("enaMask");
        QTest::addColumn<int>("seed");
        QTest::newRow("16 channels, all") << 16 << 0xFFFFu << 1;
        QTest::newRow("16 channels, some disabled") << 16 << 0xA5F0u << 2;
        QTest::newRow("32 channels, all") << 32 << 0xFFFFFFFFu << 3;
        QTest::newRow("32 channels, high half") << 32 << 0xFFFF0000u << 4;
    }
    void recordFormats()
    {
        QFETCH(int, channels);
        QFETCH(quint32, enaMask);
        QFETCH(int, seed);
        std::mt19937 rng(seed);
        const int perFrame = channels == 32 ? 6 : 5;
        const int frame = channels == 32 ? 32 : 16;
        const int lw = channels == 32 ? 4 : 2;
        // Records whose levels change a few channels at a time, runs 1..255.
        const int records = perFrame * 900;
        QByteArray mem;
        std::vector<uint32_t> lvl;
        std::vector<int> run;
        uint32_t cur = rng();
        for (int r = 0; r < records; ++r) {
            const int flips = std::uniform_int_distribution<int>(0, 3)(rng);
            for (int f = 0; f < flips; ++f)
                cur ^= 1u << (rng() % unsigned(channels));
            if (channels == 16)
                cur &= 0xFFFF;
            lvl.push_back(cur);
            run.push_back(std::uniform_int_distribution<int>(1, 255)(rng));
        }
        for (int r = 0; r < records; r += perFrame) {
            QByteArray f(frame, '\0');
            for (int k = 0; k < perFrame; ++k) {
                for (int j = 0; j < lw; ++j)
                    f[k * (lw + 1) + j] = char(lvl[size_t(r + k)] >> (8 * j));
                f[k * (lw + 1) + lw] = char(run[size_t(r + k)]);
            }
            mem += f;
        }
        // Samples by definition.
        long long depth = 0;
        for (int r : run)
            depth += r;
        Levels ref(size_t(channels), std::vector<uint8_t>(size_t(depth), 0));
        long long t = 0;
        long long trgAt = -1;
        const int trgRecord = 1234;
        for (int r = 0; r < records; ++r) {
            for (int k = 0; k < run[size_t(r)]; ++k, ++t)
                for (int c = 0; c < channels; ++c)
                    ref[size_t(c)][size_t(t)] = uint8_t(lvl[size_t(r)] >> c & 1);
            if (r + 1 == trgRecord)
                trgAt = t;
        }

        SmpData s(channels);
        QVector<bool> ena(channels);
        for (int c = 0; c < channels; ++c)
            ena[c] = enaMask >> c & 1;
        QVERIFY(s.dataConvertStart(trgRecord, 1000000, ena));
        SmpConvertState st;
        long long converted = 0;
        // Whole frames per buffer, as the device delivers them.
        for (int i = 0; i < mem.size();) {
            const int n = qMin(frame * std::uniform_int_distribution<int>(1, 97)(rng), mem.size() - i);
            const auto* p = reinterpret_cast<const unsigned char*>(mem.constData() + i);
            QVERIFY(channels == 32 ? smpDataConvertP6_32(&s, &st, p, n, &converted)
                                   : smpDataConvertP5_16(&s, &st, p, n, &converted));
            i += n;
        }
        QCOMPARE(converted, (long long)mem.size());
        QCOMPARE(s.smpDepth, depth);
        QCOMPARE(s.trgPosition, trgAt);
        QCOMPARE(s.zeroRunCnt, -1);
        QVERIFY(s.dataConvertComplete(depth));
        QVERIFY(s.checkData());
        for (int c = 0; c < channels; ++c) {
            if (!ena[c]) {
                QVERIFY(!s.chnData[c]);
                continue;
            }
            QCOMPARE(s.chnData[c]->initLevel, int(ref[size_t(c)][0]));
            QCOMPARE(entries(s.chnData[c]), refEdges(ref[size_t(c)], depth));
        }
    }

    // Enough edges to fill several blocks per channel, at unequal rates (one
    // channel fills a block while others sit near the end of theirs), with
    // positions crossing 2^32 (the high byte of the table changes) and the
    // trigger in the middle; the reference works per record.
    void recordsAcrossBlocks_data()
    {
        QTest::addColumn<int>("channels");
        QTest::newRow("16 channels") << 16;
        QTest::newRow("32 channels") << 32;
    }

    void recordsAcrossBlocks()
    {
        QFETCH(int, channels);
        std::mt19937 rng(uint32_t(20240 + channels));
        const int perFrame = channels == 32 ? 6 : 5;
        const int frame = channels == 32 ? 32 : 16;
        const int lw = channels == 32 ? 4 : 2;
        const int records = perFrame * 15000;
        const long long start = (1LL << 32) - 3000000;
        std::vector<uint32_t> lvl;
        std::vector<int> run;
        uint32_t cur = 0;
        for (int r = 0; r < records; ++r) {
            const uint32_t x = rng();
            cur ^= 1u;                               // every record
            if (x % 4 == 0)
                cur ^= 2u;                           // every fourth
            if (x % 1500 == 1)
                cur ^= 4u;                           // rarely
            if (x % 10 == 3)
                cur ^= rng() & (channels == 32 ? 0xFFFFFFF0u : 0xFFF0u);   // a bus
            lvl.push_back(cur);
            run.push_back(std::uniform_int_distribution<int>(0, 255)(rng));
        }
        QByteArray mem;
        for (int r = 0; r < records; r += perFrame) {
            QByteArray f(frame, '\0');
            for (int k = 0; k < perFrame; ++k) {
                for (int j = 0; j < lw; ++j)
                    f[k * (lw + 1) + j] = char(lvl[size_t(r + k)] >> (8 * j));
                f[k * (lw + 1) + lw] = char(run[size_t(r + k)]);
            }
            mem += f;
        }
        const int trgRecord = records / 2 + 3;
        std::vector<std::vector<long long>> ref(static_cast<size_t>(channels));
        long long pos = start;
        long long trgAt = -1;
        int zeros = 0;
        for (int r = 0; r < records; ++r) {
            if (r > 0)
                for (int c = 0; c < channels; ++c)
                    if ((lvl[size_t(r)] ^ lvl[size_t(r - 1)]) >> c & 1)
                        ref[size_t(c)].push_back(pos);
            pos += run[size_t(r)];
            zeros += run[size_t(r)] == 0;
            if (r + 1 == trgRecord)
                trgAt = pos;
        }
        const long long depth = pos;
        QVERIFY(depth > (1LL << 32));

        SmpData s(channels);
        QVERIFY(s.dataConvertStart(trgRecord, 1000000, QVector<bool>(channels, true)));
        s.smpDepth = start;
        SmpConvertState st;
        long long converted = 0;
        for (int i = 0; i < mem.size();) {
            const int n = qMin(frame * std::uniform_int_distribution<int>(1, 3000)(rng), mem.size() - i);
            const auto* p = reinterpret_cast<const unsigned char*>(mem.constData() + i);
            QVERIFY(channels == 32 ? smpDataConvertP6_32(&s, &st, p, n, &converted)
                                   : smpDataConvertP5_16(&s, &st, p, n, &converted));
            i += n;
        }
        QCOMPARE(converted, (long long)mem.size());
        QCOMPARE(s.smpDepth, depth);
        QCOMPARE(s.trgPosition, trgAt);
        QCOMPARE(s.zeroRunCnt, zeros - 1);   // the counter starts at -1
        QVERIFY(SmpData::entryCount(s.chnData[0]) > 3 * SMP_BLOCK_ENTRIES);
        QVERIFY(s.dataConvertComplete(depth));
        QVERIFY(s.checkData());
        for (int c = 0; c < channels; ++c) {
            ref[size_t(c)].push_back(depth);
            QCOMPARE(entries(s.chnData[c]), ref[size_t(c)]);
        }
    }

    // Only whole frames count; the record counter places the trigger; runs
    // of 0 add no samples and are counted.
    void recordFrames()
    {
        QVector<QPair<quint32, quint8>> recs;
        const int runs[] = {3, 5, 7, 0, 11, 13, 0, 17, 19, 23};
        for (int i = 0; i < 10; ++i)
            recs << qMakePair(quint32(i & 1 ? 0x0001 : 0x0000), quint8(runs[i]));
        QByteArray mem;
        for (int i = 0; i < 10; i += 5) {
            QByteArray f(16, '\0');
            for (int k = 0; k < 5; ++k) {
                f[k * 3] = char(recs[i + k].first);
                f[k * 3 + 2] = char(recs[i + k].second);
            }
            mem += f;
        }
        SmpData s(16);
        const QVector<bool> ena(16, true);
        SmpConvertState st;
        long long conv = 0;
        // 7 records' worth of bytes: one whole frame (5 records) converts.
        QVERIFY(s.dataConvertStart(3, 1000, ena));
        QVERIFY(smpDataConvertP5_16(&s, &st, reinterpret_cast<const unsigned char*>(mem.constData()), 21, &conv));
        QCOMPARE(s.smpDepth, 3LL + 5 + 7 + 0 + 11);
        QCOMPARE(s.trgPosition, 3LL + 5 + 7);
        QCOMPARE(s.zeroRunCnt, 0);   // one zero run seen
        // 10 records: two frames.
        st.reset();
        conv = 0;
        QVERIFY(s.dataConvertStart(3, 1000, ena));
        QVERIFY(smpDataConvertP5_16(&s, &st, reinterpret_cast<const unsigned char*>(mem.constData()), 32, &conv));
        QCOMPARE(s.smpDepth, 98LL);
        QCOMPARE(s.zeroRunCnt, 1);
        QCOMPARE(conv, 32LL);
    }

    void streamFormats_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QVector<int>>("ena");
        QTest::addColumn<int>("minBuf");
        QTest::addColumn<int>("maxBuf");
        QTest::addColumn<int>("seed");
        QTest::newRow("word, 1 channel") << 16 << QVector<int>{5} << 1 << 300 << 11;
        QTest::newRow("word, 3 channels, odd buffer lengths") << 16 << QVector<int>{0, 7, 15} << 1 << 77 << 12;
        QTest::newRow("word, 16 channels") << 16 << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}
                                          << 100 << 2000 << 13;
        QTest::newRow("word, 32 channels") << 32 << QVector<int>{} << 50 << 3000 << 17;
        QTest::newRow("word, 8 of 32 channels") << 32 << QVector<int>{0, 3, 8, 9, 20, 21, 30, 31} << 5 << 999 << 18;
        QTest::newRow("word, 32-channel model, 5 channels") << 32 << QVector<int>{2, 9, 17, 30, 31} << 3 << 500 << 14;
        QTest::newRow("bytes, 8 channels") << 8 << QVector<int>{} << 1 << 400 << 15;
        QTest::newRow("bytes, 3 channels") << 8 << QVector<int>{1, 4, 6} << 1 << 400 << 16;
    }
    void streamFormats()
    {
        QFETCH(int, channels);
        QFETCH(QVector<int>, ena);
        QFETCH(int, minBuf);
        QFETCH(int, maxBuf);
        QFETCH(int, seed);
        std::mt19937 rng(seed);
        const bool bytes8 = channels == 8 && !QByteArray(QTest::currentDataTag()).startsWith("word");
        QVector<int> chs = ena;
        if (chs.isEmpty())
            for (int c = 0; c < channels; ++c)
                chs << c;
        const long long rows = 1500;
        const long long depth = rows * 16;
        const Levels lv = randomLevels(rng, channels, depth);
        QByteArray data;
        if (bytes8) {
            for (long long t = 0; t < depth; ++t) {
                uint8_t b = 0;
                for (int c = 0; c < 8; ++c)
                    b |= uint8_t(lv[size_t(c)][size_t(t)] << c);
                data.append(char(b));
            }
        } else {
            data = wordStream(lv, chs, rows);
        }
        // The first buffer starts with whole rows that are not kept.
        const int skipRows = 3;
        const int rowBytes = bytes8 ? 16 : 2 * chs.size();
        QByteArray junk(skipRows * rowBytes, char(0x5A));
        const QVector<QByteArray> bufs = split(rng, junk + data, qMax(minBuf, int(junk.size()) + 1), maxBuf);

        SmpData s(channels);
        QVector<bool> en(channels, false);
        for (int c : chs)
            en[c] = true;
        QVERIFY(s.dataConvertStart(0, 1000, en));
        SmpConvertState st;
        long long d = -1;
        bool first = true;
        for (const QByteArray& b : bufs) {
            // Each buffer in a block of its own so ASan sees any read past it.
            std::vector<unsigned char> own(b.begin(), b.end());
            const int off = first ? int(junk.size()) : -1;
            QVERIFY(bytes8 ? smpDataConvertBytes8(&s, &st, own.data(), int(own.size()), off, &d)
                           : smpDataConvertS16_N(&s, &st, own.data(), int(own.size()), off, &d));
            first = false;
        }
        QCOMPARE(d, depth);
        QVERIFY(s.dataConvertComplete(depth));
        QVERIFY(s.checkData());
        for (int c = 0; c < channels; ++c) {
            if (!en[c]) {
                QVERIFY(!s.chnData[c]);
                continue;
            }
            QCOMPARE(s.chnData[c]->initLevel, int(lv[size_t(c)][0]));
            QCOMPARE(entries(s.chnData[c]), refEdges(lv[size_t(c)], depth));
        }
    }

    // No enabled channel is a failed conversion, not a division by zero.
    void streamWithoutChannels()
    {
        SmpData s(16);
        QVERIFY(s.dataConvertStart(0, 1000, QVector<bool>(16, false)));
        SmpConvertState st;
        const unsigned char b[4] = {1, 2, 3, 4};
        long long d = 0;
        QVERIFY(!smpDataConvertS16_N(&s, &st, b, 4, 0, &d));
        QVERIFY(!smpDataConvertBytes8(&s, &st, b, 4, 0, &d));
    }

    // ------------------------------------------------------------ software trigger

    void wordTrigger_data()
    {
        QTest::addColumn<QVector<int>>("types");    // per enabled channel (channels 0..n-1)
        QTest::addColumn<QVector<QByteArray>>("buffers");
        QTest::addColumn<QVector<int>>("expect");   // per buffer
        using B = QVector<QByteArray>;
        using V = QVector<int>;
        QTest::newRow("low") << V{TrgLow} << B{words({0xFFFF, 0xFFF7})} << V{19};
        QTest::newRow("high") << V{TrgHigh} << B{words({0x0000, 0x0100})} << V{24};
        QTest::newRow("rising inside a word") << V{TrgRising} << B{words({0x0000, 0x0010})} << V{20};
        QTest::newRow("rising across a word boundary") << V{TrgRising} << B{words({0x7FFF, 0x0001})} << V{16};
        QTest::newRow("no edge at the first sample") << V{TrgRising} << B{words({0x0001, 0x0000})} << V{-1};
        QTest::newRow("falling across a buffer boundary") << V{TrgFalling} << B{words({0xFFFF}), words({0xFFFE})}
                                                         << V{-1, 0};
        QTest::newRow("falling at bit 8") << V{TrgFalling} << B{words({0x00FF})} << V{8};
        QTest::newRow("none triggers at once") << V{TrgNone, TrgNone} << B{words({0x1234, 0x4321})} << V{0};
        QTest::newRow("all channels must agree") << V{TrgHigh, TrgRising}
                                                 << B{words({0x00F0, 0x0100, 0xFFFF, 0x0001})} << V{16};
        // Row 1 is split: two words in the first buffer, one in the second.
        QTest::newRow("hit straddling two buffers") << V{TrgHigh, TrgHigh, TrgRising}
                                                    << B{words({0x0000, 0x0000, 0x0000, 0xFFFF, 0xFFFF}),
                                                         words({0x0020, 0x0000, 0x0000, 0x0000})}
                                                    << V{-1, 5};
        QTest::newRow("no hit") << V{TrgLow, TrgHigh} << B{words({0xFFFF, 0x0000, 0x00FF, 0x00FF})} << V{-1};
    }
    void wordTrigger()
    {
        QFETCH(QVector<int>, types);
        QFETCH(QVector<QByteArray>, buffers);
        QFETCH(QVector<int>, expect);
        auto d = make(DevModelSpruce);
        SmpCtrlStream* s = streamOf(d.get());
        QVERIFY(s);
        QVector<TrgType> trg(16, TrgNone);
        QVector<bool> ena(16, false);
        for (int i = 0; i < types.size(); ++i) {
            trg[i] = TrgType(types[i]);
            ena[i] = true;
        }
        QVERIFY(s->setupTrigger(trg, ena, false));
        long long received = 0;
        for (int i = 0; i < buffers.size(); ++i) {
            const int first = int((received / 2) % types.size());
            const auto* p = reinterpret_cast<const unsigned char*>(buffers[i].constData());
            QCOMPARE(s->getTrgIndex(p, buffers[i].size(), first), expect[i]);
            received += buffers[i].size();
        }
    }

    void byteTrigger_data()
    {
        QTest::addColumn<QVector<int>>("types");   // channels 0..7
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expect");
        using V = QVector<int>;
        QTest::newRow("rising needs a change") << V{0, 0, TrgRising} << QByteArray::fromHex("000004") << 2;
        QTest::newRow("falling") << V{0, TrgFalling} << QByteArray::fromHex("020200") << 2;
        QTest::newRow("rising is not falling") << V{0, TrgRising} << QByteArray::fromHex("020200") << -1;
        QTest::newRow("level and edge") << V{TrgRising, 0, 0, TrgHigh} << QByteArray::fromHex("08000809") << 3;
        QTest::newRow("low level") << V{0, 0, 0, 0, TrgLow} << QByteArray::fromHex("ff10ef") << 2;
        QTest::newRow("none") << V{} << QByteArray::fromHex("5a") << 0;
    }
    void byteTrigger()
    {
        QFETCH(QVector<int>, types);
        QFETCH(QByteArray, data);
        QFETCH(int, expect);
        auto d = make(DevModelSpruce);
        SmpCtrlStream* s = streamOf(d.get());
        QVector<TrgType> trg(16, TrgNone);
        for (int i = 0; i < types.size(); ++i)
            trg[i] = TrgType(types[i]);
        s->setupTrigger(trg, QVector<bool>(16, true), true);
        QCOMPARE(s->getTrgIndex(reinterpret_cast<const unsigned char*>(data.constData()), data.size()), expect);
    }

    // ------------------------------------------------------------ pre-trigger trimming

    void preTriggerTrimming_data()
    {
        QTest::addColumn<int>("nEna");
        QTest::addColumn<int>("bufLen");
        QTest::addColumn<long long>("preTrg");
        QTest::addColumn<long long>("trgAt");     // sample of the rising edge in the stream
        QTest::addColumn<long long>("expect");
        QTest::newRow("trigger before the pre-trigger depth keeps all") << 3 << 600 << 5000LL << 37LL << 8000LL;
        QTest::newRow("long wait drops whole buffers") << 3 << 1000 << 2000LL << 30011LL << 6000LL;
        QTest::newRow("cut inside the trigger buffer") << 16 << 4096 << 100LL << 1500LL << 3000LL;
        QTest::newRow("one channel, trigger at the depth") << 1 << 2048 << 512LL << 512LL << 4000LL;
        QTest::newRow("no pre-trigger data") << 2 << 1000 << 0LL << 5003LL << 3000LL;
    }
    void preTriggerTrimming()
    {
        QFETCH(int, nEna);
        QFETCH(int, bufLen);
        QFETCH(long long, preTrg);
        QFETCH(long long, trgAt);
        QFETCH(long long, expect);
        auto d = make(DevModelSpruce);
        SmpCtrlStream* s = streamOf(d.get());
        const int trgChn = nEna - 1;
        QVector<bool> ena(16, false);
        QVector<TrgType> trg(16, TrgNone);
        QVector<int> chs;
        for (int c = 0; c < nEna; ++c) {
            ena[c] = true;
            chs << c;
        }
        trg[trgChn] = TrgRising;
        d->smpChnEna = ena;   // as smpStart hands them to the capture
        d->chnTrg = trg;
        d->curDepth = expect;
        QVERIFY(s->setupTrigger(trg, ena, false));
        s->expectDepth = expect;
        s->preTrgDepth = preTrg;
        s->resetCycle();
        d->smpStartMode = SmpStartSingle;
        d->smpSta = SmpStaPre;
        QVERIFY(d->dataConvertStart(0));

        std::mt19937 rng(7);
        const long long total = trgAt + expect + 20 * bufLen;
        const long long rows = total / 16;
        Levels lv = randomLevels(rng, 16, rows * 16);
        for (long long t = 0; t < rows * 16; ++t)
            lv[size_t(trgChn)][size_t(t)] = t >= trgAt ? uint8_t((t - trgAt) / 40 % 2 == 0) : 0;
        const QByteArray data = wordStream(lv, chs, rows);
        int fed = 0, maxQueued = 0;
        for (int i = 0; i < data.size() && d->smpSta != SmpStaReading; i += bufLen) {
            const int n = qMin(bufLen, data.size() - i);
            auto* b = static_cast<unsigned char*>(malloc(size_t(n)));
            memcpy(b, data.constData() + i, size_t(n));
            s->devCbAutoBulkRead(b, n);
            ++fed;
            maxQueued = qMax(maxQueued, s->semDataAvail.available());
        }
        QCOMPARE(int(d->smpSta), int(SmpStaReading));

        // Convert what was handed to the converter, as SmpCnvtStream does.
        const int avail = s->semDataAvail.available();
        unsigned char* b = nullptr;
        int n = 0;
        long long depth = 0;
        bool first = true;
        int queued = 0;
        while (s->queue.pop(&b, &n)) {
            QVERIFY(d->dataConvertStream(b, n, first ? s->headOffset : -1, &depth));
            free(b);
            first = false;
            ++queued;
        }
        QCOMPARE(queued, avail);
        // Pre-trigger data stays bounded: what is kept never exceeds the
        // pre-trigger depth and the capture by more than a few buffers.
        const long long perBuf = bufLen / (2 * nEna) * 16;
        QVERIFY2(queued <= (preTrg + expect) / perBuf + 4, qPrintable(QString::number(queued)));
        d->dataConvertComplete(true);
        const SmpData* shown = d->shownData();
        QCOMPARE(shown->smpDepth, expect);
        const long long tp = shown->trgPosition;
        if (trgAt <= preTrg) {
            QCOMPARE(tp, trgAt);
        } else {
            QVERIFY(tp >= preTrg && tp < preTrg + 16);
        }
        const long long shift = trgAt - tp;
        QCOMPARE(shift % 16, 0LL);
        // The kept samples are the stream's, from the first kept row on.
        for (int c : chs)
            for (long long t = 0; t < shown->smpDepth; t += 7)
                QCOMPARE(levelAt(shown, c, t), int(lv[size_t(c)][size_t(t + shift)]));
        QCOMPARE(levelAt(shown, trgChn, tp), 1);
        if (tp > 0)
            QCOMPARE(levelAt(shown, trgChn, tp - 1), 0);
    }

    // ------------------------------------------------------------ buffer-mode window

    void memoryWindow_data()
    {
        QTest::addColumn<long long>("records");
        QTest::addColumn<long long>("end");
        QTest::addColumn<int>("chn");
        QTest::addColumn<int>("err");
        QTest::addColumn<long long>("start");
        QTest::addColumn<long long>("length");
        const long long mem = 1 << 20;
        QTest::newRow("less than one frame is no data") << 4LL << 1000LL << 16 << 0 << 0LL << 0LL;
        QTest::newRow("7 records read one frame") << 7LL << 1000LL << 16 << 0 << 984LL << 16LL;
        QTest::newRow("32 channels") << 13LL << 1000LL << 32 << 0 << 936LL << 64LL;
        QTest::newRow("wraps around the ring") << 500LL << 800LL << 16 << 0 << mem - 800 << 1600LL;
        QTest::newRow("more records than memory") << mem << 0LL << 16 << 3 << 0LL << 0LL;
        QTest::newRow("end address outside memory") << 50LL << mem + 16 << 16 << 3 << 0LL << 0LL;
        QTest::newRow("32-bit record count") << 0xFFFFFFFFLL << 16LL << 16 << 3 << 0LL << 0LL;
    }
    void memoryWindow()
    {
        QFETCH(long long, records);
        QFETCH(long long, end);
        QFETCH(int, chn);
        QFETCH(int, err);
        QFETCH(long long, start);
        QFETCH(long long, length);
        long long s = -1, l = -1;
        QCOMPARE(SmpCtrlNormal::memWindow(records, end, 1 << 20, chn, &s, &l), err);
        QCOMPARE(s, start);
        QCOMPARE(l, length);
    }

    // ------------------------------------------------------------ start refusals

    void streamWithoutChannelsRefused()
    {
        RecordingTransport usb;
        devSupport = &usb;
        {
            auto d = make(DevModelWillow);
            d->connected = true;
            QVERIFY(d->setDChnEna(QVector<bool>(d->chnNum(), false)));
            CaptureSignals sig(d.get());
            d->smpStart(SmpStartSingle, false);
            QTRY_VERIFY(sig.ended());
            d->smpStopAndWait();
            QVERIFY(!d->smpRunning);
            bool refused = false;
            for (const auto& a : sig.sta)
                refused |= a[1].toInt() == 1;
            QVERIFY(refused);
            QCOMPARE(sig.sta.last()[0].toInt(), int(SmpStaStopped));
        }
        devSupport = nullptr;
    }
};

QTEST_GUILESS_MAIN(TestAcq)
#include "test_acq.moc"

// The remote-control server's command handling without a network: the
// tokenizer, the command table, every handler's arguments and refusals on
// 16- and 32-channel models, and random input.
#include <QtTest>

#include <random>

#include "app/SocketAPI.h"
#include "config/Config.h"
#include "config/Lang.h"
#include "data/DataFile.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/FileSizeLimit.h"
#include "support/RecordingTransport.h"
#include "support/TestEnv.h"

namespace {

// A completed capture in the device's shown store: channels 0..3 with an
// edge every `gap` samples.
void fillShown(DevBase* dev, long long depth, long long rate, long long trg, long long gap)
{
    SmpData* s = dev->shownData();
    QVector<bool> ena(s->chnNum, false);
    for (int c = 0; c < 4; ++c)
        ena[c] = true;
    QVERIFY(s->dataConvertStart(0, rate, ena));
    for (int c = 0; c < 4; ++c) {
        s->setInitLevel(c, c & 1);
        for (long long p = gap + c; p < depth; p += gap)
            QVERIFY(s->appendEdge(c, p));
    }
    s->smpDepth = depth;
    s->trgPosition = trg;
    QVERIFY(s->dataConvertComplete(depth));
}

QVector<int> trgList(const DevBase* dev)
{
    QVector<int> out;
    for (TrgType t : dev->chnTrg)
        out << int(t);
    return out;
}

} // namespace

class TestSocketApi : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    // A command of `n` characters: the name and blanks.
    static QByteArray padded(const QByteArray& cmd, int n)
    {
        return cmd + QByteArray(n - cmd.size(), ' ');
    }

    static void useModel(int model)
    {
        delete devUsing;
        devUsing = DevBase::createDevice(model);
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
        Config::init();
        Config::saveGlobalParam("userLang", "en-US");
        Lang::init();
    }

    void cleanupTestCase()
    {
        delete devUsing;
        devUsing = nullptr;
    }

    void init()
    {
        useModel(DevModelSpruce);
    }

    void tokenizer_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("repeated blanks") << QByteArray("a  b") << QStringList{"a", "b"};
        QTest::newRow("quotes kept") << QByteArray("\"x y\" z") << QStringList{"\"x y\"", "z"};
        QTest::newRow("line end is part of the token") << QByteArray("stop\r\n") << QStringList{"stop\r\n"};
        QTest::newRow("leading blanks") << QByteArray("   set-trigger 3") << QStringList{"set-trigger", "3"};
        QTest::newRow("unbalanced quote") << QByteArray("a \"b c") << QStringList{"a", "\"b c"};
        QTest::newRow("quote inside a token") << QByteArray("p\"a b\"q r") << QStringList{"p\"a b\"q", "r"};
        QTest::newRow("tab is no separator") << QByteArray("a\tb") << QStringList{"a\tb"};
        QTest::newRow("up to the NUL") << QByteArray("stop\0 junk", 10) << QStringList{"stop"};
        QTest::newRow("NUL first") << QByteArray("\0stop", 5) << QStringList{};
        QTest::newRow("only blanks") << QByteArray("    ") << QStringList{};
        QTest::newRow("Latin-1") << QByteArray("a \xe9") << QStringList{"a", QString(QChar(0xe9))};
    }
    void tokenizer()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, tokens);
        QCOMPARE(SocketAPI::tokenize(SocketAPI::commandText(input)), tokens);
    }

    void commandTable_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("lastError");
        QTest::newRow("empty") << QByteArray() << "NAK" << "invalid command";
        QTest::newRow("blanks") << QByteArray("   ") << "NAK" << "invalid command";
        QTest::newRow("NUL") << QByteArray("\0", 1) << "NAK" << "invalid command";
        QTest::newRow("stop CR LF") << QByteArray("stop\r\n") << "NAK" << "invalid command";
        QTest::newRow("case-sensitive") << QByteArray("STOP") << "NAK" << "invalid command";
        QTest::newRow("two commands in one read") << QByteArray("get-sample-rate get-sample-rate") << "NAK"
                                                  << "invalid parameter";
        QTest::newRow("stop") << QByteArray("stop") << "ACK" << "no error";
        QTest::newRow("2048 characters") << padded("stop", 2048) << "ACK" << "no error";
        QTest::newRow("2049 characters") << padded("stop", 2049) << QString() << "command is too long";
        QTest::newRow("long after the NUL") << QByteArray("stop\0", 5) + QByteArray(3000, 'x') << "ACK"
                                            << "no error";
        QTest::newRow("start with another option") << QByteArray("start --fast") << "NAK" << "invalid parameter";
        QTest::newRow("start without a device") << QByteArray("start") << "NAK"
                                                << "device disconnected, cannot start sample";
        QTest::newRow("last error takes extra arguments") << QByteArray("get-last-error x y") << "ACK no error"
                                                          << "no error";
    }
    void commandTable()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, reply);
        QFETCH(QString, lastError);
        SocketAPI api;
        QVERIFY(!api.isListening());   // "enaSocket" is off
        QCOMPARE(api.execute(input), reply);
        QCOMPARE(api.execute("get-last-error"), "ACK " + lastError);
        QCOMPARE(api.lastError == SocketAPI::ErrNone, lastError == "no error");
    }

    void errorTexts()
    {
        QCOMPARE(SocketAPI::errorText(0), QString("no error"));
        QCOMPARE(SocketAPI::errorText(10), QString("there is no data to save or export"));
        QCOMPARE(SocketAPI::errorText(11), QString("unknown error"));
        QCOMPARE(SocketAPI::errorText(-1), QString("unknown error"));
    }

    void trigger_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QVector<int>>("set");   // channel, type pairs; others 0
        const int models[] = {DevModelSpruce, DevModelRowan};
        for (int m : models) {
            const QString n = m == DevModelSpruce ? " (16)" : " (32)";
            QTest::newRow(qPrintable("one edge left" + n))
                << m << "set-trigger --pos-edge 3 --neg-edge 5" << true << QVector<int>{5, TrgFalling};
            QTest::newRow(qPrintable("levels on two channels" + n))
                << m << "set-trigger --low-level 1 2" << true << QVector<int>{1, TrgLow, 2, TrgLow};
            QTest::newRow(qPrintable("levels and an edge" + n))
                << m << "set-trigger --high-level 0 --pos-edge 7" << true
                << QVector<int>{0, TrgHigh, 7, TrgRising};
            QTest::newRow(qPrintable("second edge replaces the first" + n))
                << m << "set-trigger --pos-edge 3 4" << true << QVector<int>{4, TrgRising};
            QTest::newRow(qPrintable("reset" + n)) << m << "set-trigger --high-level 2 --reset" << true
                                                   << QVector<int>{};
            QTest::newRow(qPrintable("reset then more" + n))
                << m << "set-trigger --reset --low-level 9" << true << QVector<int>{9, TrgLow};
            QTest::newRow(qPrintable("channel before a type" + n)) << m << "set-trigger 3" << false << QVector<int>{};
            QTest::newRow(qPrintable("type lost after reset" + n))
                << m << "set-trigger --low-level 1 --reset 2" << false << QVector<int>{};
            QTest::newRow(qPrintable("unknown option" + n))
                << m << "set-trigger --pos-edge 1 --rising 2" << false << QVector<int>{};
            QTest::newRow(qPrintable("not a number" + n)) << m << "set-trigger --low-level x" << false
                                                          << QVector<int>{};
            QTest::newRow(qPrintable("negative channel" + n)) << m << "set-trigger --low-level -1" << false
                                                              << QVector<int>{};
            // Numbers are read as Qt reads them: blanks around them do not count.
            QTest::newRow(qPrintable("line end after the channel" + n))
                << m << "set-trigger --low-level 1\r\n" << true << QVector<int>{1, TrgLow};
        }
        QTest::newRow("channel 16 of 16") << int(DevModelSpruce) << "set-trigger --low-level 16" << false
                                          << QVector<int>{};
        QTest::newRow("channel 31 of 32") << int(DevModelRowan) << "set-trigger --low-level 31" << true
                                          << QVector<int>{31, TrgLow};
        QTest::newRow("channel 32 of 32") << int(DevModelRowan) << "set-trigger --low-level 32" << false
                                          << QVector<int>{};
    }
    void trigger()
    {
        QFETCH(int, model);
        QFETCH(QString, command);
        QFETCH(bool, ok);
        QFETCH(QVector<int>, set);
        useModel(model);
        DevBase* dev = devUsing;
        // Stored triggers that the command starts from: channel 6 falls.
        for (int c = 0; c < dev->chnNum(); ++c)
            dev->setDChnTrg(c, TrgNone);
        dev->setDChnTrg(6, TrgFalling);
        const QVector<int> before = trgList(dev);
        SocketAPI api;
        QSignalSpy gui(&api, &SocketAPI::sigUpdateGUI);
        QCOMPARE(api.execute(command.toLatin1()), QString(ok ? "ACK" : "NAK"));
        if (!ok) {
            QCOMPARE(api.lastError, int(SocketAPI::ErrInvalidParameter));
            QCOMPARE(trgList(dev), before);   // nothing applied after an error
            QVERIFY(gui.isEmpty());
            return;
        }
        QVector<int> want(dev->chnNum(), TrgNone);
        // The stored falling edge stays unless the command reset or set an edge.
        const bool edgeSet = command.contains("edge") || command.contains("--reset");
        if (!edgeSet)
            want[6] = TrgFalling;
        for (int i = 0; i + 1 < set.size(); i += 2)
            want[set[i]] = set[i + 1];
        QCOMPARE(trgList(dev), want);
        QCOMPARE(gui.size(), 1);
        QCOMPARE(gui[0][0].toInt(), 1);
        // Stored as applied.
        QVector<TrgType> stored(dev->chnNum(), TrgNone);
        Config::getChnTrgSettings(dev->devName, stored);
        QCOMPARE(stored, dev->chnTrg);
    }

    void triggerOnDisabledChannel()
    {
        DevBase* dev = devUsing;
        QVector<bool> ena(dev->chnNum(), true);
        ena[3] = false;
        QVERIFY(dev->setDChnEna(ena));
        SocketAPI api;
        QCOMPARE(api.execute("set-trigger --low-level 2 3 4"), QString("ACK"));
        QCOMPARE(int(dev->chnTrg[2]), int(TrgLow));
        QCOMPARE(int(dev->chnTrg[3]), int(TrgNone));
        QCOMPARE(int(dev->chnTrg[4]), int(TrgLow));
        // Alone it re-applies what stands.
        QCOMPARE(api.execute("set-trigger"), QString("ACK"));
        QCOMPARE(int(dev->chnTrg[2]), int(TrgLow));
    }

    void thresholds_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("vth1");   // stored "chnVth", "" when not written
        QTest::addColumn<QString>("vth2");   // stored "chnVth2"
        const int s = DevModelSpruce, r = DevModelRowan;
        QTest::newRow("one group") << s << "set-threshold-voltage 1.5" << true << "1.50" << "";
        QTest::newRow("second fails out of range") << s << "set-threshold-voltage 1.5 5.0" << false << "1.50" << "";
        QTest::newRow("group 2 on 16 channels") << s << "set-threshold-voltage 1.0 2.0" << false << "1.00" << "";
        QTest::newRow("two groups on 32 channels") << r << "set-threshold-voltage 1.0 -2.5" << true << "1.00"
                                                   << "-2.50";
        QTest::newRow("group 3 on 32 channels") << r << "set-threshold-voltage 1 2 3" << false << "1.00" << "2.00";
        QTest::newRow("limits") << r << "set-threshold-voltage -4 4" << true << "-4.00" << "4.00";
        QTest::newRow("just above") << s << "set-threshold-voltage 4.001" << false << "" << "";
        QTest::newRow("nan") << s << "set-threshold-voltage nan" << false << "" << "";
        QTest::newRow("inf") << s << "set-threshold-voltage inf" << false << "" << "";
        QTest::newRow("-inf") << s << "set-threshold-voltage -inf" << false << "" << "";
        QTest::newRow("not a number") << s << "set-threshold-voltage 1,5" << false << "" << "";
        QTest::newRow("no value") << s << "set-threshold-voltage" << false << "" << "";
        QTest::newRow("stored to hundredths") << s << "set-threshold-voltage 1.234" << true << "1.23" << "";
    }
    void thresholds()
    {
        QFETCH(int, model);
        QFETCH(QString, command);
        QFETCH(bool, ok);
        QFETCH(QString, vth1);
        QFETCH(QString, vth2);
        useModel(model);
        const QString dev = devUsing->devName;
        for (const char* k : {"chnVth", "chnVth2", "chnLevel", "chnLevel2"})
            Config::saveDeviceParam(dev, k, "");
        SocketAPI api;
        QSignalSpy gui(&api, &SocketAPI::sigUpdateGUI);
        // Accepted also while a capture runs.
        devUsing->smpRunning = true;
        const QString reply = api.execute(command.toLatin1());
        devUsing->smpRunning = false;
        QCOMPARE(reply, QString(ok ? "ACK" : "NAK"));
        if (!ok)
            QCOMPARE(api.lastError, int(SocketAPI::ErrInvalidParameter));
        QCOMPARE(Config::readDeviceParam(dev, "chnVth"), vth1);
        QCOMPARE(Config::readDeviceParam(dev, "chnVth2"), vth2);
        QCOMPARE(Config::readDeviceParam(dev, "chnLevel"), vth1.isEmpty() ? QString() : QString("Custom I/O"));
        QCOMPARE(Config::readDeviceParam(dev, "chnLevel2"), vth2.isEmpty() ? QString() : QString("Custom I/O"));
        QCOMPARE(gui.size(), vth1.isEmpty() ? 0 : 1);
    }

    // The device gets the value as given; only the stored text is cut to
    // hundredths.
    void thresholdReachesDevice_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("values");
        QTest::newRow("between hundredths") << int(DevModelSpruce) << "1.234";
        QTest::newRow("rounds up when stored") << int(DevModelSpruce) << "-0.024";
        QTest::newRow("two groups") << int(DevModelRowan) << "2.0049 -1.2351";
    }
    void thresholdReachesDevice()
    {
        QFETCH(int, model);
        QFETCH(QString, values);
        // The connected device goes before its transport, also when a check fails.
        struct Transport : RecordingTransport {
            Transport() { devSupport = this; }
            ~Transport() override
            {
                delete devUsing;
                devUsing = nullptr;
                devSupport = nullptr;
            }
        } usb;
        useModel(model);
        usb.setReadData(0x20, 0, QByteArray("\xC1\x85", 2));
        QCOMPARE(devUsing->devConnect(nullptr), 0);
        usb.clear();
        SocketAPI api;
        QCOMPARE(api.execute(("set-threshold-voltage " + values).toLatin1()), QString("ACK"));
        const QStringList v = values.split(' ');
        for (int i = 0; i < v.size(); ++i) {
            const int group = i + 1;
            auto encoded = [this](double volts) {
                uint16_t value = 0, code = 0;
                DevBase::encodeVth(devUsing->vthRef, volts, &value, &code);
                const char b[4] = {char(value), char(value >> 8), char(code), char(code >> 8)};
                return QByteArray(b, 4);
            };
            const QString stored = QString::number(v[i].toDouble(), 'f', 2);
            // The rows are chosen so that the stored text would encode otherwise.
            QVERIFY(encoded(stored.toDouble()) != encoded(v[i].toDouble()));
            QCOMPARE(usb.lastRegWrite(100 + 4 * group), encoded(v[i].toDouble()));
            QCOMPARE(Config::readDeviceParam(devUsing->devName, group == 1 ? "chnVth" : "chnVth2"), stored);
        }
    }

    void sampleSettings()
    {
        DevBase* dev = devUsing;
        SocketAPI api;
        QSignalSpy gui(&api, &SocketAPI::sigUpdateGUI);
        QStringList rates;
        for (long long r : dev->smpFrequList)
            rates << QString::number(r);
        QCOMPARE(api.execute("get-supported-sample-rate"), "ACK " + rates.join(' '));

        const long long rate = dev->smpFrequList[0];
        QCOMPARE(api.execute("set-sample-rate " + QByteArray::number(rate)), QString("ACK"));
        QCOMPARE(api.execute("get-sample-rate"), "ACK " + QString::number(rate));
        QCOMPARE(gui.size(), 1);
        QCOMPARE(gui[0][0].toInt(), 2);
        QCOMPARE(api.execute("set-sample-rate 12345"), QString("NAK"));
        QCOMPARE(api.execute("set-sample-rate fast"), QString("NAK"));
        QCOMPARE(api.execute("get-sample-rate"), "ACK " + QString::number(rate));

        // A depth whose time is no exact binary fraction keeps every sample.
        QCOMPARE(api.execute("set-sample-depth 999999"), QString("ACK"));
        QCOMPARE(dev->getExpectDepth(), 999999LL);
        QCOMPARE(api.execute("set-sample-time 0.5"), QString("ACK"));
        QCOMPARE(dev->getExpectDepth(), rate / 2);
        // A depth of the list is the chosen entry, which the sampling bar shows.
        const int entry = dev->smpDepthList.indexOf(1000000);
        QVERIFY(entry >= 0 && entry != dev->smpDepthIndex);
        QCOMPARE(api.execute("set-sample-depth 1000000"), QString("ACK"));
        QCOMPARE(dev->smpDepthIndex, entry);
        QCOMPARE(dev->getExpectDepth(), 1000000LL);
        QCOMPARE(api.execute("set-sample-time 0.5"), QString("ACK"));
        QCOMPARE(dev->getExpectDepth(), rate / 2);
        for (const char* bad : {"set-sample-time inf", "set-sample-time nan", "set-sample-time 1e400",
                                "set-sample-time -1", "set-sample-time x", "set-sample-depth 0",
                                "set-sample-depth 1e6", "set-sample-depth -5", "set-sample-depth 99999999999999999999",
                                "set-sample-time", "set-sample-depth 1 2"}) {
            api.lastError = 0;
            QVERIFY2(api.execute(bad) == "NAK", bad);
            QCOMPARE(api.lastError, int(SocketAPI::ErrInvalidParameter));
        }
        QCOMPARE(dev->getExpectDepth(), rate / 2);

        // Rate, depth, time and triggers wait while a capture runs.
        dev->smpRunning = true;
        for (const char* busy : {"set-sample-rate 1000000", "set-sample-depth 20000", "set-sample-time 1",
                                 "set-trigger --reset", "save-data x.csv"}) {
            QVERIFY2(api.execute(busy) == "NAK", busy);
            QCOMPARE(api.lastError, int(SocketAPI::ErrBusy));
        }
        QCOMPARE(api.execute("start --simulate"), QString("NAK"));
        QCOMPARE(api.lastError, int(SocketAPI::ErrSampling));
        dev->smpRunning = false;

        // A model without rates answers an empty list.
        dev->smpFrequList.clear();
        QCOMPARE(api.execute("get-supported-sample-rate"), QString("ACK "));
    }

    void actualTimes()
    {
        SocketAPI api;
        QCOMPARE(api.execute("get-actual-sample-depth"), QString("ACK 0"));
        QCOMPARE(api.execute("get-actual-sample-time"), QString("ACK 0 0"));
        fillShown(devUsing, 3, 2, 1, 1);
        QCOMPARE(api.execute("get-actual-sample-depth"), QString("ACK 3"));
        // Divided in floating point: half a second before the trigger.
        QCOMPARE(api.execute("get-actual-sample-time"), QString("ACK -0.5 1"));
        fillShown(devUsing, 4000000000LL, 1000000000LL, 1, 1000000);
        QCOMPARE(api.execute("get-actual-sample-time"), QString("ACK -1e-09 4"));
    }

    void saveArguments_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("args");   // "@" stands for the test's folder
        QTest::addColumn<int>("error");      // 0: written
        const int bad = SocketAPI::ErrInvalidParameter;
        QTest::newRow("path first") << "save-data" << "--time-span 0 1 @/x.csv" << bad;
        QTest::newRow("no path") << "save-data" << "" << bad;
        QTest::newRow("only an option") << "save-data" << "--chn-select" << bad;
        QTest::newRow("unknown option") << "save-data" << "@/x.csv --all" << bad;
        QTest::newRow("value without option") << "save-data" << "@/x.csv 3" << bad;
        QTest::newRow("no suffix") << "save-data" << "@/x" << bad;
        QTest::newRow("suffix in capitals") << "save-data" << "@/x.CSV" << bad;
        QTest::newRow("other suffix") << "save-data" << "@/x.dat" << bad;
        QTest::newRow("dot in the folder only") << "save-data" << "@/d.csv/x" << bad;
        QTest::newRow("time no number") << "save-data" << "@/x.csv --time-span a" << bad;
        QTest::newRow("time inf") << "save-data" << "@/x.csv --time-span inf" << bad;
        QTest::newRow("time nan") << "save-data" << "@/x.csv --time-span 0 nan" << bad;
        QTest::newRow("channel 16 of 16") << "save-data" << "@/x.csv --chn-select 0 16" << bad;
        QTest::newRow("negative channel") << "save-data" << "@/x.csv --chn-select -1" << bad;
        QTest::newRow("channel no number") << "save-data" << "@/x.csv --chn-select a" << bad;
        QTest::newRow("folder missing") << "save-data" << "@/no/such/x.csv" << int(SocketAPI::ErrSaveFailed);
        // Only a path from the root is taken, with either command.
        const char* relative[] = {"x.csv", "x.cvdat", "x.bin", "\"x y.txt\"", "./x.csv", "~/x.csv", ".cvdat",
                                  "\"\"", ":/x.csv"};
        for (const char* path : relative)
            for (const char* command : {"save-data", "export-data"})
                QTest::newRow(qPrintable(QString("%1 %2").arg(command, path))) << command << path << bad;
        QTest::newRow("csv") << "save-data" << "@/x.csv" << 0;
        QTest::newRow("export csv") << "export-data" << "@/x.csv" << 0;
        QTest::newRow("path in quotes") << "export-data" << "\"@/x y.bin\"" << 0;
        QTest::newRow("text") << "save-data" << "@/x.txt --chn-select 1" << 0;
        QTest::newRow("binary") << "save-data" << "@/x.bin --time-span -1 1" << 0;
        QTest::newRow("capture") << "save-data" << "@/x.cvdat --time-span 1e300 -1e300 --chn-select 0 2" << 0;
        QTest::newRow("further times ignored") << "save-data" << "@/x.csv --time-span 0 1 2 3" << 0;
        QTest::newRow("times without values") << "save-data" << "@/x.csv --time-span" << 0;
        QTest::newRow("channels without values") << "save-data" << "@/x.csv --chn-select" << 0;
        QTest::newRow("both without values") << "export-data" << "@/x.cvdat --time-span --chn-select" << 0;
    }
    void saveArguments()
    {
        QFETCH(QString, command);
        QFETCH(QString, args);
        QFETCH(int, error);
        // A relative path that got through would land in the working folder:
        // it is the test's folder here.
        const QString cwd = QDir::currentPath();
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        fillShown(devUsing, 1000, 1000, 100, 10);
        SocketAPI api;
        const QString reply = api.execute((command + ' ' + QString(args).replace('@', dir.path())).toLatin1());
        QDir::setCurrent(cwd);
        QCOMPARE(reply, QString(error ? "NAK" : "ACK"));
        QCOMPARE(api.lastError, error);
        // Nothing is left behind by a refused command.
        const QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files.size(), error ? 0 : 1);
    }

    void saveWithoutData()
    {
        SocketAPI api;
        devUsing->shownData()->clearData();
        QCOMPARE(api.execute("export-data x.csv"), QString("NAK"));
        QCOMPARE(api.lastError, int(SocketAPI::ErrNoData));
    }

    // Seconds relative to the trigger, clamped to the capture; the export
    // range holds both ends.
    void saveRange_data()
    {
        QTest::addColumn<QString>("span");
        QTest::addColumn<long long>("count");
        QTest::addColumn<long long>("trigger");
        QTest::newRow("whole") << "" << 1000LL << 100LL;
        QTest::newRow("option without times") << "--time-span" << 1000LL << 100LL;
        QTest::newRow("from the trigger") << "--time-span 0" << 900LL << 0LL;
        QTest::newRow("around the trigger") << "--time-span -0.05 0.1" << 151LL << 50LL;
        QTest::newRow("reversed") << "--time-span 0.1 -0.05" << 151LL << 50LL;
        QTest::newRow("far outside") << "--time-span -1e300 1e300" << 1000LL << 100LL;
        QTest::newRow("inside a sample") << "--time-span 0.0004" << 900LL << 0LL;
    }
    void saveRange()
    {
        QFETCH(QString, span);
        QFETCH(long long, count);
        QFETCH(long long, trigger);
        fillShown(devUsing, 1000, 1000, 100, 10);
        SocketAPI api;
        const QString path = tmp.filePath("range.cvdat");
        QCOMPARE(api.execute(("save-data \"" + path + "\" " + span).toLatin1()), QString("ACK"));
        QByteArray header;
        QVERIFY(Config::extractConfig(path, header));
        // The whole settings document heads the capture.
        QVERIFY(header.contains("<global>"));
        SmpData back(devUsing->chnNum());
        DataFile job(&back);
        QVERIFY(job.loadData(path, header.size(), true));
        QCOMPARE(back.smpDepth, count);
        QCOMPARE(back.trgPosition, trigger);
    }

    // The channels of a capture file: those chosen, or the enabled ones
    // when none are named.
    void saveChannels_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QVector<int>>("saved");
        QTest::newRow("enabled") << "" << QVector<int>{0, 2};
        QTest::newRow("option without channels") << "--chn-select" << QVector<int>{0, 2};
        QTest::newRow("chosen") << "--chn-select 1 3" << QVector<int>{1, 3};
        QTest::newRow("times after the channels") << "--chn-select 3 --time-span" << QVector<int>{3};
    }
    void saveChannels()
    {
        QFETCH(QString, options);
        QFETCH(QVector<int>, saved);
        fillShown(devUsing, 1000, 1000, 100, 10);
        QVector<bool> ena(devUsing->chnNum(), false);
        ena[0] = ena[2] = true;
        QVERIFY(devUsing->setDChnEna(ena));
        SocketAPI api;
        const QString path = tmp.filePath("channels.cvdat");
        QCOMPARE(api.execute(("save-data " + path + ' ' + options).toLatin1()), QString("ACK"));
        QByteArray header;
        QVERIFY(Config::extractConfig(path, header));
        SmpData back(devUsing->chnNum());
        DataFile job(&back);
        QVERIFY(job.loadData(path, header.size(), true));
        QVector<int> got;
        for (int c = 0; c < back.chnNum; ++c)
            if (back.hasValidData(c))
                got << c;
        QCOMPARE(got, saved);
    }

    // A disk too full for the settings document: error 5, no data part,
    // and the file that stood there stays; the same when the data part
    // does not fit.
    void saveFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("limit");
        QTest::newRow("settings") << "x.cvdat" << 200;
        QTest::newRow("data part") << "x.cvdat" << 100000;
        QTest::newRow("csv") << "x.csv" << 200;
        QTest::newRow("binary") << "x.bin" << 200;
    }
    void saveFails()
    {
        QFETCH(QString, name);
        QFETCH(int, limit);
        fillShown(devUsing, 400000, 1000, 100, 10);
        SocketAPI api;
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(TestEnv::writeFile(path, "old"));
        QString reply;
        {
            FileSizeLimit full{rlim_t(limit)};
            reply = api.execute(("save-data " + path).toLatin1());
        }
        QCOMPARE(reply, QString("NAK"));
        QCOMPARE(api.lastError, int(SocketAPI::ErrSaveFailed));
        QCOMPARE(TestEnv::readFile(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    // A disk too small for the data: error 5 before anything is written, for
    // the capture file, the CSV and the binary export.
    void saveRefusedWhenFull_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("capture") << "x.cvdat";
        QTest::newRow("csv") << "x.csv";
        QTest::newRow("text") << "x.txt";
        QTest::newRow("binary") << "x.bin";
    }
    void saveRefusedWhenFull()
    {
        QFETCH(QString, name);
        fillShown(devUsing, 400000, 1000, 100, 10);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(TestEnv::writeFile(path, "old"));
        QString asked;
        DataFile::freeSpace = [&](const QString& folder) {
            asked = folder;
            return qint64(100000);   // room for the settings document only
        };
        SocketAPI api;
        const QString reply = api.execute(("save-data " + path).toLatin1());
        DataFile::freeSpace = nullptr;
        QCOMPARE(reply, QString("NAK"));
        QCOMPARE(api.lastError, int(SocketAPI::ErrSaveFailed));
        QCOMPARE(asked, QDir(dir.path()).absolutePath());
        QCOMPARE(TestEnv::readFile(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    // Every name the file system takes: 255 bytes (of Latin-1, the text of
    // a command), with either command and each kind of file; the file that
    // stood there is replaced and no part file is left.
    void longestNames_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("suffix");
        for (const char* command : {"save-data", "export-data"})
            for (const char* suffix : {"cvdat", "csv", "txt", "bin"})
                QTest::newRow(qPrintable(QString("%1 %2").arg(command, suffix))) << command << suffix;
    }
    void longestNames()
    {
        QFETCH(QString, command);
        QFETCH(QString, suffix);
        fillShown(devUsing, 1000, 1000, 100, 10);
        QTemporaryDir dir;
        const QString name = TestEnv::longestName(suffix, true);
        const QString path = dir.filePath(name);
        QVERIFY(TestEnv::writeFile(path, "old"));
        SocketAPI api;
        QCOMPARE(api.execute((command + " \"" + path + "\"").toLatin1()), QString("ACK"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        if (suffix != "cvdat") {
            QVERIFY(TestEnv::readFile(path).size() > 3);
            return;
        }
        QByteArray header;
        QVERIFY(Config::extractConfig(path, header));
        SmpData back(devUsing->chnNum());
        QVERIFY(DataFile(&back).loadData(path, header.size(), true));
        QCOMPARE(back.smpDepth, 1000LL);
    }

    // Random input never crashes or hangs: random bytes, and random
    // sequences of the commands' own words.
    void randomInput()
    {
        fillShown(devUsing, 1000, 1000, 100, 10);
        const QString cwd = QDir::currentPath();
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        SocketAPI api;
        std::mt19937 rng(14);
        const char* words[] = {"stop", "set-sample-rate", "get-sample-rate", "get-supported-sample-rate",
                               "set-sample-depth", "set-sample-time", "get-actual-sample-depth",
                               "get-actual-sample-time", "set-threshold-voltage", "set-trigger", "save-data",
                               "export-data", "get-last-error", "--time-span", "--chn-select", "--pos-edge",
                               "--neg-edge", "--low-level", "--high-level", "--reset", "0", "1", "15", "16", "31",
                               "-1", "nan", "inf", "1e308", "-0.001", "\"", "x.csv", "y.bin", "z.txt", "\"a b.csv\"",
                               "1000000", "99999999999999999999", ""};
        const int nWords = int(sizeof(words) / sizeof(words[0]));
        for (int i = 0; i < 3000; ++i) {
            QByteArray in;
            if (i % 3 == 0) {
                const int n = int(rng() % 64);
                for (int k = 0; k < n; ++k)
                    in.append(char(rng() % 256));
            } else {
                const int n = 1 + int(rng() % 8);
                for (int k = 0; k < n; ++k)
                    in += QByteArray(words[rng() % nWords]) + (rng() % 5 ? " " : "  ");
            }
            // No capture is started from here.
            if (in.startsWith("start"))
                continue;
            const QString r = api.execute(in);
            QVERIFY(r == "NAK" || r.startsWith("ACK"));
            QVERIFY(api.lastError >= 0 && api.lastError <= 10);
        }
        QDir::setCurrent(cwd);
        QVERIFY(!devUsing->smpRunning);
    }
};

QTEST_MAIN(TestSocketApi)
#include "test_socketapi.moc"

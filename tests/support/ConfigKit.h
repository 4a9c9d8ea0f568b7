#ifndef CONFIGKIT_H
#define CONFIGKIT_H
// The fixture of the settings-store tests: a temporary directory, a filled
// current document, file helpers, and a run under the C locale with an 8-bit
// locale codec.

#include <QtTest>

#include <QTextCodec>

#include "config/Config.h"
#include "support/TestEnv.h"

class ConfigTestBase : public QObject
{
protected:
    QString home;
    QTemporaryDir tmp;

    QString tmpPath(const QString& name) const { return tmp.filePath(name); }

    static QByteArray readAll(const QString& path) { return TestEnv::readFile(path); }
    static bool writeAll(const QString& path, const QByteArray& bytes) { return TestEnv::writeFile(path, bytes); }

    static QStringList globalTags(const QDomDocument& d)
    {
        QStringList tags;
        for (QDomElement e = d.documentElement().firstChildElement("global").firstChildElement(); !e.isNull();
             e = e.nextSiblingElement())
            tags << e.tagName();
        return tags;
    }

    // A settings document whose first channel name is 30 MB long.
    static QByteArray hugeNameDocument()
    {
        return "<settings><global><devModel>0</devModel><chnShowName0>" + QByteArray(30 * 1024 * 1024, 'x')
               + "</chnShowName0></global><devices/><analyzers/></settings>\n";
    }

    // A current document with settings worth merging and reducing.
    void fillDocument()
    {
        Config::setDefaultDocument();
        Config::saveGlobalParam("devModel", "101");
        Config::saveGlobalParam("windowPosition", "1,2,3,4");
        Config::saveGlobalParam("userLang", "zh-CN");
        Config::saveGlobalParam("lastPath", "/tmp");
        Config::saveGlobalParam("chnShowName0", "clk");
        Config::saveGlobalParam("chnShowName5", "data");
        Config::saveGlobalParam("chnShowIndex", "1,0");
        Config::saveGlobalParam("oscMeasureChn0", "1");
        Config::saveGlobalParam("oscMeasureChn3", "2");
        Config::saveGlobalParam("analyzerAlias", "old");
        Config::saveGlobalParam("colorWaveform", "1");
        Config::saveGlobalParam("updateServer", "https://updates.example");
        Config::saveDeviceParam("Rowan", "smpFrequ", "1000");
        Config::saveDeviceParam("Rowan", "trgPosition", "20");
        Config::saveDeviceParam("Teak", "smpFrequ", "5000");
        Config::clearAnalyzerParam();
        Config::saveAnalyzerParam(0, {"libUART.so", "p0", "f0"});
    }

    // User data in a temporary directory, the configuration read from there.
    void startConfig()
    {
        home = TestEnv::isolateUserData();
        QVERIFY(tmp.isValid());
        Config::init();
        QVERIFY(Config::cfgFile.endsWith("/brenmar/cv.config"));
        QVERIFY(QFileInfo(QFileInfo(Config::cfgFile).path()).isDir());
        Config::fileDialog = nullptr;
    }
};

// Every test here runs under the C locale with an 8-bit locale codec (Qt
// itself picks UTF-8 for "C"; a Latin-1 locale is what breaks a writer that
// takes the encoding from the stream): the configuration file must not depend
// on either.
template <class Test>
int runUnderCLocale(int argc, char** argv)
{
    qputenv("LC_ALL", "C");
    qunsetenv("LANG");
    QApplication app(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    Test t;
    return QTest::qExec(&t, argc, argv);
}

#endif

#include <QtTest>

#include "config/Config.h"
#include "support/TestEnv.h"

class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void configLoads()
    {
        TestEnv::isolateUserData();
        Config::init();
        QCOMPARE(Config::readGlobalParam("version"), QString("3.6.3"));
    }
};

QTEST_MAIN(TestSmoke)
#include "test_smoke.moc"

// The part file every writer writes beside its target: its short name of its
// own, a name someone else holds never taken, the target replaced only by
// the commit (through a link, keeping its permissions), and the targets no
// part is made for.
#include <QtTest>

#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>

#include "config/PartFile.h"
#include "support/TestEnv.h"

class TestPartFile : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    QString path(const QString& name) const { return tmp.filePath(name); }
    // Every entry of the folder, hidden ones and links too.
    QStringList entries() const
    {
        return QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                          QDir::Name);
    }

private slots:
    void init()
    {
        QVERIFY(QDir(tmp.path()).removeRecursively() && QDir().mkpath(tmp.path()));
    }

    void partName_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("attempt");
        QTest::addColumn<QString>("part");
        QTest::newRow("short") << "x.csv" << 0 << ".x.csv.part";
        QTest::newRow("short, third try") << "x.csv" << 2 << ".x.csv.2.part";
        QTest::newRow("hidden target") << ".x" << 0 << "..x.part";
        QTest::newRow("255 bytes") << QString(251, 'a') + ".bin" << 0 << "." + QString(40, 'a') + ".part";
        // 40 bytes would end inside the twentieth two-byte character.
        QTest::newRow("255 bytes, cut before a character")
            << TestEnv::longestName("cvdat") << 1 << "." + QString("x") + QString(19, QChar(0xE9)) + ".1.part";
    }
    void partName()
    {
        QFETCH(QString, target);
        QFETCH(int, attempt);
        QFETCH(QString, part);
        QCOMPARE(PartFile::partName(target, attempt), part);
        QVERIFY(QFile::encodeName(part).size() <= 1 + PartFile::NameBytes + 8);
    }

    // The part is made beside the target whatever the length of its name,
    // and replaces the target at the commit only.
    void commitReplacesTarget_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("short") << "t.csv";
        QTest::newRow("255 bytes") << TestEnv::longestName("csv");
    }
    void commitReplacesTarget()
    {
        QFETCH(QString, name);
        const QString target = path(name);
        QVERIFY(TestEnv::writeFile(target, "old"));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        {
            PartFile p(target);
            QVERIFY(p.isValid());
            QCOMPARE(QFileInfo(p.path()).absolutePath(), QFileInfo(target).absolutePath());
            QVERIFY(TestEnv::writeFile(p.path(), "new"));
            QCOMPARE(TestEnv::readFile(target), QByteArray("old"));
            QVERIFY(p.commit());
            QVERIFY(!p.commit());   // once
        }
        QCOMPARE(TestEnv::readFile(target), QByteArray("new"));
        // Owner, group and others (not the "user" bits, which follow the reader).
        const QFile::Permissions mode(0x7077);
        QCOMPARE(QFile::permissions(target) & mode, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QCOMPARE(entries(), QStringList{name});
    }

    void uncommittedPartGoes()
    {
        QVERIFY(TestEnv::writeFile(path("t.bin"), "old"));
        {
            PartFile p(path("t.bin"));
            QVERIFY(TestEnv::writeFile(p.path(), "half"));
        }
        QCOMPARE(TestEnv::readFile(path("t.bin")), QByteArray("old"));
        QCOMPARE(entries(), QStringList{"t.bin"});
    }

    // A file or a link someone else keeps under the part name is left alone:
    // the next name is taken.
    void neverTakesAnExistingName()
    {
        QVERIFY(TestEnv::writeFile(path(".u.csv.part"), "someone else's"));
        QVERIFY(QFile::link(path("elsewhere"), path(".u.csv.1.part")));
        {
            PartFile p(path("u.csv"));
            QVERIFY(p.isValid());
            QCOMPARE(p.path(), path(".u.csv.2.part"));
        }
        QCOMPARE(TestEnv::readFile(path(".u.csv.part")), QByteArray("someone else's"));
        QVERIFY(QFileInfo(path(".u.csv.1.part")).isSymLink());
        QCOMPARE(entries(), (QStringList{".u.csv.1.part", ".u.csv.part"}));
    }

    // A target that is a link is written through it: the link stays.
    void linkedTarget()
    {
        QVERIFY(QDir(tmp.path()).mkdir("real"));
        QVERIFY(TestEnv::writeFile(path("real/s.cvset"), "old"));
        QVERIFY(QFile::link(path("real/s.cvset"), path("s.cvset")));
        {
            PartFile p(path("s.cvset"));
            QVERIFY(p.isValid());
            QVERIFY(TestEnv::writeFile(p.path(), "new"));
            QVERIFY(p.commit());
        }
        QVERIFY(QFileInfo(path("s.cvset")).isSymLink());
        QCOMPARE(TestEnv::readFile(path("real/s.cvset")), QByteArray("new"));
        QCOMPARE(QDir(path("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"s.cvset"});
    }

    // error() tells why: for a file the system would not let us write, the
    // system's own reason.
    void refusedTargets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error");
        QTest::newRow("folder") << "folder" << EISDIR;
        QTest::newRow("pipe") << "pipe" << EINVAL;
        QTest::newRow("read-only file") << "read-only" << EACCES;
        QTest::newRow("missing folder") << "missing" << ENOENT;
        QTest::newRow("loop of links") << "loop" << ELOOP;
    }
    void refusedTargets()
    {
        QFETCH(QString, kind);
        QFETCH(int, error);
        QString target = path("x.cvdat");
        if (kind == "folder")
            QVERIFY(QDir(tmp.path()).mkdir("x.cvdat"));
        else if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        else if (kind == "read-only")
            QVERIFY(TestEnv::writeFile(target, "kept") && QFile::setPermissions(target, QFile::ReadOwner));
        else if (kind == "loop")
            QVERIFY(QFile::link(path("y.cvdat"), target) && QFile::link(target, path("y.cvdat")));
        else
            target = path("no/such/x.cvdat");
        if (kind == "read-only" && QFileInfo(target).isWritable())
            QSKIP("running with the rights to write any file");
        const QStringList before = entries();
        {
            PartFile p(target);
            QVERIFY(!p.isValid());
            QVERIFY(p.path().isEmpty());
            QCOMPARE(p.error(), error);
            QVERIFY(!p.commit());
        }
        QCOMPARE(entries(), before);
    }
};

QTEST_MAIN(TestPartFile)
#include "test_partfile.moc"

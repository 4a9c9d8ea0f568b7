#include "support/ProgramKit.h"

#include <QFile>

#include <csignal>
#include <cstring>

#include "config/Types.h"
#include "data/DataFile.h"
#include "support/TestEnv.h"

namespace ProgramKit {

bool writeCapture(const QString& path, long long edges, const QByteArray& analyzers)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<settings><global><devModel>"
                       + QByteArray::number(int(DevModelDemo))
                       + "</devModel></global><devices/><analyzers>" + analyzers + "</analyzers></settings>\n";
    const long long depth = edges + 1;
    unsigned char head[40] = {};
    std::memcpy(head, "cvdat", 6);
    DataFile::int64ToByte5(depth, head + 8);
    DataFile::int64ToByte5(100000000, head + 16);
    head[32] = 16;
    unsigned char chn[16] = {};
    std::memcpy(chn, "##D", 4);
    DataFile::int64ToByte5(edges + 1, chn + 8);   // the edges and the closing entry
    bytes.append(reinterpret_cast<const char*>(head), 40).append(reinterpret_cast<const char*>(chn), 16);
    unsigned char e[5];
    for (long long i = 1; i <= depth; ++i) {
        DataFile::int64ToByte5(i, e);
        bytes.append(reinterpret_cast<const char*>(e), 5);
        if (bytes.size() >= (1 << 20) || i == depth) {
            if (f.write(bytes) != bytes.size())
                return false;
            bytes.clear();
        }
    }
    return true;
}

bool signalIn(qint64 pid, const char* field, int sig)
{
    const quint64 mask = TestEnv::processStatus(QString::number(pid), field).toULongLong(nullptr, 16);
    return (mask >> (sig - 1)) & 1;
}

bool closeHandlersIn(qint64 pid, int except)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        if (sig != except && !signalIn(pid, "SigCgt", sig))
            return false;
    return true;
}

} // namespace ProgramKit

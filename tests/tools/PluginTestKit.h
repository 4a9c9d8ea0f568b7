#ifndef PLUGINTESTKIT_H
#define PLUGINTESTKIT_H
// Small helpers for the plug-in tests: signals built from level runs, the
// simulated signal of a plug-in as a capture, result texts, decode-capture
// runs, and CSV files read back by an independent reader (Python's csv).

#include <QtTest>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "AnalyzerSettingInterface.h"
#include "AnalyzerSettings.h"
#include "CaptureTables.h"
#include "PluginRunner.h"
#include "SimulationChannelDescriptor.h"

namespace plugintest {

inline QString binPath(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("CORVENA_BIN")) + "/" + name;
}

// A signal as (level, samples) runs from sample 0; a run that keeps the
// level of the previous one lengthens it.
using Runs = std::vector<std::pair<int, int64_t>>;

// Channel chn of the capture from runs; the capture ends with the last run.
inline bool setRuns(CaptureTables& capture, int chn, const Runs& runs)
{
    if (runs.empty())
        return false;
    std::vector<int64_t> edges;
    int level = runs.front().first;
    int64_t pos = 0;
    for (const auto& r : runs) {
        if (r.first != level) {
            edges.push_back(pos);
            level = r.first;
        }
        pos += r.second;
    }
    return capture.setChannel(chn, runs.front().first, edges, pos);
}

// The descriptor's signal (run lengths) as channel chn; false when its edges
// are not strictly increasing (a run of no length) or the capture refuses it.
inline bool simulationToCapture(SimulationChannelDescriptor* d, CaptureTables& capture, int chn = 0)
{
    std::vector<int64_t> edges;
    int64_t pos = 0;
    for (S32 run : *d->GetData()) {
        if (run <= 0)
            return false;
        pos += run;
        edges.push_back(pos);
    }
    // A signal that ends on a transition holds its new level one sample.
    int64_t depth = int64_t(d->GetCurrentSampleNumber());
    if (!edges.empty() && edges.back() >= depth)
        depth = edges.back() + 1;
    return capture.setChannel(chn, d->GetInitialBitState() == BIT_HIGH, edges, depth);
}

// Every channel setting on channel 0, then the number lists of the dialog
// in order, then the settings taken over.
inline void configure(Analyzer* a, const std::vector<int>& values = {})
{
    AnalyzerSettings* s = a->GetAnalyzerSettings();
    setAllChannels(s, 0);
    std::string error;
    for (size_t k = 0; k < values.size(); ++k)
        QVERIFY2(applySetting(s, U32(k + 1), std::to_string(values[k]), &error), error.c_str());
    QVERIFY(s->SetSettingsFromInterfaces());
}

inline AnalyzerResults* resultsOf(Analyzer* a)
{
    AnalyzerResults* r = nullptr;
    return a && a->GetAnalyzerResults(&r) ? r : nullptr;
}

// Captures that outlive the decodes of a test.
class Captures {
public:
    CaptureTables& add(int64_t rate)
    {
        mList.emplace_back(new CaptureTables(1, rate));
        return *mList.back();
    }
    CaptureTables& last() { return *mList.back(); }
    // Channel 0 of a new capture from the runs, decoded by the analyzer; null
    // when the runs make no capture.
    AnalyzerResults* decode(Analyzer* a, int64_t rate, const Runs& runs, AnalyzerRunEnd* end = nullptr)
    {
        if (!setRuns(add(rate), 0, runs))
            return nullptr;
        const AnalyzerRunEnd e = runDecode(a, last().data());
        if (end)
            *end = e;
        return resultsOf(a);
    }

private:
    std::vector<std::unique_ptr<CaptureTables>> mList;
};

inline QStringList resultStrings(AnalyzerResults* r)
{
    const char* const* strings = nullptr;
    U32 count = 0;
    r->GetResultStrings(&strings, &count);
    QStringList out;
    for (U32 i = 0; i < count; ++i)
        out << QString::fromUtf8(strings[i]);
    return out;
}

// Bubble texts and the tabular text of one frame.
inline QStringList bubbles(AnalyzerResults* r, U64 frame, DisplayBase base)
{
    Channel ch(0, 0);
    r->GenerateBubbleText(frame, ch, base);
    return resultStrings(r);
}

inline QString tabular(AnalyzerResults* r, U64 frame, DisplayBase base)
{
    r->GenerateFrameTabularText(frame, base);
    return QString::fromUtf8(r->GetTabularTextString());
}

inline AnalyzerSettingInterfaceNumberList* numberList(AnalyzerSettings* s, U32 index)
{
    AnalyzerSettingInterface* itf = s->GetSettingsInterface(index);
    return itf && itf->GetType() == INTERFACE_NUMBER_LIST ? static_cast<AnalyzerSettingInterfaceNumberList*>(itf)
                                                          : nullptr;
}

// A number list as "title|tooltip|value:text,value:text|current".
inline QString describeList(AnalyzerSettingInterfaceNumberList* list)
{
    if (!list)
        return "<no number list>";
    QStringList entries;
    for (U32 k = 0; k < list->GetListboxNumbersCount(); ++k)
        entries << QString("%1:%2").arg(list->GetListboxNumber(k)).arg(QString::fromUtf8(list->GetListboxString(k)));
    return QString("%1|%2|%3|%4")
        .arg(QString::fromUtf8(list->GetTitle()), QString::fromUtf8(list->GetToolTip()), entries.join(','))
        .arg(list->GetNumber());
}

inline QString readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString("<unreadable>");
    return QString::fromUtf8(f.readAll());
}

struct ToolRun {
    int status;
    QString out;
    QString err;
};

inline ToolRun runProcess(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {-1, QString(), "did not finish"};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

inline ToolRun runTool(const QStringList& args)
{
    return runProcess(binPath("decode-capture"), args);
}

// decode-capture's frame lines as (start, end, type, flags, data1, data2).
inline std::vector<std::vector<unsigned long long>> toolFrames(const QString& out)
{
    std::vector<std::vector<unsigned long long>> frames;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        std::vector<unsigned long long> f;
        for (const QString& v : line.split(' '))
            f.push_back(v.toULongLong());
        frames.push_back(f);
    }
    return frames;
}

// The rows of a CSV file as Python's csv module reads them; a row of one
// field "<error>" and the message when the reader failed.
inline QList<QStringList> csvRows(const QString& path)
{
    // The system's interpreter when there is one: version-manager shims
    // start it far more slowly.
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const ToolRun run = runProcess(python, {"-c",
                                               "import csv, json, sys\n"
                                               "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                               "    print(json.dumps(list(csv.reader(f, strict=True))))\n",
                                               path});
    QList<QStringList> rows;
    if (run.status != 0) {
        rows.append(QStringList{"<error>", run.err});
        return rows;
    }
    for (const QJsonValue& row : QJsonDocument::fromJson(run.out.toUtf8()).array()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray())
            fields << field.toString();
        rows.append(fields);
    }
    return rows;
}

} // namespace plugintest

#endif

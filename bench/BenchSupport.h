#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H
// What several benchmarks share: a fast reproducible random source and the
// start of a benchmark program that draws widgets off screen.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QStandardPaths>

#include <cstdint>

#include "config/Config.h"

struct XorShift {
    uint64_t s;
    uint64_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};

// Runs the registered benchmarks inside an off-screen QApplication with the
// program's settings and fonts at 96 dpi, so widget sizes match from machine
// to machine.
inline int runWidgetBenchmarks(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);   // never the user's configuration
    QApplication app(argc, argv);
    Config::init();
    Config::dpi = 96;
    Config::createFont();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#endif

#ifndef SIMUANALYZERSOURCE_H
#define SIMUANALYZERSOURCE_H
// Feeds the demonstration device with the traffic that the analyzers in use
// simulate: one set of analyzer copies per capture cycle, returned to their
// plug-ins when the cycle ends.

#include <memory>

class SimuSource;

// Factory for SmpSimulate::setSourceFactory.
std::unique_ptr<SimuSource> makeAnalyzerSimuSource(long long rate);

#endif

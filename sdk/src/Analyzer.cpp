// Analyzer library entry; the classes land with the decode step.
extern "C" int corvenaAnalyzerLibraryVersion() { return 1; }

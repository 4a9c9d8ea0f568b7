#ifndef ANALYZERMANAGERPRIV_H
#define ANALYZERMANAGERPRIV_H
// What the analyzer manager's sources share: the scope that brackets every
// change to the analyzers in use or to their results.

#include "decode/AnalyzerManager.h"

// Nested change scopes: only the outermost one hides, ends the export and
// runs the handshake, and publishes when it ends.
class ChangeScope
{
public:
    // only: the one analyzer whose results change (null: any may change).
    explicit ChangeScope(AnalyzerManager* m, Analyzer* only = nullptr) : mgr(m) { mgr->beginChange(only); }
    ~ChangeScope() { mgr->endChange(); }

private:
    AnalyzerManager* mgr;
};

#endif

#include "view/GenAccess.h"

#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

#include "view/WaveDataGen.h"

namespace GenAccess {

double scale(const WaveDataGen* g)
{
    return g ? g->scale : 0;
}

double start(const WaveDataGen* g)
{
    return g ? g->start : 0;
}

int records(WaveDataGen* g, int chn, WaveLine** out)
{
    *out = nullptr;
    return g ? g->getData(chn, out) : 0;
}

long long shownSampleCount()
{
    if (!devUsing)
        return 0;
    const SmpData* d = devUsing->shownData();
    return d ? d->smpDepth : 0;
}

} // namespace GenAccess

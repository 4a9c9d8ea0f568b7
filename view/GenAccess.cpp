#include "view/GenAccess.h"

#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"

#if __has_include("view/WaveDataGen.h")
#include "view/WaveDataGen.h"
#define GENACCESS_HAVE_GEN 1
#endif

namespace GenAccess {

#ifdef GENACCESS_HAVE_GEN
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
#else
double scale(const WaveDataGen*)
{
    return 0;
}

double start(const WaveDataGen*)
{
    return 0;
}

int records(WaveDataGen*, int, WaveLine** out)
{
    *out = nullptr;
    return 0;
}
#endif

long long shownSampleCount()
{
    if (!devUsing)
        return 0;
    const SmpData* d = devUsing->shownData();
    return d ? d->smpDepth : 0;
}

} // namespace GenAccess

#include "device/DevGlobals.h"

DevSupport* devSupport = nullptr;
DevBase* devUsing = nullptr;
DevInit* devInit = nullptr;

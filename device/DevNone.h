#ifndef DEVNONE_H
#define DEVNONE_H
// The demonstration device: no hardware, captures are simulated.

#include "device/DevBase.h"

class DevNone : public DevBase
{
    Q_OBJECT
public:
    explicit DevNone(QObject* parent = nullptr);
    // Stops the capture first (see ~DevBase).
    ~DevNone() override { smpStopAndWait(); }
    int devConnect(unsigned char* info) override;
    bool supportDualMode() const override { return true; }
    void setSmpMode(int mode) override;
};

#endif

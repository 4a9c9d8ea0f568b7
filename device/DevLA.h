#ifndef DEVLA_H
#define DEVLA_H
// The four current analyzer models; each stops its capture in its own
// destructor (see ~DevBase).

#include "device/DevBase.h"

class DevRowan : public DevBase
{
    Q_OBJECT
public:
    explicit DevRowan(QObject* parent = nullptr);
    ~DevRowan() override { smpStopAndWait(); }
    int devConnect(unsigned char* info) override;
    bool supportDualMode() const override { return true; }
    void setSmpMode(int mode) override;
};

class DevSpruce : public DevBase
{
    Q_OBJECT
public:
    explicit DevSpruce(QObject* parent = nullptr);
    ~DevSpruce() override { smpStopAndWait(); }
    int devConnect(unsigned char* info) override;
    bool supportDualMode() const override { return true; }
    void setSmpMode(int mode) override;
};

class DevTeak : public DevBase
{
    Q_OBJECT
public:
    explicit DevTeak(QObject* parent = nullptr);
    ~DevTeak() override { smpStopAndWait(); }
    int devConnect(unsigned char* info) override;
    bool supportDualMode() const override { return true; }
    void setSmpMode(int mode) override;
};

// Stream mode only.
class DevWillow : public DevBase
{
    Q_OBJECT
public:
    explicit DevWillow(QObject* parent = nullptr);
    ~DevWillow() override { smpStopAndWait(); }
    int devConnect(unsigned char* info) override;
    bool supportDualMode() const override { return false; }
    void setSmpMode(int mode) override;
};

#endif

#include "support/PanelKit.h"

#include <QtTest>

#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "support/RecordingTransport.h"
#include "toolbar/PanelSupport.h"

ConnectedModel::ConnectedModel(int model)
{
    usb = RecordingTransport::install();
    dev = DevBase::createDevice(model);
    devUsing = dev;
    // Run status "configured, memory ready".
    usb->setReadData(0x20, 0, QByteArray::fromHex("c185"));
    if (dev->devConnect(nullptr) != 0 || !dev->connected)
        qWarning("ConnectedModel: the device did not connect");
    usb->clear();
}

ConnectedModel::~ConnectedModel()
{
    if (devUsing == dev)
        devUsing = nullptr;
    delete dev;
    RecordingTransport::uninstall(&usb);
}

QByteArray ConnectedModel::vthBytes(double volts) const
{
    uint16_t value = 0, code = 0;
    DevBase::encodeVth(dev->vthRef, volts, &value, &code);
    const char b[4] = {char(value), char(value >> 8), char(code), char(code >> 8)};
    return QByteArray(b, 4);
}

QByteArray ConnectedModel::pwmBytes(double hz, double duty) const
{
    uint32_t period = 0, high = 0;
    DevBase::encodePWM(dev->baseClock, hz, duty, &period, &high);
    unsigned char b[8];
    DevBase::S64ToBytes(period, b, 4);
    DevBase::S64ToBytes(high, b + 4, 4);
    return QByteArray(reinterpret_cast<const char*>(b), 8);
}

QStringList ConnectedModel::writes() const
{
    QStringList out;
    for (const auto& w : usb->regWrites())
        out << QString::number(w.first) + ":" + QString::fromLatin1(w.second.toHex());
    return out;
}

WarningLog::WarningLog()
{
    PanelSupport::warningBox = [this](QWidget*, const QString& title, const QString& text) {
        titles << title;
        texts << text;
    };
}

WarningLog::~WarningLog()
{
    PanelSupport::warningBox = nullptr;
}

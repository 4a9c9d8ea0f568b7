#ifndef DEVMS_H
#define DEVMS_H
// The mixed-signal model Poplar: 16 logic and 2 analog channels, the only
// device that works as an oscilloscope (work mode 1, buffer sampling into
// its converter memory). Keeps the analog calibration in a record stored
// twice in its EEPROM. No detection path creates it; the demonstration
// switch does (app/Startup).

#include <QByteArray>

#include "device/DevBase.h"

class DevPoplar : public DevBase
{
    Q_OBJECT
public:
    explicit DevPoplar(QObject* parent = nullptr);
    ~DevPoplar() override { smpStopAndWait(); }

    int devConnect(unsigned char* info) override;
    bool supportDualMode() const override { return false; }
    void setSmpMode(int mode) override;
    void setWorkMode(int mode) override;
    // Writes both copies of the record; true when both writes succeeded.
    bool saveCalibParam() override;
    // Every calibration value to its default.
    void resetCalibParam();

    // Calibration record: zeros (8 bits) and slopes (16 bits) of the two
    // channels, the converters' dual and single zeros (8 bits) and slopes
    // (16 bits), the gains per V/div of both channels (16 bits), then the
    // check word; little-endian, signed. Values outside a field saturate.
    static constexpr int kEepromCopy1 = 0x40;
    static constexpr int kEepromCopy2 = 0xA0;
    int calibRecordSize() const { return 4 * aVoltDivList.size() + 20; }
    QByteArray packCalib() const;
    // True when rec is a whole record whose check word fits.
    bool calibRecordValid(const QByteArray& rec) const;
    // Takes the values of a valid record.
    void unpackCalib(const QByteArray& rec);

    static constexpr long long kBufMaxRate = 200000000;      // halved at connect
    static constexpr long long kStreamMaxRate = 100000000;
    static constexpr int kMemory = 40960;                      // converter words

private:
    // Reads the first valid copy; false (defaults kept) when neither is.
    bool readCalib();
};

#endif

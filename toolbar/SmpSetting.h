#ifndef SMPSETTING_H
#define SMPSETTING_H
// The sample setting box of the top bar: sample depth and sample rate of the
// current device, chosen from the device's lists.

#include <QMetaObject>
#include <QString>
#include <QWidget>

#include <functional>

class DevBase;
class QComboBox;
class QGridLayout;
class QLabel;
class QListView;

class SmpSetting : public QWidget
{
    Q_OBJECT
public:
    explicit SmpSetting(QWidget* parent = nullptr);

    void init();
    void devSmpModeChanged();
    QString getSmpTime() const;

public slots:
    void slotSmpFrequClicked(int index);
    void slotSmpDepthClicked(int index);
    void slotFreqIndexChanged();

private:
    // Runs `change` on the device with a running capture stopped around it,
    // and restarts that capture exactly once afterwards.
    void changeWithRestart(const std::function<void(DevBase*)>& change);

    QLabel* lblDepth;
    QComboBox* cbxDepth;
    QLabel* lblTime;
    QComboBox* cbxFrequ;
    QListView* lvDepth;
    QListView* lvFrequ;
    QGridLayout* layout;
    QMetaObject::Connection frequToLowerConn;
};

#endif

#ifndef PWMSETTING_H
#define PWMSETTING_H
// The two PWM outputs of the device: the tool-bar group with an on/off switch
// per output and the "PWM Settings" dialog that edits enable, frequency and
// duty cycle. The device keeps the values; these only show and change them.

#include <QDialog>
#include <QWidget>

class DevBase;
class MySwitch;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// The controls of one output, as both the PWM dialog and the device options
// dialog show them: the check box over frequency, unit and duty.
class PWMOutputBlock : public QWidget
{
    Q_OBJECT
public:
    PWMOutputBlock(int output, QWidget* parent = nullptr);

    // Ticks the box and shows the stored frequency in the largest unit that
    // keeps it at 1 or above, and the duty; then follows the box.
    void fill(const DevBase* dev);
    // Enables the six controls as the box says.
    void followCheck();
    // The entry in Hz and percent (a text that is no number reads 0); false
    // when the output is ticked and the entry is out of range.
    bool read(double* hz, double* duty) const;
    bool ticked() const;

    // Checks the outputs in order and stops at the first refusal (warning
    // box, nothing written); otherwise switches both outputs off, writes the
    // values of each ticked output and switches them on as ticked.
    static bool apply(PWMOutputBlock* const blocks[2], QWidget* warningParent);

    QCheckBox* check;
    QLineEdit* frequ;
    QComboBox* unit;
    QLineEdit* duty;

private:
    int output;
    QLabel* lblFrequ;
    QLabel* lblDuty;
    QLabel* lblPercent;
};

class PWMSettingDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PWMSettingDialog(QWidget* parent = nullptr);

    PWMOutputBlock* block(int i) const { return blocks[i]; }

signals:
    void sigPWMSetSaved();

public slots:
    void slotBtnSaveClicked();

private:
    DevBase* dev;   // the object the dialog was filled from
    PWMOutputBlock* blocks[2];
};

class PWMSetting : public QWidget
{
    Q_OBJECT
public:
    explicit PWMSetting(QWidget* parent = nullptr);

    // Refreshes the switches when a device has connected; false does nothing.
    void devConnectChanged(bool connected);

    MySwitch* switch1;
    MySwitch* switch2;
    QPushButton* btnSetting;

public slots:
    void slotBtnPWM1Clicked();
    void slotBtnPWM2Clicked();
    // Refreshes the switches and shows the group when "toolbarPWM" is set.
    void slotEnaChanged();
    void slotBtnSettingClicked();

private:
    void readSwitches();

    QLabel* lblPWM1;
    QLabel* lblPWM2;
    QHBoxLayout* layout;
};

#endif

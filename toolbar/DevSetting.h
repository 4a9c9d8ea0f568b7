#ifndef DEVSETTING_H
#define DEVSETTING_H
// The device group of the tool bar: model and sample mode of the current
// device, and its options button with the drop-down channel panel
// (`DevSettingMenu`: sample mode, channels) and the "Device Options" dialog
// (`DevMoreSetting`: PWM outputs, trigger position).

#include <QDialog>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include "widgets/MyMenu.h"

class ChnEnaGroupBox;
class ChnQuickGroupBox;
class DevBase;
class PWMOutputBlock;
class QGridLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QVBoxLayout;

class DevSetting : public QWidget
{
    Q_OBJECT
public:
    explicit DevSetting(QWidget* parent = nullptr);

    // Shows the current device's name and sample mode.
    void init();
    void devSmpModeChanged();

    QLabel* lblModel;
    QLabel* lblSmpMode;
    QPushButton* btnSet;

public slots:
    // Runs the channel panel below the options button.
    void slotChnSettingClicked();

private:
    QLabel* lblModelCaption;
    QLabel* lblSmpModeCaption;
    QGridLayout* layout;
};

// The drop-down channel panel. Nothing reaches the device before OK; built
// for one device object, it closes unapplied when that object goes.
class DevSettingMenu : public MyMenu
{
    Q_OBJECT
public:
    explicit DevSettingMenu(QWidget* parent = nullptr);

    // Sets the ticked channels on the device; false (nothing set) when none
    // is ticked.
    bool saveChnEna();
    // Sets the chosen sample mode on a model that offers both.
    void saveSmpMode();

    QRadioButton* radioNormal = nullptr;   // null without a mode choice
    QRadioButton* radioStream = nullptr;
    ChnQuickGroupBox* quick = nullptr;
    ChnEnaGroupBox* chnEna = nullptr;
    QPushButton* btnMore = nullptr;
    bool reopen = false;   // closed by the options dialog: to be shown again

public slots:
    // Relabels the quick selector for the mode the radio buttons show.
    void slotSmpModeChanged();
    void slotMorSettingsClicked();
    void slotBtnSaveClicked();

private:
    void wireChannelBoxes();

    QPointer<DevBase> dev;
    QWidget* container;
    QVBoxLayout* box;
};

// The "Device Options" dialog: both PWM outputs on models that have them and
// the trigger position on models without analog channels.
class DevMoreSetting : public QDialog
{
    Q_OBJECT
public:
    explicit DevMoreSetting(QWidget* parent = nullptr);

    PWMOutputBlock* pwm[2] = {nullptr, nullptr};   // null without PWM outputs
    QSlider* slider = nullptr;                     // null with analog channels
    QLabel* lblTrg = nullptr;

public slots:
    void slotTrgValueChanged(int value);
    void slotBtnSaveClicked();

private:
    QPointer<DevBase> dev;
};

#endif

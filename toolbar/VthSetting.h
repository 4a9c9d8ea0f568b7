#ifndef VTHSETTING_H
#define VTHSETTING_H
// The threshold voltage panel left of the time ruler: an I/O standard chosen
// from a table of presets, or "Custom I/O" with a value typed in volts, per
// channel group (CH0-15, and CH16-31 on 32-channel models). Every choice goes
// to the device at once and is kept in the device's configuration section
// ("chnLevel"/"chnVth", "2" appended for the second group).

#include <QString>
#include <QVector>
#include <QWidget>

class MyButton;
class QGridLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

class VthSetting : public QWidget
{
    Q_OBJECT
public:
    struct VthMap {
        QString name;
        double vth;
    };

    explicit VthSetting(QWidget* parent = nullptr);

    // Adapts the panel to the current device and shows its stored choice of
    // group 1; writes nothing.
    void devModelChanged();

    // The stored threshold of a group as the device restores it: an empty,
    // unreadable or out-of-range text gives the default.
    static double storedVth(int group);
    static QString vthText(double volts);

    // Row shown when a stored name matches no preset.
    static constexpr int fallbackRow = 2;
    int customRow() const { return presets.size() - 1; }
    int group() const;

    const QVector<VthMap>& presetTable() const { return presets; }
    QPushButton* groupButton() const { return btnChn; }
    QPushButton* presetButton() const { return btnVth; }
    QLineEdit* vthEdit() const { return edit; }
    QLabel* noticeLabel() const { return lblNotice; }
    const QVector<QPushButton*>& groupMenuButtons() const { return chnButtons; }
    const QVector<MyButton*>& presetMenuButtons() const { return vthButtons; }

public slots:
    void slotBtnChnChanged();
    void slotBtnVthChanged();
    void slotBtnActChnClicked();
    void slotBtnActVthClicked();
    void slotVthEditFinish();

private:
    static QString keyName(const char* key, int group);
    int rowOf(const QString& name) const;
    void choosePreset(MyButton* b);
    void popUp(QMenu* menu, QPushButton* under);

    QVector<VthMap> presets;
    QLabel* lblTitle;
    QPushButton* btnChn;
    QPushButton* btnVth;
    QLabel* lblArrow;
    QLabel* lblVth;
    QLineEdit* edit;
    QLabel* lblUnit;
    QLabel* lblNotice;
    QLabel* lblFill;
    QMenu* chnMenu;
    QMenu* vthMenu;
    QVector<QPushButton*> chnButtons;
    QVector<MyButton*> vthButtons;
    QGridLayout* layout;
    bool warning = false;   // the refusal box is up
};

#endif

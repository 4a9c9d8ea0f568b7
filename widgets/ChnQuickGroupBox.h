#ifndef CHNQUICKGROUPBOX_H
#define CHNQUICKGROUPBOX_H
// Quick channel selection: one exclusive choice per (highest sample rate,
// channel count) pair of the device. Choosing one selects channels
// 0..count-1; a manual change of the channels clears the choice.

#include <QGroupBox>
#include <QVector>

class QButtonGroup;
class QRadioButton;

class ChnQuickGroupBox : public QGroupBox
{
    Q_OBJECT
public:
    ChnQuickGroupBox(QVector<qint64> maxRates, QVector<int> channelCounts, QWidget* parent = nullptr);

    // Re-labels the choices for another table of the same length; false and
    // nothing changed when the lengths differ.
    bool setNumFrequ(QVector<qint64> maxRates, QVector<int> channelCounts);

    const QVector<QRadioButton*>& quickButtons() const { return buttons; }
    QRadioButton* noChoiceButton() const { return hiddenButton; }

signals:
    void chnSelect(int start, int end);

public slots:
    void slotBtnQuickClicked();
    void chnSelectChanged();

private:
    static QString buttonText(qint64 rate, int count);

    QVector<QRadioButton*> buttons;
    QRadioButton* hiddenButton = nullptr;
    QButtonGroup* group = nullptr;
};

#endif

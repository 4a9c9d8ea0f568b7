#ifndef MOUSEMEASURE_H
#define MOUSEMEASURE_H
// The "Measurements" panel of logic mode: width, period, duty cycle and
// frequency of the pulse under the mouse pointer, as the waveform view
// measures and formats them. The user chooses which rows show; that choice
// is kept in the global key "lgcMeasure" ("1"/"0" per row, joined by ",").

#include <QStringList>
#include <QVector>

#include "rightbox/RightPanel.h"

class MyMenu;
class QAction;
class QLabel;

class MouseMeasure : public RightPanel
{
    Q_OBJECT
public:
    static constexpr int RowCount = 4;

    explicit MouseMeasure(QWidget* parent = nullptr);

    // Reads "lgcMeasure" and shows the rows and checks the menu by it.
    void initMenuTriggered();
    // Writes the menu's check states to "lgcMeasure".
    void saveParam();

    MyMenu* rowMenu() const { return menu; }
    QLabel* nameLabel(int i) const { return names.value(i); }
    QLabel* valueLabel(int i) const { return values.value(i); }

public slots:
    // Width, period, duty cycle, frequency; a longer list than the rows is
    // ignored, a shorter one updates the first rows only.
    void slotValueChanged(QStringList data);
    void slotBtnSetClicked() override;
    void slotMenuClicked(QAction* action);

private:
    void showRow(int i, bool on);

    QVector<QLabel*> names;
    QVector<QLabel*> values;
    MyMenu* menu;
};

#endif

#ifndef MYSWITCH_H
#define MYSWITCH_H
// A push button painted as an on/off switch. The owner flips `on` (usually in
// its clicked() slot) and calls update().

#include <QPushButton>
#include <QRectF>

namespace SwitchGeom {
// The knob circle's bounding square inside the switch area: at the right end
// when on, else at the left end, inset by pad on top and at the end.
QRectF knobRect(const QRect& area, bool on, int pad);
}

class MySwitch : public QPushButton
{
    Q_OBJECT
public:
    explicit MySwitch(QWidget* parent = nullptr);

    bool on = false;

protected:
    void paintEvent(QPaintEvent* e) override;
};

#endif

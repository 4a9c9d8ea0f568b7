#ifndef MYSCROLLBAR_H
#define MYSCROLLBAR_H
// A vertical scroll bar with 64-bit positions (captures reach 2^40 samples),
// drawn as a thumb over the styled background. It hides itself while its
// range is empty.

#include <QWidget>

namespace ScrollbarMath {

struct Thumb {
    double handleLength = 0;   // proportional thumb length, used for dragging
    double length = 0;         // drawn length (at least the minimum)
    int y = 0;                 // top of the drawn thumb
};

// Thumb of a bar of height h for value in [min, max] with the given page
// step; a proportional length below minLength is drawn as minLength and the
// position rescaled to the shorter travel. Computed in double so that
// 2^40-sized ranges neither overflow nor lose the thumb.
Thumb thumb(qint64 min, qint64 max, qint64 pageStep, qint64 value, int h, int minLength);

// Value after dragging the thumb by dy pixels from pressValue; clamped to
// [min, max].
qint64 dragValue(int dy, qint64 pressValue, qint64 min, qint64 max,
                 double handleLength, int h);

}

class MyScrollbar : public QWidget
{
    Q_OBJECT
public:
    explicit MyScrollbar(QWidget* parent = nullptr);

    void setRange(qint64 min, qint64 max);
    void setValue(qint64 v);
    void setPageStep(qint64 step);

    qint64 minimum() const { return m_min; }
    qint64 maximum() const { return m_max; }
    qint64 pageStep() const { return m_pageStep; }
    qint64 value() const { return m_value; }

signals:
    void rangChanged(qint64 min, qint64 max);
    void valueChanged(qint64 value);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    ScrollbarMath::Thumb currentThumb() const;

    qint64 m_min = 0;
    qint64 m_max = 0;
    qint64 m_pageStep = 0;
    qint64 m_value = 0;
    double m_handleLength = 0;
    int m_pressY = 0;
    qint64 m_pressValue = 0;
};

#endif

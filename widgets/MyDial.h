#ifndef MYDIAL_H
#define MYDIAL_H
// Rotary selector over a list of texts (time/div, volts/div). Angles are
// degrees turned clockwise from the left-pointing horizontal: 0 left, 90 up,
// 180 right, 270 (or -90) down. The entries span at most 250 degrees round
// the top, leaving the gap at the bottom.

#include <QPointF>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QLabel;
class QPushButton;

namespace DialMath {

// Degrees per radian as the dial has always used it.
constexpr double degPerRad = 57.29577866666166;

// Degrees between neighbouring entries; 0 for a list of one entry.
int stepAngle(int n);
// Angle of the first entry, so that the entries sit symmetric round the top.
double startAngle(int n, int step);
// boundary[i]: half-way from entry i to entry i + 1.
QVector<double> boundaries(int n, double start, int step);
// Angle of the pointer at offset (dx, dy) from the centre (y downwards).
// Straight below is ambiguous; it is taken on the side of currentAngle.
double pointerAngle(double dx, double dy, double currentAngle);
// Entry owning the angle: the first whose boundary exceeds it, else the last;
// -1 for an empty table.
int indexForAngle(const QVector<double>& boundaries, double angle);
// The point at the given angle and distance from centre.
QPointF pointAt(const QPointF& centre, double angle, double radius);
// "500mV" -> "mV", "2V" -> "V", "1ms" -> "ms".
QString unitOf(const QString& text);
// "500mV" -> "500", "2V" -> "2".
QString numberOf(const QString& text);
// Unit labels and their flat (start, end, start, end, ...) angle pairs: each
// label spans a run of consecutive entries with the same unit.
void buildLabels(const QStringList& texts, double start, int step,
                 QStringList& units, QVector<double>& pairs);

}

class MyDial : public QWidget
{
    Q_OBJECT
public:
    explicit MyDial(QWidget* parent = nullptr);

    void setTextList(const QStringList& list);
    void setCurrentIndex(int i);
    int currentIndex() const { return m_index; }

    const QStringList& textList() const { return m_texts; }
    int stepAngleValue() const { return m_stepAngle; }
    double startAngleValue() const { return m_startAngle; }
    const QStringList& unitLabels() const { return m_units; }
    const QVector<double>& unitAngles() const { return m_pairs; }
    // Angle of entry i on the dial.
    double entryAngle(int i) const { return m_startAngle + i * m_stepAngle; }
    // The dial's centre for the current width.
    QPointF dialCentre() const;

signals:
    void btnClicked(int index);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private slots:
    void slotBtnClicked();

private:
    struct Geometry {
        int outerR;
        int dialR;
        QPointF centre;
    };
    Geometry dialGeometry() const;
    void pick(int index);
    void placeButtonRow();

    QStringList m_texts;
    int m_index = 0;
    int m_stepAngle = 0;
    double m_startAngle = -35.0;
    QVector<double> m_boundaries;
    QStringList m_units;
    QVector<double> m_pairs;
    int m_w500 = 0;
    int m_ascent = 0;
    int m_p16 = 0;
    int m_p5 = 0;
    int m_p3 = 0;
    QWidget* m_btnRow = nullptr;
    QPushButton* m_btnDown = nullptr;
    QPushButton* m_btnUp = nullptr;
    QLabel* m_info = nullptr;
};

#endif

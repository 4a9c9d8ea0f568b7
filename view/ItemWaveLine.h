#ifndef ITEMWAVELINE_H
#define ITEMWAVELINE_H
// The two scene items of a logic channel row: the row's background, and the
// waveform with the decoded-frame bubbles and analyzer markers of every
// protocol analyzer that reads the channel.

#include <QColor>
#include <QGraphicsItem>
#include <QLine>
#include <QRect>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

#include "data/SmpTables.h"

class Analyzer;
class WaveDataGen;

class ItemWaveBackground : public QGraphicsItem
{
public:
    explicit ItemWaveBackground(int index);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
    void setSize(int w, int h);

    int width = 0;
    int height = 0;
    int index;
};

// What a row shows: the generator's records of its channel and time base,
// and the sample count of the shown capture.
struct RowView {
    const WaveLine* lines = nullptr;
    int lineCount = 0;
    double start = 0;
    double scale = 0;
    long long smpCount = 0;
};

class ItemWaveLine : public QGraphicsItem
{
public:
    ItemWaveLine(int chn, WaveDataGen* gen);

    // One bubble of a decoded frame (screen pixels; text width 0 = no text).
    struct UIFrameTypes {
        qint64 x1;
        qint64 x2;
        int textWidth;
        QString text;
    };
    // One analyzer marker to draw.
    struct UIMarkersTypes {
        int type;
        qint64 sample;
    };

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
    void setSize(int w, int h);

    // Draws the row for a given view (paint() takes it from the generator).
    void paintView(QPainter* painter, const RowView& view);
    void drawMarkers(int type, int x, QPainter* painter);

    // Services of the analyzer host: the analyzers in use that read a
    // channel, and the display base chosen for an analyzer. Unset, rows
    // show no decoded overlay.
    static std::function<QVector<Analyzer*>(int chn)> usingChnAnalyzers;
    static std::function<int(Analyzer*)> analyzerDisplayFormat;

    int chn;
    int height = 0;
    int width = 0;
    QColor color;
    WaveDataGen* waveGen;

private:
    void collectOverlay(const RowView& view, QVector<UIFrameTypes>* frames, QVector<UIMarkersTypes>* markers);
    void drawBubbles(QPainter* painter, const QVector<UIFrameTypes>& frames);

    // Shapes of the records, kept between paints so a repaint allocates
    // nothing once they have grown.
    std::vector<QLine> lineBuf;
    std::vector<QRect> rectBuf;
};

#endif

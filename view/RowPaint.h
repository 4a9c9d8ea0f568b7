#ifndef ROWPAINT_H
#define ROWPAINT_H
// Geometry and walks of the logic row painter, kept apart from the scene
// items so they can be checked without a generator or an analyzer.
// Lengths are screen pixels unless a name says logical; px is
// Config::pixel(1).

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QLine>
#include <QRect>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <vector>

#include "data/SmpTables.h"

class QPainter;

namespace RowPaint {

// Where the high and the low level lines of a row of this height lie.
struct LevelLines {
    int high;
    int low;
};
LevelLines levelLines(int height);

// The lines the row's pen draws for its records: level 1 along the high
// line, level 0 along the low line, level 2 an edge column between them;
// other levels nothing. The vector is cleared first and keeps its capacity,
// so a repaint allocates nothing once it has grown.
void recordLines(const WaveLine* recs, int count, int px, const LevelLines& lv, std::vector<QLine>* lines);

// The pixels that a solid pen of width px with square caps covers on the
// line (x1, y1)-(x2, y2), horizontal or vertical, without antialiasing:
// from the lower end - px/2 to the upper end + px - px/2 - 1 both across
// and along.
QRect penRect(int x1, int y1, int x2, int y2, int px);

// The same pixels as recordLines' lines, as rectangles to fill: painted
// opaquely by a painter that moves by whole pixels only, they give the very
// picture of the lines, at a fraction of the cost, as edge columns on
// neighbouring logical pixels (nearly all of them at coarse zooms) merge
// into one rectangle.
void recordRects(const WaveLine* recs, int count, int px, const LevelLines& lv, std::vector<QRect>* rects);

// Left edge of a bubble's text of width tw in an item itemWidth wide:
// centred in the bubble, kept inside the item where the bubble allows.
int bubbleTextX(int64_t x1, int64_t x2, int tw, int itemWidth);

// The text a bubble room pixels wide shows: the widest alternative that
// fits, else "..." when the bubble is wider than Config::pixel(11), else
// none (width 0).
struct BubbleText {
    QString text;
    int width = 0;
};
// Remembers the widths of texts in one font: bubble texts repeat a lot, and
// measuring a text (shaping it) is most of what a bubble costs. GUI thread.
class TextWidths
{
public:
    // Forgets every width when the font is not the one they were taken in.
    void useFont(const QFont& f);
    int width(const QString& text, const QFontMetrics& fm);

private:
    QFont font;
    QHash<QString, int> widths;
};
// As above, widths taken from the cache when given one.
BubbleText fitBubbleText(const QStringList& texts, int64_t room, const QFontMetrics& fm,
                         TextWidths* cache = nullptr);

// Read side of one analyzer's frames, as the walk needs it.
class FrameSource
{
public:
    virtual ~FrameSource() = default;
    // Frames overlapping [a, b] (inclusive): true and the first and last index.
    virtual bool framesInRange(int64_t a, int64_t b, uint64_t* first, uint64_t* last) const = 0;
    // Inclusive first and last sample of a frame.
    virtual void frame(uint64_t index, int64_t* start, int64_t* end) const = 0;
};

// Frames that get a bubble in a view starting at sample s0 with scale k
// samples per logical pixel, up to sample e: per logical pixel (at least one
// sample) the last frame there, when it spans at least px logical pixels.
// Each frame is visited at most once, the walk always advances, and no
// query starts below sample 0.
QVector<uint64_t> walkFrames(const FrameSource& src, double s0, double e, double k);

// Read side of one analyzer's markers on one channel.
class MarkerSource
{
public:
    virtual ~MarkerSource() = default;
    virtual bool markersInRange(int64_t a, int64_t b, uint64_t* first, uint64_t* last) const = 0;
    virtual uint64_t count() const = 0;
    virtual bool marker(uint64_t index, int* type, int64_t* sample) const = 0;
};

struct MarkerHit {
    int type;
    int64_t sample;
};

// Markers worth drawing: a marker is listed only when its neighbours lie at
// least 8 logical pixels away, so crowded markers are skipped instead of
// drawn over each other. Same range rules as walkFrames.
QVector<MarkerHit> walkMarkers(const MarkerSource& src, double s0, double e, double k);

// Screen x of a sample in a view starting at s0 with scale k.
int64_t sampleToX(double sample, double s0, double k);

// One of the twelve analyzer marker shapes centred at (x, y); wave is the
// colour of the row's waveform. Types outside 0-11 draw nothing.
void drawMarker(QPainter* p, int type, int x, int y, const QColor& wave);

} // namespace RowPaint

#endif

#include "view/ItemWaveLine.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "Analyzer.h"
#include "AnalyzerResults.h"
#include "config/Config.h"
#include "view/GenAccess.h"
#include "view/RowPaint.h"

std::function<QVector<Analyzer*>(int)> ItemWaveLine::usingChnAnalyzers;
std::function<int(Analyzer*)> ItemWaveLine::analyzerDisplayFormat;

namespace {

class ResultFrames : public RowPaint::FrameSource
{
public:
    explicit ResultFrames(const AnalyzerResults* r) : res(r) {}
    bool framesInRange(int64_t a, int64_t b, uint64_t* first, uint64_t* last) const override
    {
        return res->GetFramesInRange(a, b, first, last);
    }
    void frame(uint64_t index, int64_t* start, int64_t* end) const override
    {
        const Frame f = res->GetFrame(index);
        *start = f.mStartingSampleInclusive;
        *end = f.mEndingSampleInclusive;
    }
private:
    const AnalyzerResults* res;
};

class ResultMarkers : public RowPaint::MarkerSource
{
public:
    ResultMarkers(const AnalyzerResults* r, const Channel& c) : res(r), chn(c) {}
    bool markersInRange(int64_t a, int64_t b, uint64_t* first, uint64_t* last) const override
    {
        return res->GetMarkersInRange(chn, a, b, first, last);
    }
    uint64_t count() const override { return res->GetNumMarkers(chn); }
    bool marker(uint64_t index, int* type, int64_t* sample) const override
    {
        AnalyzerResults::MarkerType t;
        U64 s = 0;
        if (!res->GetMarker(chn, index, &t, &s))
            return false;
        *type = int(t);
        *sample = int64_t(s);
        return true;
    }
private:
    const AnalyzerResults* res;
    Channel chn;
};

} // namespace

// ---------------------------------------------------------------------------

ItemWaveBackground::ItemWaveBackground(int index) : index(index) {}

QRectF ItemWaveBackground::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void ItemWaveBackground::setSize(int w, int h)
{
    prepareGeometryChange();
    width = w;
    height = h;
}

void ItemWaveBackground::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (height == 0)
        return;
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(QRect(0, 0, width, height), QColor(index % 2 ? "#1f1f23" : "#3f3f3f"));
}

// ---------------------------------------------------------------------------

ItemWaveLine::ItemWaveLine(int chn, WaveDataGen* gen) : chn(chn), waveGen(gen)
{
    const int n = Config::chnColor.size();
    color = n > 0 ? Config::chnColor.at(((chn % n) + n) % n).lighter(120) : QColor(Qt::white);
}

QRectF ItemWaveLine::boundingRect() const
{
    return QRectF(0, 0, width, height);
}

void ItemWaveLine::setSize(int w, int h)
{
    prepareGeometryChange();
    width = w;
    height = h;
}

void ItemWaveLine::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    RowView v;
    WaveLine* lines = nullptr;
    v.lineCount = GenAccess::records(waveGen, chn, &lines);
    v.lines = lines;
    v.start = GenAccess::start(waveGen);
    v.scale = GenAccess::scale(waveGen);
    v.smpCount = GenAccess::shownSampleCount();
    paintView(painter, v);
}

void ItemWaveLine::paintView(QPainter* painter, const RowView& view)
{
    if (height <= 0 || view.smpCount <= 0)
        return;
    const int px = Config::pixel(1);
    painter->save();

    QPen pen(Config::colorWaveLine ? color : Config::grayColor.value(0));
    pen.setWidth(px);
    pen.setStyle(Qt::SolidLine);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    painter->setPen(pen);
    painter->setRenderHint(QPainter::Antialiasing, false);

    const RowPaint::LevelLines lv = RowPaint::levelLines(height);
    if (view.lines && view.lineCount > 0) {
        // Rectangles cover exactly the pixels of the lines only when the
        // raster engine paints them opaquely and on whole pixels; otherwise
        // the lines themselves.
        const QTransform& t = painter->deviceTransform();
        const QPaintEngine* engine = painter->paintEngine();
        const bool exact = engine && engine->type() == QPaintEngine::Raster
            && pen.color().alpha() == 255 && painter->opacity() == 1.0
            && painter->compositionMode() == QPainter::CompositionMode_SourceOver
            && t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx())
            && t.dy() == std::floor(t.dy());
        if (exact) {
            RowPaint::recordRects(view.lines, view.lineCount, px, lv, &rectBuf);
            const QBrush brush = painter->brush();
            painter->setPen(Qt::NoPen);
            painter->setBrush(pen.color());
            painter->drawRects(rectBuf.data(), int(rectBuf.size()));
            painter->setBrush(brush);
            painter->setPen(pen);
        } else {
            RowPaint::recordLines(view.lines, view.lineCount, px, lv, &lineBuf);
            painter->drawLines(lineBuf.data(), int(lineBuf.size()));
        }
    }

    QVector<UIFrameTypes> frames;
    QVector<UIMarkersTypes> markers;
    collectOverlay(view, &frames, &markers);
    drawBubbles(painter, frames);
    for (const UIMarkersTypes& m : markers) {
        const qint64 x = RowPaint::sampleToX(double(m.sample), view.start, view.scale);
        drawMarkers(m.type, int(qBound<qint64>(-width - 1000, x, 2 * qint64(width) + 1000)), painter);
    }

    painter->restore();
}

void ItemWaveLine::collectOverlay(const RowView& view, QVector<UIFrameTypes>* frames,
                                  QVector<UIMarkersTypes>* markers)
{
    // Without a time base (no capture shown yet, no width) there is nothing
    // to place.
    if (!usingChnAnalyzers || !(view.scale > 0) || width <= 0)
        return;
    const QVector<Analyzer*> analyzers = usingChnAnalyzers(chn);
    if (analyzers.isEmpty())
        return;
    const int px = Config::pixel(1);
    const double s0 = view.start;
    const double k = view.scale;
    const double e = std::min(double(view.smpCount), s0 + double(width) * k / px);
    const Channel channel(0, U32(chn));
    const QFontMetrics fm(Config::fontNarrow);
    // Shared by all rows: they show the same texts in the same font.
    static RowPaint::TextWidths textWidths;
    textWidths.useFont(Config::fontNarrow);

    for (Analyzer* a : analyzers) {
        AnalyzerResults* res = nullptr;
        if (!a || !a->GetAnalyzerResults(&res) || !res)
            continue;

        if (res->DoBubblesAppearOnChannel(channel)) {
            int fmt = analyzerDisplayFormat ? analyzerDisplayFormat(a) : int(Hexadecimal);
            if (fmt < Binary || fmt > AsciiHex)
                fmt = Hexadecimal;
            const QVector<uint64_t> found = RowPaint::walkFrames(ResultFrames(res), s0, e, k);
            for (uint64_t idx : found) {
                const Frame f = res->GetFrame(idx);
                UIFrameTypes b;
                b.x1 = RowPaint::sampleToX(double(f.mStartingSampleInclusive), s0, k);
                b.x2 = RowPaint::sampleToX(double(f.mEndingSampleInclusive), s0, k);
                Channel c = channel;
                res->GenerateBubbleText(idx, c, DisplayBase(fmt));
                const char* const* strings = nullptr;
                U32 count = 0;
                res->GetResultStrings(&strings, &count);
                if (!strings || count == 0)
                    continue;
                QStringList texts;
                for (U32 i = 0; i < count; ++i)
                    if (strings[i])
                        texts.append(QString::fromUtf8(strings[i]));
                if (texts.isEmpty())
                    continue;
                const RowPaint::BubbleText t = RowPaint::fitBubbleText(texts, b.x2 - b.x1, fm, &textWidths);
                b.text = t.text;
                b.textWidth = t.width;
                frames->append(b);
            }
        }

        if (res->DoMarkersAppearOnChannel(channel)) {
            const QVector<RowPaint::MarkerHit> hits =
                RowPaint::walkMarkers(ResultMarkers(res, channel), s0, e, k);
            for (const RowPaint::MarkerHit& h : hits)
                markers->append({h.type, h.sample});
        }
    }
}

void ItemWaveLine::drawBubbles(QPainter* painter, const QVector<UIFrameTypes>& frames)
{
    if (frames.isEmpty())
        return;
    const int px = Config::pixel(1);
    const int top = px / 2;
    const int bh = Config::pixel(14);
    const QColor fill(31, 31, 35, 207);
    QLinearGradient grad(0, 0, 0, bh / 2 + px);
    grad.setColorAt(0, fill);
    grad.setColorAt(1, fill);

    painter->setFont(Config::fontNarrow);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setBrush(grad);
    QPen outline(Config::colorWaveLine ? Config::grayColor.value(2)
                                       : Config::chnColor.value(Config::chnColor.isEmpty() ? 0 : chn % Config::chnColor.size()));
    outline.setWidth(px);
    outline.setStyle(Qt::SolidLine);
    const QColor textColor = Config::grayColor.value(0);

    for (const UIFrameTypes& b : frames) {
        const int tx = RowPaint::bubbleTextX(b.x1, b.x2, b.textWidth, width);
        qint64 x1 = b.x1, x2 = b.x2;
        if (x1 < width && x2 > 0) {
            x1 = std::max<qint64>(x1, -Config::pixel(10));
            x2 = std::min<qint64>(x2, width + Config::pixel(10));
        } else {
            continue; // wholly outside the row
        }
        painter->setPen(outline);
        painter->drawRect(QRect(QPoint(int(x1), top), QPoint(int(x2) - 1, top + bh - 1)));
        if (b.textWidth != 0) {
            painter->setPen(textColor);
            painter->drawText(tx, top + bh - Config::pixel(3), b.text);
        }
    }
    painter->setBrush(Qt::NoBrush);
}

void ItemWaveLine::drawMarkers(int type, int x, QPainter* painter)
{
    const int px = Config::pixel(1);
    const int y = height / 2 + 2 * px + px / 2;
    const QColor wave = Config::colorWaveLine ? color : Config::grayColor.value(1);
    RowPaint::drawMarker(painter, type, x, y, wave);
}

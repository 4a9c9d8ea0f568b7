#include "view/RowPaint.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

#include "config/Config.h"

namespace RowPaint {

namespace {

// Floor division for possibly negative numerators.
int64_t floorDiv2(int64_t v)
{
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

int clampInt(int64_t v)
{
    return int(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)));
}

// First sample a walk queries: the view start truncated, never below 0.
bool walkRange(double s0, double e, double k, int64_t* first, int64_t* last)
{
    if (!(k > 0) || !std::isfinite(k) || !std::isfinite(s0) || !std::isfinite(e) || e < 0)
        return false;
    *first = s0 <= 0 ? 0 : int64_t(s0);
    *last = int64_t(e);
    return *last >= *first;
}

} // namespace

LevelLines levelLines(int height)
{
    const int px = Config::pixel(1);
    const int h = height - 1;
    LevelLines l;
    l.high = int(std::floor(0.11 * h)) + Config::pixel(4) + px / 2;
    if (l.high > Config::pixel(24))
        l.high = Config::pixel(24);
    l.low = int(std::floor(0.89 * h)) + px / 2;
    if (h - l.low > Config::pixel(20))
        l.low = h - Config::pixel(20);
    return l;
}

void recordLines(const WaveLine* recs, int count, int px, const LevelLines& lv, std::vector<QLine>* lines)
{
    lines->clear();
    for (int i = 0; i < count; ++i) {
        const WaveLine& r = recs[i];
        const int x = r.x * px + px / 2;
        switch (r.level) {
        case 1:
            lines->emplace_back(x, lv.high, x + r.width * px, lv.high);
            break;
        case 0:
            lines->emplace_back(x, lv.low, x + r.width * px, lv.low);
            break;
        case 2:
            lines->emplace_back(x, lv.high, x, lv.low);
            break;
        default:
            break;
        }
    }
}

QRect penRect(int x1, int y1, int x2, int y2, int px)
{
    const int h = px / 2;
    return QRect(QPoint(std::min(x1, x2) - h, std::min(y1, y2) - h),
                 QPoint(std::max(x1, x2) + px - h - 1, std::max(y1, y2) + px - h - 1));
}

void recordRects(const WaveLine* recs, int count, int px, const LevelLines& lv, std::vector<QRect>* rects)
{
    rects->clear();
    for (int i = 0; i < count; ++i) {
        const WaveLine& r = recs[i];
        const int x = r.x * px + px / 2;
        switch (r.level) {
        case 1:
            rects->push_back(penRect(x, lv.high, x + r.width * px, lv.high, px));
            break;
        case 0:
            rects->push_back(penRect(x, lv.low, x + r.width * px, lv.low, px));
            break;
        case 2: {
            // Edge columns on neighbouring pixels cover one rectangle.
            int j = i;
            while (j + 1 < count && recs[j + 1].level == 2 && int64_t(recs[j + 1].x) == int64_t(recs[j].x) + 1)
                ++j;
            const QRect first = penRect(x, lv.high, x, lv.low, px);
            rects->push_back(j == i ? first : first.united(penRect(recs[j].x * px + px / 2, lv.high,
                                                                   recs[j].x * px + px / 2, lv.low, px)));
            i = j;
            break;
        }
        default:
            break;
        }
    }
}

int bubbleTextX(int64_t x1, int64_t x2, int tw, int itemWidth)
{
    if (tw == 0)
        return 0;
    const int px = Config::pixel(1);
    int64_t tx = floorDiv2(x1 + x2 - tw + 1);
    if (tx < 0)
        tx = x2 - tw >= 0 ? 0 : x2 - tw - px;
    if (tx + tw > itemWidth)
        tx = tw < itemWidth - x1 ? itemWidth - tw - px : x1 + px;
    return clampInt(tx);
}

void TextWidths::useFont(const QFont& f)
{
    if (!(f == font)) {
        font = f;
        widths.clear();
    }
}

int TextWidths::width(const QString& text, const QFontMetrics& fm)
{
    auto it = widths.constFind(text);
    if (it != widths.constEnd())
        return *it;
    // Bounded: a capture of all-different texts must not grow it forever.
    if (widths.size() >= 16384)
        widths.clear();
    const int w = fm.horizontalAdvance(text);
    widths.insert(text, w);
    return w;
}

BubbleText fitBubbleText(const QStringList& texts, int64_t room, const QFontMetrics& fm, TextWidths* cache)
{
    BubbleText best;
    int bestWidth = -1;
    for (const QString& t : texts) {
        const int w = cache ? cache->width(t, fm) : fm.horizontalAdvance(t);
        if (w <= room && w > bestWidth) {
            bestWidth = w;
            best.text = t;
            best.width = w;
        }
    }
    if (bestWidth >= 0)
        return best;
    if (room > Config::pixel(11)) {
        best.text = QStringLiteral("...");
        best.width = Config::pixel(10);
    }
    return best;
}

QVector<uint64_t> walkFrames(const FrameSource& src, double s0, double e, double k)
{
    QVector<uint64_t> out;
    int64_t s, last;
    if (!walkRange(s0, e, k, &s, &last))
        return out;
    uint64_t f0, f1;
    if (!src.framesInRange(s, last, &f0, &f1))
        return out;
    const double c = std::max(1.0, k);
    const int px = Config::pixel(1);
    while (s < e) {
        const int64_t t = int64_t(double(s) + c);
        if (src.framesInRange(s, t, &f0, &f1)) {
            int64_t fs = 0, fe = 0;
            src.frame(f1, &fs, &fe);
            // In doubles: a plug-in's frame may span the whole 64-bit range.
            if ((double(fe) - double(fs)) / k >= px)
                out.append(f1);
            // Past the frame's end so it is never met again, and at least to
            // the chunk end so the walk always advances.
            s = fe == std::numeric_limits<int64_t>::max() ? fe : std::max(fe + 1, t);
        } else {
            s = t;
        }
    }
    return out;
}

QVector<MarkerHit> walkMarkers(const MarkerSource& src, double s0, double e, double k)
{
    QVector<MarkerHit> out;
    int64_t s, last;
    if (!walkRange(s0, e, k, &s, &last))
        return out;
    uint64_t m0, m1;
    if (!src.markersInRange(s, last, &m0, &m1))
        return out;
    const uint64_t n = src.count();
    const double c = std::max(1.0, k);
    const double near = 8 * k;
    bool close = false;
    while (double(s) <= e) {
        const int64_t t = double(s) + c > e ? last : int64_t(double(s) + c);
        if (!src.markersInRange(s, t, &m0, &m1)) {
            s = t + 1;
            continue;
        }
        int type = 0;
        int64_t sample = 0;
        if (!src.marker(m1, &type, &sample)) {
            s = t + 1;
            continue;
        }
        int nextType = 0;
        int64_t next = 0;
        const bool hasNext = m1 + 1 < n && src.marker(m1 + 1, &nextType, &next);
        if (m1 > m0) {
            // Several markers within one pixel: none is drawn.
            close = !hasNext || double(next - sample) < near;
        } else if (hasNext) {
            if (double(next - sample) < near)
                close = true;
            else if (!close)
                out.append({type, sample});
            else
                close = false;
        } else if (!close) {
            out.append({type, sample});
        }
        s = std::max(t, sample) + 1;
    }
    return out;
}

int64_t sampleToX(double sample, double s0, double k)
{
    const int px = Config::pixel(1);
    if (!(k > 0))
        return 0;
    double l = std::trunc((sample - s0) / k);
    // Far outside any view; keeps the conversion defined.
    const double lim = double(int64_t(1) << 40);
    if (!(l > -lim))
        l = -lim;
    else if (l > lim)
        l = lim;
    return int64_t(l) * px + px / 2;
}

void drawMarker(QPainter* p, int type, int x, int y, const QColor& wave)
{
    if (type < 0 || type > 11)
        return;
    const int q = Config::pixel(1);
    const QColor grey = Config::grayColor.value(1);
    p->save();
    auto pen = [&](const QColor& c, int w) {
        QPen pn(c);
        pn.setWidth(w);
        p->setPen(pn);
    };
    switch (type) {
    case 0:
    case 1: {
        const QColor c = type == 0 ? grey : QColor(Qt::red);
        p->setRenderHint(QPainter::Antialiasing, true);
        pen(c, q);
        p->setBrush(c);
        p->drawEllipse(QRect(x - 2 * q, y - 2 * q, 5 * q, 5 * q));
        break;
    }
    case 2:
    case 3: {
        const QColor c = type == 2 ? grey : QColor(Qt::red);
        p->setRenderHint(QPainter::Antialiasing, false);
        pen(c, 0);
        p->setBrush(c);
        p->drawRect(QRect(x - 2 * q, y - 2 * q, 5 * q, 5 * q));
        break;
    }
    case 4:
        p->setRenderHint(QPainter::Antialiasing, false);
        pen(wave, q);
        p->setBrush(Qt::NoBrush);
        p->drawPoint(x, y - 2 * q);
        p->drawLine(x - q, y - q, x + q, y - q);
        p->drawLine(x - 2 * q, y, x + 2 * q, y);
        p->drawLine(x - 3 * q, y + q, x + 3 * q, y + q);
        break;
    case 5:
        p->setRenderHint(QPainter::Antialiasing, false);
        pen(wave, q);
        p->setBrush(Qt::NoBrush);
        p->drawLine(x - 3 * q, y - 2 * q, x + 3 * q, y - 2 * q);
        p->drawLine(x - 2 * q, y - q, x + 2 * q, y - q);
        p->drawLine(x - q, y, x + q, y);
        p->drawPoint(x, y + q);
        break;
    case 6:
    case 7:
        pen(type == 6 ? grey : QColor(Qt::red), q);
        p->setBrush(Qt::NoBrush);
        p->drawLine(x - 3 * q, y + 3 * q, x + 3 * q, y - 3 * q);
        p->drawLine(x + 3 * q, y + 3 * q, x - 3 * q, y - 3 * q);
        break;
    case 8:
        p->setRenderHint(QPainter::Antialiasing, true);
        pen(grey, q);
        p->setBrush(QColor(Qt::green));
        p->drawEllipse(QRect(x - 3 * q, y - 3 * q, 7 * q, 7 * q));
        break;
    case 9:
        pen(grey, q);
        p->setBrush(QColor(Qt::red));
        p->drawRect(QRect(x - 3 * q, y - 3 * q, 7 * q, 7 * q));
        break;
    case 10:
    case 11: {
        const QColor disc = Config::grayColor.value(2);
        p->setRenderHint(QPainter::Antialiasing, true);
        pen(disc, 0);
        p->setBrush(disc);
        p->drawEllipse(QRect(x - 5 * q, y - 5 * q, 10 * q, 10 * q));
        pen(Config::grayColor.value(8), q);
        p->setBrush(Qt::NoBrush);
        if (type == 10) {
            const int a = 5 * q / 2, b = 5 * q - a;
            p->drawLine(x - q, y - b, x, y - b);
            p->drawLine(x, y - b, x, y + a);
            p->drawLine(x - q, y + b, x + q, y + b);
        } else {
            const int a = 3 * q / 2, b = 5 * q / 2;
            const int l = x - (3 * q - a), r = x + a, u = y - (5 * q - b), d = y + b;
            p->drawLine(l, u + q, l, d - q);
            p->drawLine(l + q, u, r - q, u);
            p->drawLine(r, d - q, r, u + q);
            p->drawLine(r - q, d, l + q, d);
        }
        break;
    }
    default:
        break;
    }
    p->restore();
}

} // namespace RowPaint

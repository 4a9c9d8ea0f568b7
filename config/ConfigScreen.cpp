// Screen scale, start rectangle, fonts, colour tables and style-sheet scaling.

#include "config/Config.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

#include <climits>

int Config::dpi = 96;
int Config::windowPosition[4] = {0, 0, -1, -1};
QFont Config::fontNormal;
QFont Config::fontNarrow;
QFont Config::fontLarge;
QVector<QColor> Config::chnColor;
QVector<QColor> Config::grayColor;
QVector<QColor> Config::timingColor;
QVector<QColor> Config::chnColorOsc;
QStringList Config::measTabACH;

void Config::initColors()
{
    chnColor = {QColor(164, 18, 164), QColor(8, 108, 208), QColor(4, 136, 56), QColor(210, 210, 10),
                QColor(240, 120, 0),  QColor(210, 0, 0),   QColor(160, 40, 0), QColor(120, 120, 120)};
    grayColor.clear();
    for (const char* c : {"#f7f7f7", "#dfdfdf", "#afafaf", "#9f9f9f", "#7f7f7f", "#575b5f", "#3f3f3f",
                          "#2f2f2f", "#1f1f23", "#070707"})
        grayColor.append(QColor(c));
    timingColor.clear();
    for (const char* c : {"#87cfeb", "#32cd32", "#bb54d3", "#f18181", "#9bcd32", "#40e1d1", "#ff68b5",
                          "#f1e78d", "#8fbd8b", "#6495ed"})
        timingColor.append(QColor(c));
    chnColorOsc = {QColor(223, 223, 31), QColor(39, 39, 239), QColor(223, 31, 223), QColor(31, 207, 31)};
    measTabACH = QStringList{"Vtop",     "Vbase",    "Vamp",        "Vpp",         "Vavg",
                             "Vrms",     "Period",   "Frequency",   "RiseTime",    "FallTime",
                             "+PulseWidth", "-PulseWidth", "DutyCycle"};
}

int Config::findWindowScreen(const QRect& window, const QVector<QRect>& areas)
{
    if (window.width() < 1 || window.height() < 1)
        return -1;
    const int x = window.left(), y = window.top(), right = window.right();
    for (int i = 0; i < areas.size(); ++i) {
        const QRect& a = areas[i];
        if (a.top() <= y && y < a.bottom() && x < a.right() && right > a.left())
            return i;
    }
    return -1;
}

QRect Config::defaultWindowRect(const QSize& area)
{
    const int w = area.width(), h = area.height();
    return QRect(QPoint(w / 10, h / 10), QPoint(w / 10 + w * 80 / 100 - 1, h / 10 + h * 80 / 100 - 1));
}

int Config::dpiFromLogical(qreal logicalDpi)
{
    const int d = int(logicalDpi);
    return d < 96 ? 96 : d;
}

void Config::initWindowConfig()
{
    int pos[4] = {0, 0, 0, 0};
    StringToIntArray(readGlobalParam("windowPosition"), pos, 4);
    // The file may hold anything: a rectangle no desktop has would overflow
    // QRect's corner arithmetic, so it counts as not saved.
    const int kMaxCoord = 1 << 20;
    bool plausible = true;
    for (int v : pos)
        plausible = plausible && v > -kMaxCoord && v < kMaxCoord;
    const QRect saved = plausible ? QRect(pos[0], pos[1], pos[2], pos[3]) : QRect();

    const QList<QScreen*> screens = QGuiApplication::screens();
    QVector<QRect> areas;
    for (QScreen* s : screens)
        areas.append(s->availableGeometry());

    QScreen* source = nullptr;
    QRect rect;
    const int found = findWindowScreen(saved, areas);
    if (found >= 0) {
        source = screens[found];
        rect = saved;
    } else {
        source = QGuiApplication::primaryScreen();
        // Without any screen there is nothing to measure: a plain default.
        rect = defaultWindowRect(source ? source->availableGeometry().size() : QSize(1280, 800));
    }
    windowPosition[0] = rect.left();
    windowPosition[1] = rect.top();
    windowPosition[2] = rect.right();
    windowPosition[3] = rect.bottom();
    dpi = dpiFromLogical(source ? source->logicalDotsPerInch() : 96);
}

void Config::createFont()
{
    auto family = [](const QString& resource) {
        const int id = QFontDatabase::addApplicationFont(resource);
        const QStringList f = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        return f.isEmpty() ? QString() : f.first();
    };
    const QString narrow = family(":/fonts/narrow");
    const QString large = family(":/fonts/large");

    // Linux offers no system user-interface font name: the default font stays.
    fontNormal = QApplication::font();
    fontNormal.setPixelSize(pixel(12));

    fontNarrow = narrow.isEmpty() ? fontNormal : QFont(narrow);
    // The condensed face shares its family name with the regular one; the
    // stretch selects it.
    if (!narrow.isEmpty())
        fontNarrow.setStretch(QFont::SemiCondensed);
    fontNarrow.setPixelSize(pixel(12));
    fontLarge = large.isEmpty() ? fontNormal : QFont(large);
    fontLarge.setPixelSize(pixel(15));
}

void Config::getQss(QString& text)
{
    const int factor = pixel(1);
    if (factor == 1 || text.size() < 4)
        return;
    int start = 0;
    int i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == ':' || c == ' ') {
            start = i + 1;
            ++i;
            continue;
        }
        if (c == 'p' && i + 2 < text.size() && text[i + 1] == 'x' && (text[i + 2] == ';' || text[i + 2] == ' ')) {
            bool ok = false;
            const qint64 v = text.midRef(start, i - start).toInt(&ok);
            const qint64 scaled = ok ? v * factor : 0;
            // A length too large for an int stays as written.
            if (scaled != 0 && scaled >= INT_MIN && scaled <= INT_MAX) {
                const QString r = QString::number(scaled);
                text.replace(start, i - start, r);
                i = start + r.size();
            }
            i += 2;   // past "px"
            continue;
        }
        ++i;
    }
}

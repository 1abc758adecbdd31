// A recording drawn with Qt Charts: one chart per panel, stacked in one
// graphics scene that is rendered on the caller's painter. Every panel has
// the same plot-area edges and the same time axis, so a moment stands at the
// same x on all four.
#include "recordingchart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <iterator>
#include <cmath>
#include <limits>
#include <vector>

QT_CHARTS_USE_NAMESPACE

namespace {

struct Quantity
{
    RecordingColumn column;
    const char *name;
    QRgb colour;
};

struct Panel
{
    const char *title;
    bool fromZero; // the axis shows 0, a meaningful level for this panel
    std::vector<Quantity> quantities;
    double scaleTop = 0; // the axis reaches at least this: the top of the quantities' scale
};

// Named like the window's labels, each line in a colour of its own across
// the chart, from a palette that stays distinct for the common colour-vision
// deficiencies (Paul Tol's "muted" colours, and black).
const Panel panels[] = {
    {"Luminosité<br>(0–255)",
     true,
     {{estColumn, "EST", 0xcc6677},
      {ouestColumn, "OUEST", 0x332288},
      {nordColumn, "NORD", 0x88ccee},
      {sudColumn, "SUD", 0x117733}},
     255},
    {"Tension (V)", false, {{vpanColumn, "VPAN", 0xaa4499}, {vbatColumn, "VBAT", 0x44aa99}}},
    {"Courant (mA)", true, {{ipanColumn, "IPAN", 0x999933}, {ibatColumn, "IBAT", 0x882255}}},
    {"Angle (°)",
     true,
     {{azimutColumn, "Azimut", 0x000000}, {elevationColumn, "Elévation", 0xddcc77}}},
};

// The panel that the battery's band stands under: the currents, which the
// band tells apart (charging, or feeding the lights).
constexpr int batteryBandAfter = 2;

// The battery's state, as the window's three buttons tell it, and its colour
// in the band (Okabe and Ito's palette, distinct from the lines').
struct BatteryState
{
    const char *name;
    QRgb colour;
};
const BatteryState batteryStates[] = {{"En charge", 0x009e73},
                                      {"Pleine", 0x0072b2},
                                      {"Vide", 0xd55e00},
                                      {"Indéterminé", 0xbbbbbb}};
const QRgb gapColour = 0xe8e8e8; // the bands of the spans without a measurement

// Where several flags are set, the window's precedence: charging, empty, full.
int batteryStateOf(const RecordingRow &row)
{
    if (row.values[chargeColumn] > 0)
        return 0;
    if (row.values[videColumn] > 0)
        return 2;
    return row.values[pleineColumn] > 0 ? 1 : 3;
}
constexpr int panelCount = int(sizeof panels / sizeof panels[0]);

constexpr qint64 second = 1000;
constexpr qint64 minute = 60 * second;
constexpr qint64 hour = 60 * minute;
constexpr qint64 day = 24 * hour;

// Sizes in pixels at the default picture size (1200 x 900); a bigger or
// smaller picture scales them.
struct Style
{
    explicit Style(const QSize &size)
        : scale(std::clamp(std::min(size.width() / 1200.0, size.height() / 900.0), 0.5, 4.0)),
          columns(size.width())
    {
    }
    int pixels(double atDefaultSize) const { return int(std::lround(atDefaultSize * scale)); }
    QFont font(double pixelSize, bool bold = false) const
    {
        QFont f;
        f.setPixelSize(pixels(pixelSize));
        f.setBold(bold);
        return f;
    }

    double scale;
    int columns; // of pixels across the picture
};

// The time axis: from the earliest row to the latest, ticks on round times
// of the recording's clock (the offset of its first row).
struct TimeAxis
{
    qint64 from = 0;
    qint64 to = 0;
    int offset = 0; // seconds east of UTC
    QVector<QPair<QString, qint64>> ticks;
    bool dates = false; // ticks a day or more apart

    QDateTime clock(qint64 msecs) const
    {
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, offset);
    }
    // Which of `columns` equal slices of the axis holds a moment.
    int column(const QDateTime &time, int columns) const
    {
        const qint64 since = time.toMSecsSinceEpoch() - from;
        return int(std::clamp<qint64>(since * columns / (to - from + 1), 0, columns - 1));
    }
};

qint64 tickStep(qint64 span)
{
    constexpr int mostTicks = 9;
    const qint64 steps[] = {second,      2 * second,  5 * second, 10 * second, 15 * second,
                            30 * second, minute,      2 * minute, 5 * minute,  10 * minute,
                            15 * minute, 30 * minute, hour,       2 * hour,    3 * hour,
                            6 * hour,    12 * hour,   day,        2 * day,     7 * day};
    for (const qint64 step : steps)
        if (span / step < mostTicks)
            return step;
    qint64 step = 14 * day;
    while (span / step >= mostTicks)
        step *= 2;
    return step;
}

// Tick labels tell the ticks apart (the axis needs distinct labels) and say no
// more than the step needs.
QString tickFormat(qint64 span, qint64 step)
{
    if (step >= day)
        return span >= 365 * day ? QStringLiteral("dd/MM/yyyy") : QStringLiteral("dd/MM");
    if (span >= day)
        return QStringLiteral("dd/MM HH:mm");
    return step < minute ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
}

TimeAxis timeAxis(const QVector<RecordingRow> &rows)
{
    TimeAxis axis;
    axis.from = rows.first().time.toMSecsSinceEpoch();
    axis.to = rows.last().time.toMSecsSinceEpoch();
    axis.offset = rows.first().time.offsetFromUtc();
    if (axis.from == axis.to) { // one moment: a minute around it
        axis.from -= 30 * second;
        axis.to += 30 * second;
    }
    const qint64 span = axis.to - axis.from;
    const qint64 step = tickStep(span);
    const QString format = tickFormat(span, step);
    axis.dates = step >= day;
    // Round in the recording's clock: whole minutes, hours, days there.
    const qint64 shift = axis.offset * second;
    const qint64 fromClock = axis.from + shift;
    qint64 tick = (fromClock / step + (fromClock % step > 0 ? 1 : 0)) * step - shift;
    for (; tick <= axis.to; tick += step)
        axis.ticks.append({axis.clock(tick).toString(format), tick});
    return axis;
}

QCategoryAxis *timeAxisItem(const TimeAxis &time, bool labelled, const Style &style)
{
    auto *axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setRange(qreal(time.from), qreal(time.to));
    axis->setStartValue(qreal(time.from));
    for (const auto &[label, at] : time.ticks)
        axis->append(label, qreal(at));
    axis->setLabelsVisible(labelled);
    axis->setLabelsFont(style.font(13));
    axis->setGridLineColor(QColor(0xdd, 0xdd, 0xdd));
    if (labelled) {
        axis->setTitleText(QStringLiteral("%1 (%2)").arg(
            time.dates ? QStringLiteral("Date") : QStringLiteral("Heure"),
            time.clock(time.from).timeZoneAbbreviation()));
        axis->setTitleFont(style.font(14, true));
    }
    return axis;
}

// Round bounds around [low, high] and a step of 1, 2 or 5 times a power of
// ten, with at most `intervals` steps between the bounds.
void setRoundRange(QValueAxis *axis, double low, double high, int intervals)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10((high - low) / intervals)));
    double step = magnitude;
    for (const double multiple : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0}) {
        step = multiple * magnitude;
        if (std::ceil(high / step) - std::floor(low / step) <= intervals)
            break;
    }
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    axis->setRange(low, high);
    axis->setTickCount(int(std::lround((high - low) / step)) + 1);
    const int decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 3);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

// The axis spans the values at first; roundValueAxes rounds it once the
// panel's height is known.
QValueAxis *valueAxisItem(const Panel &panel, const QVector<RecordingRow> &rows, const Style &style)
{
    double low = panel.fromZero ? 0 : std::numeric_limits<double>::infinity();
    double high = panel.fromZero ? 0 : -std::numeric_limits<double>::infinity();
    for (const RecordingRow &row : rows)
        for (const Quantity &quantity : panel.quantities)
            if (!row.isGap()) {
                low = std::min(low, row.values[quantity.column]);
                high = std::max(high, row.values[quantity.column]);
            }
    if (low > high) // nothing answered
        low = high = 0;
    high = std::max(high, panel.scaleTop);
    if (high - low < 1e-9) { // a flat line: in the middle
        low -= 1;
        high += 1;
    }
    auto *axis = new QValueAxis;
    axis->setRange(low, high);
    axis->setLabelsFont(style.font(13));
    axis->setTitleText(QString::fromUtf8(panel.title));
    axis->setTitleFont(style.font(14, true));
    axis->setGridLineColor(QColor(0xdd, 0xdd, 0xdd));
    return axis;
}

// Maximal runs of true in `joined`, as [first, last) indexes.
QVector<QPair<int, int>> runsOf(const QVector<bool> &joined)
{
    QVector<QPair<int, int>> runs;
    for (int i = 0; i < joined.size(); ++i) {
        if (!joined[i])
            continue;
        if (runs.isEmpty() || runs.last().second != i)
            runs.append({i, i});
        runs.last().second = i + 1;
    }
    return runs;
}

// The rows drawn as one line each, as [first, last) indexes: a row without an
// answer breaks the line. A chart with many lines takes long to draw, so when
// there are more than `mostRuns`, the time axis is cut in twice as many
// columns and only a column without any answer breaks the line: a shorter
// gap is narrower than a few pixels.
QVector<QPair<int, int>> lineRuns(const QVector<RecordingRow> &rows, const TimeAxis &time)
{
    constexpr int mostRuns = 150;
    constexpr int columns = 2 * mostRuns;
    QVector<bool> joined(rows.size());
    for (int i = 0; i < rows.size(); ++i)
        joined[i] = !rows[i].isGap();
    QVector<QPair<int, int>> runs = runsOf(joined);
    if (runs.size() <= mostRuns)
        return runs;
    QVector<bool> answered(columns);
    for (const RecordingRow &row : rows)
        answered[time.column(row.time, columns)] |= !row.isGap();
    for (int i = 0; i < rows.size(); ++i)
        joined[i] = answered[time.column(rows[i].time, columns)];
    return runsOf(joined);
}

// Appends the points that fall in one column of pixels: all of them when
// they are few, else the first, the lowest, the highest and the last, which
// draw the same strokes.
void appendColumn(QVector<QPointF> &line, const QVector<QPointF> &column)
{
    if (column.size() <= 4) {
        line += column;
        return;
    }
    const auto [low, high] =
        std::minmax_element(column.begin(), column.end(),
                            [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
    line << column.first() << *std::min(low, high) << *std::max(low, high) << column.last();
}

// One quantity: a line per run, all alike. A long recording has many rows to
// a column of pixels: the line keeps a few of each column, so that drawing
// takes a time and memory bounded by the picture's width.
// `width` grows with the lines drawn after this one in its panel, so that a
// line that another covers (at 0 at night, say) still shows along its edges.
void addQuantity(QChart *chart, const Quantity &quantity, const QVector<RecordingRow> &rows,
                 const QVector<QPair<int, int>> &runs, const TimeAxis &time, const Style &style,
                 double width)
{
    const QPen pen(QColor::fromRgb(quantity.colour), std::max(1.0, width * style.scale));
    for (const auto &[first, last] : runs) {
        QVector<QPointF> points;
        QVector<QPointF> column;
        int columnAt = -1;
        for (int i = first; i < last; ++i) {
            if (rows[i].isGap())
                continue;
            if (time.column(rows[i].time, style.columns) != columnAt) {
                appendColumn(points, column);
                column.clear();
                columnAt = time.column(rows[i].time, style.columns);
            }
            column.append(
                QPointF(qreal(rows[i].time.toMSecsSinceEpoch()), rows[i].values[quantity.column]));
        }
        appendColumn(points, column);
        auto *series = new QLineSeries;
        series->setName(QString::fromUtf8(quantity.name));
        series->setPen(pen);
        series->replace(points);
        series->setPointsVisible(points.size() == 1); // a lone answer between gaps
        chart->addSeries(series);
        for (QAbstractAxis *axis : chart->axes())
            series->attachAxis(axis);
    }
}

QChart *panelChart(const Panel &panel, const QVector<RecordingRow> &rows, const TimeAxis &time,
                   bool timeLabels, const Style &style)
{
    auto *chart = new QChart;
    chart->setBackgroundVisible(false);
    chart->setMargins(QMargins());
    chart->addAxis(timeAxisItem(time, timeLabels, style), Qt::AlignBottom);
    chart->addAxis(valueAxisItem(panel, rows, style), Qt::AlignLeft);
    const QVector<QPair<int, int>> runs = lineRuns(rows, time);
    const int count = int(panel.quantities.size());
    for (int i = 0; i < count; ++i)
        addQuantity(chart, panel.quantities[size_t(i)], rows, runs, time, style,
                    2 + 2 * (count - 1 - i));
    chart->legend()->hide(); // one line may be many series: addLegend names each once
    return chart;
}

// As many round values on each value axis as its height holds: a label needs
// its own height and the axis's padding, or the axis shortens it to "...".
void roundValueAxes(const QVector<QChart *> &charts, const Style &style)
{
    // The charts lay themselves out from queued events.
    QCoreApplication::processEvents();
    const qreal labelSpace = QFontMetricsF(style.font(13)).height() + 10;
    for (QChart *chart : charts) {
        auto *axis = static_cast<QValueAxis *>(chart->axes(Qt::Vertical).first());
        const int intervals = std::max(2, int(chart->plotArea().height() / labelSpace) - 1);
        setRoundRange(axis, axis->min(), axis->max(), intervals);
    }
}

// The names of a panel's lines in a column right of its plot area, each after
// a stroke of its colour.
void addLegend(QGraphicsScene &scene, const Panel &panel, const QRectF &area, const Style &style)
{
    const QFont font = style.font(14);
    const qreal lineHeight = QFontMetricsF(font).height() * 1.5;
    qreal y = area.top();
    for (const Quantity &quantity : panel.quantities) {
        const qreal x = area.right() + style.pixels(14);
        scene.addLine(x, y + lineHeight / 2, x + style.pixels(18), y + lineHeight / 2,
                      QPen(QColor::fromRgb(quantity.colour), style.pixels(3)));
        QGraphicsSimpleTextItem *name = scene.addSimpleText(QString::fromUtf8(quantity.name), font);
        name->setPos(x + style.pixels(24), y + (lineHeight - name->boundingRect().height()) / 2);
        y += lineHeight;
    }
}

qreal legendWidth(const Style &style)
{
    qreal widest = 0;
    for (const Panel &panel : panels)
        for (const Quantity &quantity : panel.quantities)
            widest = std::max(
                widest,
                QFontMetricsF(style.font(14)).horizontalAdvance(QString::fromUtf8(quantity.name)));
    return widest + style.pixels(14 + 24 + 20);
}

// Where a moment stands across a plot area.
qreal xOf(qint64 msecs, const TimeAxis &time, const QRectF &area)
{
    return area.left() + area.width() * double(msecs - time.from) / double(time.to - time.from);
}

// Spans of time that stand apart on the picture, as [x0, x1] pixels: each at
// least `least` wide, and those that touch merged, so that there are never
// more than the picture has columns.
QVector<QPair<qreal, qreal>> mergedSpans(const QVector<QPair<qreal, qreal>> &spans, qreal least)
{
    QVector<QPair<qreal, qreal>> merged;
    for (auto [x0, x1] : spans) {
        if (x1 - x0 < least) {
            const qreal middle = (x0 + x1) / 2;
            x0 = middle - least / 2;
            x1 = middle + least / 2;
        }
        if (!merged.isEmpty() && x0 <= merged.last().second + 1)
            merged.last().second = std::max(merged.last().second, x1);
        else
            merged.append({x0, x1});
    }
    return merged;
}

// A grey band in every panel (`areas`) over each span without a measurement,
// from the last row measured before it to the first after: however short, at
// least a few pixels wide, so that no gap vanishes on a long recording.
void addGapBands(QGraphicsScene &scene, const QVector<RecordingRow> &rows, const TimeAxis &time,
                 const QVector<QRectF> &areas, const Style &style)
{
    const QRectF &top = areas.first();
    QVector<QPair<qreal, qreal>> spans;
    for (int i = 0; i < rows.size(); ++i) {
        if (!rows[i].isGap())
            continue;
        const int first = i;
        while (i + 1 < rows.size() && rows[i + 1].isGap())
            ++i;
        const RecordingRow &from = rows[std::max(0, first - 1)];
        const RecordingRow &to = rows[std::min(int(rows.size()) - 1, i + 1)];
        spans.append({xOf(from.time.toMSecsSinceEpoch(), time, top),
                      xOf(to.time.toMSecsSinceEpoch(), time, top)});
    }
    for (const auto &[x0, x1] : mergedSpans(spans, style.pixels(3)))
        for (const QRectF &area : areas) {
            auto *band = scene.addRect(QRectF(QPointF(x0, area.top()), QPointF(x1, area.bottom())),
                                       Qt::NoPen, QColor::fromRgb(gapColour));
            band->setZValue(-1); // under the charts, whose backgrounds are clear
        }
}

// The battery's state along the time axis, in `bar`: each measured row's
// state until the next row, if that one measured too, as the lines run; then
// a legend under the bar, which also names the grey bands of the gaps.
void addBatteryBand(QGraphicsScene &scene, const QVector<RecordingRow> &rows,
                    const TimeAxis &time, const QRectF &bar, const Style &style)
{
    QVector<QPair<qreal, qreal>> spans[std::size(batteryStates)];
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].isGap())
            continue;
        const RecordingRow &next = rows[std::min(int(rows.size()) - 1, i + 1)];
        const qint64 until = (next.isGap() ? rows[i] : next).time.toMSecsSinceEpoch();
        spans[batteryStateOf(rows[i])].append(
            {xOf(rows[i].time.toMSecsSinceEpoch(), time, bar), xOf(until, time, bar)});
    }
    const QFont font = style.font(12);
    QGraphicsSimpleTextItem *label = scene.addSimpleText(QStringLiteral("Batterie"), style.font(14, true));
    label->setPos(bar.left() - label->boundingRect().width() - style.pixels(8),
                  bar.center().y() - label->boundingRect().height() / 2);
    qreal x = bar.left();
    const qreal y = bar.bottom() + style.pixels(4);
    const qreal square = QFontMetricsF(font).height() * 0.8;
    auto legend = [&](const QString &name, QRgb colour) {
        scene.addRect(x, y + (QFontMetricsF(font).height() - square) / 2, square, square, Qt::NoPen,
                      QColor::fromRgb(colour));
        QGraphicsSimpleTextItem *text = scene.addSimpleText(name, font);
        text->setPos(x + square + style.pixels(4), y);
        x += square + text->boundingRect().width() + style.pixels(18);
    };
    for (size_t state = 0; state < std::size(batteryStates); ++state) {
        for (const auto &[x0, x1] : mergedSpans(spans[state], 1))
            scene.addRect(QRectF(QPointF(x0, bar.top()), QPointF(x1, bar.bottom())), Qt::NoPen,
                          QColor::fromRgb(batteryStates[state].colour));
        legend(QString::fromUtf8(batteryStates[state].name), batteryStates[state].colour);
    }
    legend(QStringLiteral("sans mesure (bandes grises)"), gapColour);
}

// Each chart leaves room for its own axis labels, which differ in width:
// widen the margins so that every plot area has the same left and right edges.
void alignPlotAreas(const QVector<QChart *> &charts)
{
    QCoreApplication::processEvents();
    qreal left = 0;
    qreal right = std::numeric_limits<qreal>::max();
    for (const QChart *chart : charts) {
        left = std::max(left, chart->plotArea().left());
        right = std::min(right, chart->plotArea().right());
    }
    for (QChart *chart : charts) {
        const QRectF area = chart->plotArea();
        chart->setMargins(chart->margins() + QMargins(int(std::lround(left - area.left())), 0,
                                                      int(std::lround(area.right() - right)), 0));
    }
    QCoreApplication::processEvents();
}

QString titleText(const QVector<RecordingRow> &rows, const TimeAxis &time, const QString &source)
{
    const int gaps = int(std::count_if(rows.begin(), rows.end(),
                                       [](const RecordingRow &row) { return row.isGap(); }));
    const QString format = QStringLiteral("dd/MM/yyyy HH:mm:ss");
    return QStringLiteral("%1 — du %2 au %3 — %4 %5, %6 sans mesure")
        .arg(source, time.clock(rows.first().time.toMSecsSinceEpoch()).toString(format),
             time.clock(rows.last().time.toMSecsSinceEpoch()).toString(format))
        .arg(rows.size())
        .arg(rows.size() == 1 ? QStringLiteral("relevé") : QStringLiteral("relevés"))
        .arg(gaps);
}

} // namespace

void drawRecording(QPainter &painter, const QSize &size, const QVector<RecordingRow> &rows,
                   const QString &source)
{
    QVector<RecordingRow> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const RecordingRow &a, const RecordingRow &b) {
                         return a.time.toMSecsSinceEpoch() < b.time.toMSecsSinceEpoch();
                     });
    const Style style(size);
    const TimeAxis time = timeAxis(sorted);

    QGraphicsScene scene(0, 0, size.width(), size.height());
    scene.setBackgroundBrush(Qt::white);
    auto *title = scene.addSimpleText(titleText(sorted, time, source), style.font(16, true));
    title->setPos(style.pixels(16), style.pixels(12));

    // The panels share the height; the last one holds the time axis's labels
    // below its plot area, and the battery's band and its legend stand under
    // the currents. The legends stand to the right of the plot areas.
    const qreal top = style.pixels(46), timeBand = style.pixels(50);
    const qreal batteryBar = style.pixels(16), batteryBand = batteryBar + style.pixels(36);
    const qreal panelHeight = (size.height() - top - timeBand - batteryBand) / panelCount;
    QVector<QChart *> charts;
    for (int p = 0; p < panelCount; ++p) {
        QChart *chart = panelChart(panels[p], sorted, time, p == panelCount - 1, style);
        scene.addItem(chart);
        chart->setMargins(QMargins(style.pixels(8), 0, int(legendWidth(style)), 0));
        chart->setGeometry(0, top + p * panelHeight + (p > batteryBandAfter ? batteryBand : 0),
                           size.width(), panelHeight + (p == panelCount - 1 ? timeBand : 0));
        charts.append(chart);
    }
    roundValueAxes(charts, style);
    alignPlotAreas(charts);
    QVector<QRectF> areas;
    for (int p = 0; p < panelCount; ++p) {
        areas.append(charts[p]->mapRectToScene(charts[p]->plotArea()));
        addLegend(scene, panels[p], areas[p], style);
    }
    const QRectF above = areas[batteryBandAfter];
    const QRectF bar(above.left(), above.bottom() + style.pixels(10), above.width(), batteryBar);
    addBatteryBand(scene, sorted, time, bar, style);
    addGapBands(scene, sorted, time, areas + QVector<QRectF>{bar}, style);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(QPointF(), QSizeF(size)), scene.sceneRect());
}

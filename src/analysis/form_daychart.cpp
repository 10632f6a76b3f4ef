#include "analysis/form_daychart.h"

#include "ledger/text.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"
#include "stats/form6.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace ledger;

namespace {

qreal msecs(const QDate &d) { return static_cast<qreal>(d.startOfDay().toMSecsSinceEpoch()); }

// Days along the bottom, labelled by month when the period is longer than two years.
QDateTimeAxis *dateAxis(const DayChartData &data, QChart *chart)
{
    auto *x = new QDateTimeAxis(chart);
    x->setTitleText(QStringLiteral("日期"));
    const qint64 span = data.days.empty() ? 0 : data.days.back().date.toJulianDay() - data.days.front().date.toJulianDay();
    x->setFormat(span > 730 ? QStringLiteral("yyyy-MM") : QStringLiteral("yy-MM-dd"));
    x->setTickCount(static_cast<int>(std::clamp<qint64>(span + 1, 2, 7)));
    if (!data.days.empty()) {
        // A lone day gets a day either side, so that it has an axis to sit on.
        const QDate first = data.days.front().date, last = data.days.back().date;
        x->setRange(first.addDays(span == 0 ? -1 : 0).startOfDay(), last.addDays(span == 0 ? 1 : 0).startOfDay());
    }
    return x;
}

// From 0, or down to the lowest day when a day's total is below 0.
QValueAxis *amountAxis(double bottom, double top, QChart *chart)
{
    auto *y = new QValueAxis(chart);
    y->setTitleText(QStringLiteral("金额（元）"));
    y->setRange(bottom * 1.05, top > 0 || bottom < 0 ? top * 1.05 : 1);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    return y;
}

QString noteOn(const DayChartData &data)
{
    QString note;
    if (data.days.empty())
        note = QStringLiteral("统计列表中没有可画的日期，请先在“每日统计”中统计。");
    else
        note = QStringLiteral("共 %1 天，没有进出货的日子按 0 画出。").arg(data.days.size());
    if (data.unreadable > 0)
        note += QStringLiteral("另有 %1 行的日期无法识别，未画入图中。").arg(data.unreadable);
    return note;
}

} // namespace

FormDayChart::FormDayChart(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormDayChart"));
    setWindowTitle(QStringLiteral("每日进出货金额图表"));
    Chart1 = ui::control<QChartView>(this, "Chart1");
    Chart1->setRenderHint(QPainter::Antialiasing);
    Label1 = ui::control<QLabel>(this, "Label1");
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Chart1, 1);
    layout->addWidget(Label1);
    resize(760, 460);
    ui::dialogKeys(this, nullptr, nullptr);
}

void FormDayChart::showDays(const std::vector<DayFigures> &listed)
{
    m_data = chartDays(listed);
    auto *chart = new QChart;
    chart->setTitle(QStringLiteral("每日进货总额与出货总额"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto *in = new QLineSeries(chart);
    in->setName(QStringLiteral("进货总额"));
    auto *out = new QLineSeries(chart);
    out->setName(QStringLiteral("出货总额"));
    double bottom = 0, top = 0;
    for (const ChartDay &d : m_data.days) {
        in->append(msecs(d.date), d.in);
        out->append(msecs(d.date), d.out);
        bottom = std::min({bottom, d.in, d.out});
        top = std::max({top, d.in, d.out});
    }
    // Single days show as dots; a few weeks still show each day.
    const bool dots = m_data.days.size() <= 62;
    in->setPointsVisible(dots);
    out->setPointsVisible(dots);
    chart->addSeries(in);
    chart->addSeries(out);

    QDateTimeAxis *x = dateAxis(m_data, chart);
    QValueAxis *y = amountAxis(bottom, top, chart);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries *s : {in, out}) {
        s->attachAxis(x);
        s->attachAxis(y);
        connect(s, &QLineSeries::hovered, this, &FormDayChart::hovered);
    }
    QChart *old = Chart1->chart();
    Chart1->setChart(chart);
    delete old;

    Label1->setText(noteOn(m_data));
}

QString FormDayChart::tipText(int dayIndex) const
{
    if (dayIndex < 0 || dayIndex >= static_cast<int>(m_data.days.size()))
        return QString();
    const ChartDay &d = m_data.days[static_cast<std::size_t>(dayIndex)];
    return QStringLiteral("%1\n进货总额：%2 元\n出货总额：%3 元")
        .arg(d.date.toString(QStringLiteral("yyyy-MM-dd")), formatNumber(d.in), formatNumber(d.out));
}

void FormDayChart::hovered(const QPointF &point, bool state)
{
    if (!state || m_data.days.empty()) {
        QToolTip::hideText();
        return;
    }
    // The nearest day to the pointer.
    const double days = (point.x() - msecs(m_data.days.front().date)) / 86400000.0;
    const auto last = static_cast<qint64>(m_data.days.size()) - 1;
    QToolTip::showText(QCursor::pos(), tipText(static_cast<int>(std::clamp<qint64>(std::llround(days), 0, last))), Chart1);
}

void addChartAction(QWidget *target, Form6 *stats)
{
    QAction *action = target->addAction(QStringLiteral("图表"));
    QObject::connect(action, &QAction::triggered, stats, [stats] {
        auto *chart = stats->findChild<FormDayChart *>(QStringLiteral("FormDayChart"));
        if (!chart)
            chart = new FormDayChart(stats);
        chart->showDays(stats->listed);
        ui::present(chart);
    });
}

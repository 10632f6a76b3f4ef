// The daily statistics as a chart: the stock-in and stock-out totals of every day of the listed
// period, opened with "图表" from the context menu of the statistics list.
#pragma once

#include "ledger/daychart.h"

#include <QWidget>

class Form6;
class QChart;
class QChartView;
class QLabel;
class QMenu;

class FormDayChart : public QWidget {
    Q_OBJECT

public:
    explicit FormDayChart(QWidget *parent);

    // Draws the days of a statistics run.
    void showDays(const std::vector<ledger::DayFigures> &listed);
    // The text of the tooltip over a day.
    QString tipText(int dayIndex) const;
    const ledger::DayChartData &data() const { return m_data; }

    QChartView *Chart1;
    QLabel *Label1; // days that could not be drawn

private:
    void hovered(const QPointF &point, bool state);

    ledger::DayChartData m_data;
};

// Adds "图表" to a menu or to the statistics list's own context menu: it shows the days as a chart.
void addChartAction(QWidget *target, Form6 *stats);

// The ledger side of the daily statistics: date keys, the period test, the day lines and their
// column format, the grouping of a run into days, and the period range search.
#pragma once

#include "ledger/store.h"

#include <QDate>
#include <QString>
#include <cstddef>
#include <vector>

namespace ledger {

// The text a day is compared by: the date normalised to "YY-MM-DD", or the text itself when it
// cannot be read as a date. A record without a date (null or empty) has no key: null QString.
QString dateKey(const QString &date);

// The statistics period as the two date labels give it: every key between the smaller and the
// larger of the two label keys in text order, both ends included, whichever label holds which.
// (The range search writes a pair across the turn of the century latest first; a user may pick
// the dates in either order.)
struct Period {
    QString low;  // the smaller label key
    QString high; // the larger label key

    static Period fromLabels(const QString &startText, const QString &endText);
    bool contains(const QString &key) const;
};

// The two period labels' texts as the statistics window shows them; empty when not chosen.
struct PeriodText {
    QString start;
    QString end;
};

// One day of a run: the position of its first in-period transaction, and every record carrying
// the day's key, in stored order.
struct StatDay {
    std::size_t first = 0;
    std::vector<std::size_t> records;
};

// The days of a statistics run, in the order of their first in-period transaction. Each day
// appears once however its date is written; one pass over the records.
std::vector<StatDay> statisticsDays(const std::vector<Record> &rows, const Period &period);

// One listed day as figures: the date text its line was made from, the day's key and sums.
struct DayFigures {
    QString date;
    QString key;
    double in = 0;
    double out = 0;
};

// The running sums of the day being listed and the number of the last line.
struct DayTally {
    QString daytext;
    double dayin = 0;
    double dayout = 0;
    int dayno = 0;
    std::vector<DayFigures> listed; // every day closed, in order

    // "date|total|direction": adds the total to the day's stock-in or stock-out sum.
    void addRecord(const QString &str);
    // The same for one ledger record, without the text in between.
    void addRecord(const Record &r);
    // The same for these records of rows, in order (one day of a run).
    void addRecords(const std::vector<Record> &rows, const std::vector<std::size_t> &which);
    // Numbers the day, keeps its figures and returns "date|in|out|index"; the sums start again
    // at 0.
    QString closeDay();
};

// The request fed to DayTally::addRecord for one record.
QString dayRecordText(const Record &r);

// kf = 0: "date|in|out|index" -> the day line in fixed columns; otherwise the day line back to
// its four fields without the column spaces.
QString dayLine(const QString &str, int kf);

// Every formatted day line of a run over the period, numbered from 1.
QStringList statisticsLines(const std::vector<Record> &rows, const QString &startText,
                            const QString &endText);

// Period range search. code "" = every transaction, "n" = this year, "y" = this month.
struct DateRange {
    bool found = false;
    QString start; // for the start label
    QString end;   // for the end label
};
bool inRangePeriod(const Record &r, const QString &code, const QDate &today);
DateRange findRange(const std::vector<Record> &rows, const QString &code, const QDate &today);

// The feedback line and the period items are centred with leading spaces: comboItem renders a
// period item; otherwise the feedback text, or the reminder to choose the user range first when
// userrange is off.
QString padFeedback(const QString &text, bool comboItem, bool userrange);

} // namespace ledger

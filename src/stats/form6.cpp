#include "stats/form6.h"

#include "analysis/form_daychart.h"
#include "ledger/text.h"
#include "mainwin/form1.h"
#include "mainwin/form2.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"
#include "mainwin/ui_export.h"
#include "query/form4.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <functional>

namespace {

// The period box reports the opening of its list, so that the hint can be shown and picking
// the same period again still runs the search.
class PeriodBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> onDropDown;

    void showPopup() override
    {
        if (onDropDown)
            onDropDown();
        QComboBox::showPopup();
    }
};

const QString kRequests[] = {QString(), QStringLiteral("n"), QStringLiteral("y")};

// The feedback line. Its texts carry leading spaces meant to centre them in a font where a space
// is half a Chinese character; in any other font they push the text past the edge. It shows the
// text without them, centred on one line; text() stays the text as written.
class FeedbackLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        style()->drawItemText(&painter, contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, palette(),
                              isEnabled(), ledger::trimLeadingSpaces(text()), foregroundRole());
    }
};

} // namespace

Form6::Form6(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("每日统计"));
    setFixedSize(ui::twips(0, 0, 7080, 3615).size());
    buildControls();
    connectHandlers();
    Form_Load();
}

void Form6::buildControls()
{
    using ui::control;
    using ui::twips;
    Label1 = control<QLabel>(this, "Label1", QStringLiteral("日期       进货总额   出货总额   索引号"),
                             twips(240, 240, 3510, 180));
    // A little wider than designed, so that a whole day line fits without a scroll bar.
    List1 = control<QListWidget>(this, "List1", twips(240, 480, 4095, 2940));
    Label2 = control<FeedbackLabel>(this, "Label2", QStringLiteral("                               系统反馈提示"),
                                    twips(4560, 720, 2295, 540));
    Label3 = control<QLabel>(this, "Label3", twips(4560, 1440, 975, 255));
    Label5 = control<QLabel>(this, "Label5", QStringLiteral("—"), twips(5640, 1440, 180, 180));
    Label4 = control<QLabel>(this, "Label4", twips(5880, 1440, 975, 255));
    Combo1 = control<PeriodBox>(this, "Combo1", twips(4560, 1800, 2295, 300));
    Combo1->setPlaceholderText(QStringLiteral("     选择控制方法"));
    Label6 = control<QLabel>(this, "Label6", QStringLiteral("进度："), twips(4560, 2280, 540, 180));
    ProgressBar1 = control<QProgressBar>(this, "ProgressBar1", twips(5040, 2295, 1815, 135));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    Command1 = control<QPushButton>(this, "Command1", QStringLiteral("统计"), twips(4560, 2640, 1095, 375));
    Command2 = control<QPushButton>(this, "Command2", QStringLiteral("退出"), twips(5760, 2640, 1095, 375));

    // The day lines sit under the heading's words only in a monospace CJK font.
    const QFont mono(ui::monoFontFamily(), 9);
    List1->setFont(mono);
    Label1->setFont(mono);
    ui::plainLabels(this);
}

void Form6::connectHandlers()
{
    static_cast<PeriodBox *>(Combo1)->onDropDown = [this] {
        m_popupIndex = Combo1->currentIndex();
        Combo1_DropDown();
    };
    // A new period runs through currentIndexChanged (also when set from code); picking the
    // period already shown changes nothing there, so it is caught by activated.
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { Combo1_Click(); });
    connect(Combo1, &QComboBox::activated, this, [this](int index) {
        if (index == m_popupIndex)
            Combo1_Click();
        m_popupIndex = -1;
    });
    connect(Command1, &QPushButton::clicked, this, &Form6::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form6::Command2_Click);
    ui::dialogKeys(this, nullptr, Command2);
    ui::onListClick(List1, [this] { List1_Click(); });
    ui::addExportMenus(this);
    addChartAction(List1, this); // joins the export actions of the same menu

    for (QWidget *w : {static_cast<QWidget *>(Label2), static_cast<QWidget *>(Label3),
                       static_cast<QWidget *>(Label4), List1->viewport(),
                       static_cast<QWidget *>(ProgressBar1)}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
}

bool Form6::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Label2)
            Label2_MouseMove();
        else if (watched == Label3)
            Label3_MouseMove();
        else if (watched == Label4)
            Label4_MouseMove();
        else if (watched == List1->viewport())
            List1_MouseMove();
        else if (watched == ProgressBar1)
            ProgressBar1_MouseMove();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        auto *e = static_cast<QMouseEvent *>(event);
        auto *w = qobject_cast<QWidget *>(watched);
        if (e->button() == Qt::LeftButton && w && w->rect().contains(e->position().toPoint())) {
            if (watched == Label3)
                Label3_Click();
            else if (watched == Label4)
                Label4_Click();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form6::Form_Load()
{
    dayno = 0;
    dayin = 0;
    dayout = 0;
    ProgressBar1->setValue(0);
    const QSignalBlocker quiet(Combo1); // filling the list is not a choice
    for (const char *item : {"全部记录统计", "本年的全部记录统计", "本月的全部记录统计", "按照用户选范围统计"})
        Combo1->addItem(textcontrol(QString::fromUtf8(item), -1));
    Combo1->setCurrentIndex(-1);
}

void Form6::Form_Activate() { ProgressBar1->setValue(0); }

void Form6::day1(const QString &day) { Label3->setText(day); }
void Form6::day2(const QString &day) { Label4->setText(day); }

QString Form6::textcontrol(const QString &str, int x)
{
    if (!busy)
        lasttext = str;
    return ledger::padFeedback(lasttext, x != 0, userrange);
}

void Form6::textoutx(const QString &str)
{
    const bool kept = userrange;
    userrange = true;
    Label2->setText(textcontrol(str, 0));
    userrange = kept;
}

void Form6::erro(const QString &xx)
{
    busy = false;
    textoutx(xx);
    busy = true;
}

void Form6::jdt(qint64 zsh, int kz)
{
    if (kz == 0) {
        jdleft = zsh;
        jdsteps = zsh;
        jddone = 0;
        jdstep = zsh > 0 ? ledger::roundEven(100.0 / static_cast<double>(zsh)) : 0;
        ProgressBar1->setValue(0);
    } else if (kz == 1) {
        ++jddone;
        const qint64 s = ProgressBar1->value();
        if (jdstep > 0) {
            for (qint64 i = s; i <= s + jdstep && i < 100; ++i)
                ProgressBar1->setValue(static_cast<int>(i));
        } else if (jdsteps > 0) {
            // More steps than the bar has points: it follows the share of steps done, short of
            // the end, which the last two steps show.
            const qint64 share = std::min<qint64>(99, jddone * 100 / jdsteps);
            if (share > s)
                ProgressBar1->setValue(static_cast<int>(share));
        }
        if (jdleft == 1 || jdleft == 2)
            for (int v = 1; v <= 100; ++v)
                ProgressBar1->setValue(v);
        --jdleft;
    }
    if (ProgressBar1->value() == 100) {
        busy = false;
        textoutx(QStringLiteral("任务完成"));
        busy = true;
    }
}

void Form6::axd(const QString &str, int kz)
{
    if (kz == 0)
        addRecord(str);
    else if (kz == 1)
        List1->addItem(jkg(closeDay(), 0));
}

bool Form6::listx(const QString &strx)
{
    const QString key = ledger::dateKey(strx);
    if (key.isNull())
        return false;
    for (int i = 0; i < List1->count(); ++i) {
        const QString date = jkg(List1->item(i)->text(), 1).section(ledger::kSep, 0, 0);
        if (ledger::dateKey(date) == key)
            return true;
    }
    return false;
}

QString Form6::jkg(const QString &str, int kf) { return ledger::dayLine(str, kf); }
int Form6::lenx(const QString &str) { return ledger::displayWidth(str); }

void Form6::Combo1_DropDown() { textoutx(QStringLiteral("选择控制方式")); }

void Form6::Combo1_Click()
{
    const int index = Combo1->currentIndex();
    if (index >= 0 && index <= 2) {
        userrange = false;
        textoutx(QStringLiteral("正在检索数据库..."));
        busy = true;
        m_main->axd(kRequests[index], 101);
        busy = false;
    } else if (index == 3) {
        userrange = true;
        Label3->setText(QString());
        Label4->setText(QString());
    }
}

void Form6::Command1_Click()
{
    dayno = 0;
    listed.clear();
    List1->clear();
    textoutx(QStringLiteral("正在统计请稍后..."));
    busy = true;
    m_main->axd(QString(), 102, Form1::Given{{}, {Label3->text(), Label4->text()}});
    busy = false;
}

void Form6::Command2_Click()
{
    hide();
    ui::present(m_main);
}

namespace {
// The date picker reports the picked day to the start (first) or end label.
void pickDate(Form1 *main, bool first)
{
    Form2 *picker = main->form2();
    picker->sety(-1);
    picker->setx(first ? -1 : 0);
    ui::present(picker);
}
} // namespace

void Form6::Label3_Click()
{
    if (userrange)
        pickDate(m_main, true);
}

void Form6::Label4_Click()
{
    if (userrange)
        pickDate(m_main, false);
}

void Form6::Label2_MouseMove() { textoutx(QStringLiteral("系统反馈提示")); }
void Form6::Label3_MouseMove() { Label2->setText(textcontrol(QStringLiteral("单击此处选择起始日期"), 0)); }
void Form6::Label4_MouseMove() { Label2->setText(textcontrol(QStringLiteral("单击此处选择结束日期"), 0)); }
void Form6::List1_MouseMove() { textoutx(QStringLiteral("点击项目显示列表")); }
void Form6::ProgressBar1_MouseMove() { textoutx(QStringLiteral("这里表示任务进度")); }

void Form6::List1_Click()
{
    // The list makes its first line current when it takes the focus; only a chosen line counts.
    const QListWidgetItem *item = List1->currentItem();
    if (!item || !item->isSelected() || item->text().isEmpty())
        return;
    // The date as the line was made from it: the line shows it without its trailing spaces.
    const auto row = static_cast<std::size_t>(List1->row(item));
    const QString date = row < listed.size() ? listed[row].date : jkg(item->text(), 1).section(ledger::kSep, 0, 0);

    // Every category and product, both directions. The find dialog shows these options while
    // the query runs and is left with none, as it always was.
    Form4 *find = m_main->form4();
    find->setEveryOption(true);
    // The dialog's typed texts are not sent: one with a "|" in it would shift the date out of
    // its field.
    m_main->axd(ledger::kSep + QString(ledger::kSep) + date + ledger::kSep + QStringLiteral("6"), 8,
                Form1::Given{ledger::kEveryTransaction, {}});
    find->setEveryOption(false);
    // The records are listed in the main window, which this window may cover.
    ui::present(m_main);
}

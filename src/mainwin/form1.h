// The main window: owner of the ledger file and of all shared state, the three lists, the
// entry row, and the dispatcher axd through which every window reads and writes records.
#pragma once

#include "browse/ui_tx_list.h"
#include "ledger/find.h"
#include "ledger/random.h"
#include "ledger/stats.h"
#include "ledger/store.h"

#include <QDate>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

class Form2;
class Form3;
class Form4;
class Form5;
class Form6;
class Form7;

class Form1 : public QWidget {
    Q_OBJECT

public:
    // The main window on this ledger, which the program's start has opened.
    explicit Form1(std::unique_ptr<ledger::Store> store);
    ~Form1() override;

    // What a window hands the dispatcher besides the request: the find options (operation 8),
    // the chosen period (operation 102), the category and direction a deletion was confirmed
    // for (operation 1); for operation 4, whether List3's listing may be carried on over the
    // rows appended since (when nothing else changed) instead of listed afresh.
    struct Given {
        ledger::FindOptions find;
        ledger::PeriodText period;
        QString category{};
        QString direction{};
        bool extend = false;
    };

    // The dispatcher: splits the "|"-separated request, runs operation ff, rewrites the status
    // line. Returns 0, or 1 when the ledger file could not be read or written (the user has
    // then been told why and nothing was changed).
    int axd(const QString &str, int ff, const Given &given);
    int axd(const QString &str, int ff);
    void setx(int value);
    // The analysis windows read the ledger through this: use() runs on the rows as they read
    // them, or the user is told why the file could not be read and false is returned.
    bool readFacts(const std::function<void(const ledger::LedgerFacts &)> &use);
    // Entry check: true when rejected (the messages have been shown).
    bool pd(const QString &strs, const QString &kk);
    // Receives the date picked for the date box.
    void days(const QString &dat);
    // Delete confirmation: true when nothing may be deleted.
    bool pds(const QString &strs);
    // kf = 0: record text -> transaction line; otherwise line -> delete request.
    QString jkg(const QString &str, int kf);
    int lenx(const QString &str);

    // The other windows, each created on first use.
    Form2 *form2();
    Form3 *form3();
    Form4 *form4();
    Form5 *form5();
    Form6 *form6();
    Form7 *form7();
    bool hasForm(int number) const;

    ledger::Store *store() const { return m_store.get(); }
    // The transaction-number generator of the adding buttons, which a stock-take's rows share.
    ledger::Rnd &rnd() { return m_rnd; }

    // After rows came back (a restore in the 回收站) or another computer changed the ledger: the
    // lists are filled again as a fresh listing fills them, keeping the user's place: the chosen
    // category and product stay chosen (one that has gone is unchosen as after its deletion),
    // the boxes keep what is typed, and the chosen lines of List3 stay chosen.
    void relist();

    // The ledger record a line of List3 was made from (id 0 when it has none).
    ledger::Record lineRecord(int row) const;

    // Controls.
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9;
    QListWidget *List1, *List2;
    ui::TxList *List3;
    QGroupBox *Frame1;
    QRadioButton *Option1, *Option2;
    QLineEdit *Text1, *Text2, *Text4, *Text5, *Text6;
    QCheckBox *Check1, *Check2;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6, *Command7,
        *Command8, *Command9, *Command11, *Command12, *Command13;

    // Form-level state.
    QString lastreq;
    QString pickdate;
    // What the status line shows after an operation: the welcome line, the totals of the listed
    // transactions, the net amount of a find.
    enum StatusMode : int { StatusWelcome = 0, StatusTotals = 1, StatusFindAmount = 2 };
    StatusMode statusmode = StatusWelcome;
    double runtotal = 0;
    bool rangebusy = false;

public slots:
    void Form_Load();
    void Form_Activate();
    void Check1_Click();
    void Check2_Click();
    void Option1_Click();
    void Option2_Click();
    void List1_Click();
    void List2_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command11_Click();
    void Command12_Click();
    void Command13_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    QString direction() const;
    QString currentCategory() const;
    QString currentProduct() const;
    void writeStatus();
    // The ledger the program's start opened (a window without one is never made).
    ledger::Store &openStore();
    const std::vector<ledger::Record> &rows();
    // Replaces List3's lines with the transaction lines of these records.
    void fillList3(const ledger::RecordRefs &records);
    // What a deletion of the chosen category, or product, leaves: nothing below it chosen or listed.
    void forgetCategory();
    void forgetProduct();
    // List3's lines listed again for the chosen product, the same lines chosen and at the top.
    void relistTransactions();
    // What List3 lists for the chosen product: what it was listed for, and the fill, lines and
    // sums it came to over how many of the store's rows, under which count of its rewrites.
    struct ProductListing {
        QString category, product, direction;
        bool monthOnly = false;
        QDate today;
        quint64 fill = 0;
        int lines = 0;
        std::size_t rows = 0;
        quint64 rewrites = 0;
        qint64 quantitySum = 0;
        double amountSum = 0;
    };
    // The listing the chosen product and options ask for (its conditions only).
    ProductListing wantedListing() const;
    // True when List3 still shows m_listing and the store only appended rows since: the listing
    // of those conditions is m_listing carried on over the new rows.
    bool listingContinues(const ProductListing &wanted) const;
    // True when List1 and List2 are what they would be filled with: no category or product row
    // came or went since relist() last filled them.
    bool namesStand();

    // Operations of axd, grouped by the file that implements them.
    void op0(const QStringList &f);                   // add a record
    void op1(const QStringList &f, const Given &g);   // delete matching records
    void op2();                                       // category list
    void op3();                                       // product list
    void op4(bool extend);                            // transaction list
    void op5(const QString &line);                    // append a line
    void op6();                                       // find dialog: categories
    void op7();                                       // find dialog: products
    void op8(const QStringList &f, const ledger::FindOptions &o); // find query
    void op11();                                      // calculation dialog: products
    void op12();                                      // calculation dialog: categories
    void op13(const QStringList &f);                  // calculations
    bool op101(const QStringList &f);                 // period range; false: skip the trailer
    bool op102(const ledger::PeriodText &period); // statistics run; false: skip the trailer

    std::unique_ptr<ledger::Store> m_store;
    qint64 m_qsum = 0; // quantity sum of the current axd call
    ledger::Rnd m_rnd;
    ledger::Record m_lastAdded; // the row operation 0 stored last, with its id
    ProductListing m_listing;
    // The store's rewrites and rows when relist() last saw the name lists as they should be.
    quint64 m_namesRewrites = ~quint64(0);
    std::size_t m_namesRows = 0;
    QPointer<Form2> m_form2;
    QPointer<Form3> m_form3;
    QPointer<Form4> m_form4;
    QPointer<Form5> m_form5;
    QPointer<Form6> m_form6;
    QPointer<Form7> m_form7;
};

#include "about/form3.h"

#include "ledger/ledger_folder.h"
#include "ledger/server_store.h"
#include "mainwin/form1.h"
#include "mainwin/ui_app.h"
#include "mainwin/ui_keys.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>

Form3::Form3(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    using ui::twips;
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("关于"));
    // A band under the button says where the ledger lives; everything above is unchanged.
    setFixedSize(twips(0, 0, 4680, 1965 + 900).size());

    auto label = [this](const char *name, const QString &text, QRect geometry) {
        auto *l = ui::control<QLabel>(this, name, text, geometry);
        l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        return l;
    };
    Label1 = label("Label1", QStringLiteral("禾岚小型仓储管理软件"), twips(1320, 240, 2055, 255));
    Label2 = label("Label2", QStringLiteral("    VER 1.2"), twips(1320, 600, 2055, 255));
    Label3 = label("Label3", QStringLiteral("欢迎您提出宝贵的意见和建议"), twips(720, 840, 3375, 255));
    Label4 = label("Label4", QStringLiteral("谢谢使用！"), twips(1800, 1200, 1215, 255));
    Command1 = ui::control<QPushButton>(this, "Command1", QStringLiteral("确定"), twips(1560, 1560, 1455, 300));
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    ui::dialogKeys(this, Command1, Command1);
    Label5 = label("Label5", QString(), twips(120, 1980, 4440, 840));
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui::plainLabels(this); // a folder may be named like markup
    showLedgerPlace();
}

void Form3::showLedgerPlace()
{
    const QString home = QDir::homePath();
    auto shown = [&home](const QString &path) {
        const QString p = QDir::cleanPath(path);
        return p.startsWith(home + QLatin1Char('/')) ? QStringLiteral("~") + p.mid(home.size()) : p;
    };
    // The file the main window works on, wherever the start found it.
    const QString ledgerFile = QFileInfo(m_main->store() ? m_main->store()->path() : ledger::kLedgerFileName).absoluteFilePath();
    const QString menuFolder = ledger::userLedgerFolder(home, qEnvironmentVariable("XDG_DATA_HOME"));
    // A server ledger is named by host and database only.
    const bool onServer = dynamic_cast<const ledger::ServerStore *>(m_main->store()) != nullptr;
    const QStringList lines = {onServer ? QStringLiteral("账本：服务器“%1”").arg(m_main->store()->path())
                                        : QStringLiteral("账本：") + shown(ledgerFile),
                               QStringLiteral("从菜单启动时：") + shown(menuFolder),
                               QStringLiteral("另选文件夹：warehouse --folder 文件夹")};
    QStringList fitted;
    for (const QString &line : lines)
        fitted << Label5->fontMetrics().elidedText(line, Qt::ElideMiddle, Label5->width());
    Label5->setText(fitted.join(QLatin1Char('\n')));
    // A tooltip takes any text that looks like markup for markup; this one is made plain first.
    Label5->setToolTip(Qt::convertFromPlainText(
        QStringLiteral("账本：%1\n从主目录（如桌面菜单）启动且主目录中没有 1.mdb 时，账本在 %2；"
                       "文件夹中已有 1.mdb 时就用该文件夹。")
            .arg(QDir::toNativeSeparators(ledgerFile), QDir::toNativeSeparators(menuFolder))));
}

void Form3::Command1_Click()
{
    m_main->setx(0);
    hide();
}

#include "about/form3.h"

#include "mainwin/form1.h"
#include "mainwin/ui_app.h"

#include <QLabel>
#include <QPushButton>

Form3::Form3(Form1 *main) : QWidget(main, Qt::Window), m_main(main)
{
    using ui::twips;
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("关于"));
    setFixedSize(twips(0, 0, 4680, 1965).size());

    auto label = [this](const char *name, const QString &text, QRect geometry) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(geometry);
        l->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        return l;
    };
    Label1 = label("Label1", QStringLiteral("禾岚小型仓储管理软件"), twips(1320, 240, 2055, 255));
    Label2 = label("Label2", QStringLiteral("    VER 1.2"), twips(1320, 600, 2055, 255));
    Label3 = label("Label3", QStringLiteral("欢迎您提出宝贵的意见和建议"), twips(720, 840, 3375, 255));
    Label4 = label("Label4", QStringLiteral("谢谢使用！"), twips(1800, 1200, 1215, 255));
    Command1 = new QPushButton(QStringLiteral("确定"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(1560, 1560, 1455, 300));
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

void Form3::Command1_Click()
{
    m_main->setx(0);
    hide();
}

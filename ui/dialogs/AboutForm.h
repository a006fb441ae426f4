#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace Ui {

// Widget set of the about dialog, laid out in code the way a generated form is.
class AboutForm
{
public:
    QVBoxLayout* verticalLayout_2;
    QFrame* topFrame;
    QHBoxLayout* horizontalLayout_2;
    QLabel* TitleLab;
    QSpacerItem* horizontalSpacer;
    QPushButton* closeBtn;
    QHBoxLayout* horizontalLayout_3;
    QLabel* logo;
    QVBoxLayout* verticalLayout;
    QHBoxLayout* horizontalLayout;
    QLabel* version;
    QSpacerItem* horizontalSpacer_2;
    QPushButton* ok;
    QSpacerItem* horizontalSpacer_3;
    QLabel* copyRight;

    void setupUi(QDialog* AboutForm)
    {
        if (AboutForm->objectName().isEmpty())
            AboutForm->setObjectName(QString::fromUtf8("AboutForm"));
        AboutForm->resize(400, 137);

        verticalLayout_2 = new QVBoxLayout(AboutForm);
        verticalLayout_2->setSpacing(0);
        verticalLayout_2->setObjectName(QString::fromUtf8("verticalLayout_2"));
        verticalLayout_2->setContentsMargins(0, 0, 0, 20);

        topFrame = new QFrame(AboutForm);
        topFrame->setObjectName(QString::fromUtf8("topFrame"));
        topFrame->setFrameShape(QFrame::StyledPanel);
        topFrame->setFrameShadow(QFrame::Raised);

        horizontalLayout_2 = new QHBoxLayout(topFrame);
        horizontalLayout_2->setSpacing(0);
        horizontalLayout_2->setObjectName(QString::fromUtf8("horizontalLayout_2"));
        horizontalLayout_2->setContentsMargins(10, 0, 5, 0);

        TitleLab = new QLabel(topFrame);
        TitleLab->setObjectName(QString::fromUtf8("TitleLab"));
        horizontalLayout_2->addWidget(TitleLab);

        horizontalSpacer = new QSpacerItem(354, 32, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout_2->addItem(horizontalSpacer);

        closeBtn = new QPushButton(topFrame);
        closeBtn->setObjectName(QString::fromUtf8("closeBtn"));
        closeBtn->setMaximumSize(QSize(18, 18));
        horizontalLayout_2->addWidget(closeBtn);

        verticalLayout_2->addWidget(topFrame);

        horizontalLayout_3 = new QHBoxLayout();
        horizontalLayout_3->setSpacing(20);
        horizontalLayout_3->setObjectName(QString::fromUtf8("horizontalLayout_3"));
        horizontalLayout_3->setContentsMargins(10, 5, 10, -1);

        logo = new QLabel(AboutForm);
        logo->setObjectName(QString::fromUtf8("logo"));
        horizontalLayout_3->addWidget(logo);

        verticalLayout = new QVBoxLayout();
        verticalLayout->setSpacing(0);
        verticalLayout->setObjectName(QString::fromUtf8("verticalLayout"));
        verticalLayout->setContentsMargins(-1, 20, -1, -1);

        horizontalLayout = new QHBoxLayout();
        horizontalLayout->setSpacing(0);
        horizontalLayout->setObjectName(QString::fromUtf8("horizontalLayout"));

        version = new QLabel(AboutForm);
        version->setObjectName(QString::fromUtf8("version"));
        horizontalLayout->addWidget(version);

        horizontalSpacer_2 = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer_2);

        ok = new QPushButton(AboutForm);
        ok->setObjectName(QString::fromUtf8("ok"));
        ok->setMinimumSize(QSize(50, 20));
        horizontalLayout->addWidget(ok);

        horizontalSpacer_3 = new QSpacerItem(30, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer_3);

        verticalLayout->addLayout(horizontalLayout);

        copyRight = new QLabel(AboutForm);
        copyRight->setObjectName(QString::fromUtf8("copyRight"));
        verticalLayout->addWidget(copyRight);

        horizontalLayout_3->addLayout(verticalLayout);

        verticalLayout_2->addLayout(horizontalLayout_3);
        verticalLayout_2->setStretch(1, 1);

        retranslateUi(AboutForm);

        QMetaObject::connectSlotsByName(AboutForm);
    }

    void retranslateUi(QDialog* AboutForm)
    {
        AboutForm->setWindowTitle(QCoreApplication::translate("AboutForm", "Dialog", nullptr));
        TitleLab->setText(QString());
        closeBtn->setText(QString());
        logo->setText(QString());
        version->setText(QString());
        ok->setText(QString());
        copyRight->setText(QString());
    }
};

} // namespace Ui

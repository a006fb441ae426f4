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

// Widget set of the message box, laid out in code the way a generated form is.
class MessageBox
{
public:
    QVBoxLayout* verticalLayout_3;
    QFrame* topFrame;
    QHBoxLayout* horizontalLayout_3;
    QLabel* titleLab;
    QSpacerItem* horizontalSpacer_2;
    QPushButton* closeBtn;
    QHBoxLayout* horizontalLayout_2;
    QVBoxLayout* verticalLayout_2;
    QSpacerItem* verticalSpacer;
    QLabel* IconLab;
    QSpacerItem* verticalSpacer_2;
    QVBoxLayout* verticalLayout;
    QSpacerItem* verticalSpacer_3; // above the text
    QLabel* contentText;
    QSpacerItem* verticalSpacer_4; // below the text
    QHBoxLayout* horizontalLayout;
    QSpacerItem* horizontalSpacer;
    QPushButton* cancelBtn;
    QPushButton* okBtn;

    void setupUi(QDialog* MessageBox)
    {
        if (MessageBox->objectName().isEmpty())
            MessageBox->setObjectName(QString::fromUtf8("MessageBox"));
        MessageBox->setWindowModality(Qt::WindowModal);
        MessageBox->resize(422, 200);
        QSizePolicy sizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        sizePolicy.setHorizontalStretch(0);
        sizePolicy.setVerticalStretch(0);
        sizePolicy.setHeightForWidth(MessageBox->sizePolicy().hasHeightForWidth());
        MessageBox->setSizePolicy(sizePolicy);
        MessageBox->setMinimumSize(QSize(342, 200));
        MessageBox->setMaximumSize(QSize(666666, 666666));
        MessageBox->setStyleSheet(QString::fromUtf8("background-color:#172335;"));

        verticalLayout_3 = new QVBoxLayout(MessageBox);
        verticalLayout_3->setSpacing(0);
        verticalLayout_3->setObjectName(QString::fromUtf8("verticalLayout_3"));
        verticalLayout_3->setContentsMargins(0, 0, 0, 10);

        topFrame = new QFrame(MessageBox);
        topFrame->setObjectName(QString::fromUtf8("topFrame"));
        topFrame->setMinimumSize(QSize(0, 40));
        topFrame->setStyleSheet(QString::fromUtf8("background-color:#0b121e;"));
        topFrame->setFrameShape(QFrame::StyledPanel);
        topFrame->setFrameShadow(QFrame::Raised);

        horizontalLayout_3 = new QHBoxLayout(topFrame);
        horizontalLayout_3->setSpacing(0);
        horizontalLayout_3->setObjectName(QString::fromUtf8("horizontalLayout_3"));
        horizontalLayout_3->setContentsMargins(10, 0, 10, 0);

        titleLab = new QLabel(topFrame);
        titleLab->setObjectName(QString::fromUtf8("titleLab"));
        horizontalLayout_3->addWidget(titleLab);

        horizontalSpacer_2 = new QSpacerItem(345, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout_3->addItem(horizontalSpacer_2);

        closeBtn = new QPushButton(topFrame);
        closeBtn->setObjectName(QString::fromUtf8("closeBtn"));
        closeBtn->setMaximumSize(QSize(18, 18));
        horizontalLayout_3->addWidget(closeBtn);

        verticalLayout_3->addWidget(topFrame);

        horizontalLayout_2 = new QHBoxLayout();
        horizontalLayout_2->setSpacing(20);
        horizontalLayout_2->setObjectName(QString::fromUtf8("horizontalLayout_2"));
        horizontalLayout_2->setContentsMargins(20, 20, 20, 10);

        verticalLayout_2 = new QVBoxLayout();
        verticalLayout_2->setSpacing(0);
        verticalLayout_2->setObjectName(QString::fromUtf8("verticalLayout_2"));
        verticalSpacer = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
        verticalLayout_2->addItem(verticalSpacer);

        IconLab = new QLabel(MessageBox);
        IconLab->setObjectName(QString::fromUtf8("IconLab"));
        verticalLayout_2->addWidget(IconLab);

        verticalSpacer_2 = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
        verticalLayout_2->addItem(verticalSpacer_2);

        horizontalLayout_2->addLayout(verticalLayout_2);

        verticalLayout = new QVBoxLayout();
        verticalLayout->setSpacing(0);
        verticalLayout->setObjectName(QString::fromUtf8("verticalLayout"));
        verticalSpacer_3 = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
        verticalLayout->addItem(verticalSpacer_3);

        contentText = new QLabel(MessageBox);
        contentText->setObjectName(QString::fromUtf8("contentText"));
        contentText->setLayoutDirection(Qt::LeftToRight);
        contentText->setFrameShadow(QFrame::Plain);
        verticalLayout->addWidget(contentText);

        verticalSpacer_4 = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
        verticalLayout->addItem(verticalSpacer_4);

        horizontalLayout_2->addLayout(verticalLayout);
        horizontalLayout_2->setStretch(1, 1);

        verticalLayout_3->addLayout(horizontalLayout_2);

        horizontalLayout = new QHBoxLayout();
        horizontalLayout->setSpacing(10);
        horizontalLayout->setObjectName(QString::fromUtf8("horizontalLayout"));
        horizontalLayout->setContentsMargins(-1, -1, 20, -1);
        horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer);

        cancelBtn = new QPushButton(MessageBox);
        cancelBtn->setObjectName(QString::fromUtf8("cancelBtn"));
        cancelBtn->setMinimumSize(QSize(73, 25));
        cancelBtn->setStyleSheet(QString::fromUtf8("\tcolor:#CCD3DD;\n"
                                                   "\tbackground-color:#24344C;\n"
                                                   "\tborder:1px;\n"
                                                   "\tborder-color:#24344C;\n"
                                                   "\tborder-radius:2px;\n"
                                                   "\tpadding:2px 4px;"));
        horizontalLayout->addWidget(cancelBtn);

        okBtn = new QPushButton(MessageBox);
        okBtn->setObjectName(QString::fromUtf8("okBtn"));
        okBtn->setMinimumSize(QSize(73, 25));
        okBtn->setStyleSheet(QString::fromUtf8("QPushButton#okBtn{\n"
                                               "\tbackground: #2c7dce;\n"
                                               "}\n"
                                               "QPushButton#okBtn:hover{\n"
                                               "\tbackground: #3286da;\n"
                                               "}"));
        horizontalLayout->addWidget(okBtn);

        verticalLayout_3->addLayout(horizontalLayout);

        retranslateUi(MessageBox);

        QMetaObject::connectSlotsByName(MessageBox);
    }

    void retranslateUi(QDialog* MessageBox)
    {
        MessageBox->setWindowTitle(QCoreApplication::translate("MessageBox", "Widget", nullptr));
        titleLab->setText(QString());
        closeBtn->setText(QString());
        IconLab->setText(QString());
        contentText->setText(QString());
        cancelBtn->setText(QString());
        okBtn->setText(QString());
    }
};

} // namespace Ui

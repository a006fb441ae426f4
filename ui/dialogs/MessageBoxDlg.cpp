// SPDX-License-Identifier: MIT
#include "dialogs/MessageBoxDlg.h"

#include "ui_MessageBox.h"
#include "widgets/WindowDrag.h"

#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPixmap>

MessageBoxDlg::MessageBoxDlg(QWidget* parent)
    : QDialog(parent),
      ui_(new Ui::MessageBox),
      clickedButton_(QMessageBox::Cancel)
{
    ui_->setupUi(this);
    new WindowDrag(this);

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(":/Resources/Brelvo 32_32.ico"));

    ui_->contentText->setAlignment(Qt::AlignTop);
    ui_->contentText->setWordWrap(true);

    connect(ui_->closeBtn, &QPushButton::clicked, this, &QDialog::close);
    connect(ui_->okBtn, &QPushButton::clicked, this, [this] {
        accept();
        clickedButton_ = QMessageBox::Ok;
    });
    connect(ui_->cancelBtn, &QPushButton::clicked, this, [this] {
        reject();
        clickedButton_ = QMessageBox::Cancel;
    });
}

MessageBoxDlg::~MessageBoxDlg() = default;

int MessageBoxDlg::information(QWidget* parent, const QString& title, const QString& content)
{
    return showBox(parent, title, content, ":/Resources/ico_information.png", true, Default::Ok);
}

int MessageBoxDlg::question(QWidget* parent, const QString& title, const QString& content, Default enter)
{
    return showBox(parent, title, content, ":/Resources/ico_question.png", true, enter);
}

int MessageBoxDlg::warning(QWidget* parent, const QString& title, const QString& content)
{
    return showBox(parent, title, content, ":/Resources/ico_warning.png", false, Default::Ok);
}

int MessageBoxDlg::showBox(QWidget* parent, const QString& title, const QString& content,
                           const QString& iconPath, bool withCancel, Default enter)
{
    MessageBoxDlg dlg(parent);
    dlg.ui_->IconLab->setPixmap(QPixmap(iconPath));
    dlg.ui_->cancelBtn->setVisible(withCancel);
    // The style sheet draws the default button in blue: the one Enter presses.
    QPushButton* pressed = withCancel && enter == Default::Cancel ? dlg.ui_->cancelBtn : dlg.ui_->okBtn;
    pressed->setDefault(true);
    pressed->setFocus();
    dlg.loadTexts();
    dlg.ui_->titleLab->setText(title);
    // Replaces the tips page that loadTexts put there. Shown as written:
    // a message may carry paths and names, which must not be taken for markup.
    dlg.ui_->contentText->setTextFormat(Qt::PlainText);
    dlg.ui_->contentText->setText(content);
    // A long message (the three erase warnings) wraps to more lines than the
    // form's 200 pixels hold; grow the box downwards so nothing is cut off.
    // Short messages keep the form's size. (Part of any added height may go
    // to the spacers around the text, hence the few rounds.)
    dlg.ensurePolished();
    if (QLayout* layout = dlg.layout()) {
        QLabel* text = dlg.ui_->contentText;
        for (int round = 0; round < 4; ++round) {
            layout->invalidate();
            layout->activate();
            const int missing = text->heightForWidth(text->width()) - text->height();
            if (missing <= 0)
                break;
            dlg.resize(dlg.width(), dlg.height() + missing);
        }
    }
    dlg.exec();
    return dlg.clickedButton_;
}

void MessageBoxDlg::showStartTips(QWidget* parent)
{
    MessageBoxDlg dlg(parent);
    dlg.ui_->topFrame->hide();
    dlg.ui_->IconLab->hide();
    dlg.ui_->cancelBtn->hide();
    dlg.ui_->okBtn->setDefault(true);

    const int width = dlg.width();
    dlg.ui_->spaceAboveText->changeSize(width, 10, QSizePolicy::Minimum, QSizePolicy::Minimum);
    dlg.ui_->spaceBelowText->changeSize(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum);
    dlg.ui_->verticalLayout->invalidate();

    dlg.loadTexts();
    dlg.ui_->contentText->adjustSize();
    dlg.resize(400, 500);
    dlg.exec();
}

QString MessageBoxDlg::tipsTemplate()
{
    return QStringLiteral("<div style='text-align:center;'><a style='font-size:20px;'>%7</a>"
                          "</div><br/><br/>")
        + QString(11, QLatin1Char('\t'))
        + QStringLiteral("<a style='font-size:16px;'>%1<br/><br/>%2<br/><br/>")
        + QString(15, QLatin1Char('\t'))
        + QStringLiteral("%3<br/><br/>%4<br/><br/>5.</a>")
        + QString(20, QLatin1Char('\t'))
        + QStringLiteral("<b style='font-size:16px;color:#FF0000'>%5</b>")
        + QString(4, QLatin1Char('\t')) + QString(4, QLatin1Char(' '))
        + QString(11, QLatin1Char('\t'))
        + QStringLiteral("<c style='font-size:16px;'>%6</c>");
}

QString MessageBoxDlg::tipsPage(const QStringList& contents, const QString& heading)
{
    const auto part = [&contents](int i) { return i < contents.size() ? contents.at(i) : QString(); };
    return tipsTemplate().arg(part(0), part(1), part(2), part(3), part(4), part(5), heading);
}

void MessageBoxDlg::loadTexts()
{
    ui_->okBtn->setText(tr("PushButton.ok"));
    ui_->cancelBtn->setText(tr("PushButton.cancel"));

    const QStringList contents = {
        tr("TipContent.content1"), tr("TipContent.content2"), tr("TipContent.content3"),
        tr("TipContent.content4"), tr("TipContent.content5"), tr("TipContent.content6"),
    };
    ui_->contentText->setText(tipsPage(contents, tr("Title.readBefore")));
}

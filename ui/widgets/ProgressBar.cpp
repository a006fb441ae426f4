#include "widgets/ProgressBar.h"

ProgressBar::ProgressBar(QWidget* parent)
    : QProgressBar(parent)
{
    setStyleSheet("QProgressBar{ border: 1px solid #2c7dce;   border-radius: 5px; "
                  "background-color: #172335; margin-left:20px; margin-right:20px;"
                  "margin-top: 6px; margin-bottom: 6px; text-align: center;color:#ccd3dd;}"
                  "QProgressBar::chunk {background-color: #2c7dce ;}");
}

ProgressBar::~ProgressBar() = default;

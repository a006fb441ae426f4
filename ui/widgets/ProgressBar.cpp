// SPDX-License-Identifier: MIT
#include "widgets/ProgressBar.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

namespace {

// Inset of the bar from its table cell, its corners and its ground.
constexpr int kMarginX = 20;
constexpr int kMarginY = 6;
constexpr qreal kRadius = 5;
const QColor kGround(0x17, 0x23, 0x35);
const QColor kRunningText(0xcc, 0xd3, 0xdd);

// The bar empty or full, for one size and outcome. Every bar of the table
// has the same size, so a handful of images serve them all; painting a bar
// is then two copies and its text.
QPixmap barImage(const QSize& size, qreal ratio, Outcome outcome, bool full)
{
    const QString key = QStringLiteral("brelvo-bar-%1x%2@%3-%4-%5")
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio)
                            .arg(static_cast<int>(outcome))
                            .arg(int(full));
    QPixmap image;
    if (QPixmapCache::find(key, &image))
        return image;

    image = QPixmap(size * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor chunk = outcomeChunkColour(outcome);
    const QColor frame = outcome == Outcome::Running ? chunk : outcomeTextColour(outcome);
    p.setPen(QPen(frame, 1));
    p.setBrush(kGround);
    p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1.0, size.height() - 1.0), kRadius, kRadius);
    if (full) {
        p.setPen(Qt::NoPen);
        p.setBrush(chunk);
        p.drawRoundedRect(QRectF(1, 1, size.width() - 2.0, size.height() - 2.0), kRadius - 1, kRadius - 1);
    }
    p.end();
    QPixmapCache::insert(key, image);
    return image;
}

} // namespace

ProgressBar::ProgressBar(QWidget* parent)
    : QProgressBar(parent)
{
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

ProgressBar::~ProgressBar() = default;

void ProgressBar::setOutcome(Outcome outcome)
{
    if (outcome == outcome_)
        return;
    outcome_ = outcome;
    update();
}

// Drawn here rather than by a style sheet: a sheet per bar made every change
// of outcome a new parse and every repaint a trip through the sheet's rules
// and an antialiased outline. Running keeps the look the bars always had
// (blue frame and chunk, light text); a result takes its colour on the frame
// and the chunk, and white text, readable on either.
void ProgressBar::paintEvent(QPaintEvent* /*event*/)
{
    const QRect box = rect().adjusted(kMarginX, kMarginY, -kMarginX, -kMarginY);
    if (box.width() <= 2 || box.height() <= 2)
        return;
    const qreal ratio = devicePixelRatioF();

    QPainter p(this);
    p.drawPixmap(box.topLeft(), barImage(box.size(), ratio, outcome_, false));

    const qint64 span = qint64(maximum()) - minimum();
    const qint64 done = qBound<qint64>(0, qint64(value()) - minimum(), span);
    if (span > 0 && done > 0) {
        // The chunk: the full image's left part, up to the value; the
        // border is part of it, so the frame closes round a full bar.
        const int inner = box.width() - 2;
        const int width = done == span ? box.width() : 1 + static_cast<int>(inner * done / span);
        const QPixmap full = barImage(box.size(), ratio, outcome_, true);
        p.drawPixmap(QRectF(box.left(), box.top(), width, box.height()), full,
                     QRectF(0, 0, width * ratio, box.height() * ratio));
    }

    p.setPen(outcome_ == Outcome::Running ? kRunningText : QColor(Qt::white));
    p.drawText(box, Qt::AlignCenter, text());
}

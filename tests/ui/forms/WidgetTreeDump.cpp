#include "WidgetTreeDump.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMetaEnum>
#include <QSpacerItem>
#include <QTableWidget>
#include <QTextStream>
#include <QWidget>

namespace {

QString sizeText(const QSize& s)
{
    return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
}

QString policyText(const QSizePolicy& p)
{
    const QMetaEnum e = QMetaEnum::fromType<QSizePolicy::Policy>();
    QString s = QStringLiteral("%1/%2").arg(QLatin1String(e.valueToKey(p.horizontalPolicy())),
                                            QLatin1String(e.valueToKey(p.verticalPolicy())));
    if (p.horizontalStretch() || p.verticalStretch())
        s += QStringLiteral("/%1,%2").arg(p.horizontalStretch()).arg(p.verticalStretch());
    return s;
}

// Texts and style sheets on one line: control characters spelt out.
QString quoted(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

class Dumper
{
public:
    QString out;

    void widget(QWidget* w, int depth, bool top)
    {
        QString line = QStringLiteral("widget %1 %2").arg(w->objectName(), QLatin1String(w->metaObject()->className()));
        if (top) {
            line += QStringLiteral(" size=%1 title=%2 modality=%3")
                        .arg(sizeText(w->size()), quoted(w->windowTitle()))
                        .arg(int(w->windowModality()));
        } else {
            const QRect g = w->geometry();
            line += QStringLiteral(" geom=%1,%2,%3").arg(g.x()).arg(g.y()).arg(sizeText(g.size()));
        }
        line += QStringLiteral(" min=%1 max=%2 policy=%3")
                    .arg(sizeText(w->minimumSize()), sizeText(w->maximumSize()), policyText(w->sizePolicy()));
        if (w->isHidden() && !top)
            line += QStringLiteral(" hidden");
        if (w->layoutDirection() != Qt::LeftToRight)
            line += QStringLiteral(" rtl");
        if (auto* label = qobject_cast<QLabel*>(w))
            line += QStringLiteral(" text=%1 align=0x%2 wrap=%3")
                        .arg(quoted(label->text()))
                        .arg(int(label->alignment()), 0, 16)
                        .arg(int(label->wordWrap()));
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            line += QStringLiteral(" text=%1").arg(quoted(button->text()));
            if (button->isCheckable())
                line += QStringLiteral(" checked=%1").arg(int(button->isChecked()));
        }
        if (auto* frame = qobject_cast<QFrame*>(w))
            line += QStringLiteral(" frame=%1/%2").arg(int(frame->frameShape())).arg(int(frame->frameShadow()));
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            line += QStringLiteral(" scroll=%1/%2")
                        .arg(int(area->horizontalScrollBarPolicy()))
                        .arg(int(area->verticalScrollBarPolicy()));
        if (auto* table = qobject_cast<QTableWidget*>(w))
            line += QStringLiteral(" columns=%1 minSection=%2")
                        .arg(table->columnCount())
                        .arg(table->horizontalHeader()->minimumSectionSize());
        if (!w->styleSheet().isEmpty())
            line += QStringLiteral(" style=%1").arg(quoted(w->styleSheet()));
        put(depth, line);
        if (QLayout* l = w->layout())
            layout(l, depth + 1);
    }

    void layout(QLayout* l, int depth)
    {
        const QMargins m = l->contentsMargins();
        QString line = QStringLiteral("layout %1 %2 spacing=%3 margins=%4,%5,%6,%7")
                           .arg(l->objectName(), QLatin1String(l->metaObject()->className()))
                           .arg(l->spacing())
                           .arg(m.left())
                           .arg(m.top())
                           .arg(m.right())
                           .arg(m.bottom());
        if (auto* box = qobject_cast<QBoxLayout*>(l)) {
            QStringList stretch;
            for (int i = 0; i < box->count(); ++i)
                stretch << QString::number(box->stretch(i));
            line += QStringLiteral(" stretch=") + stretch.join(QLatin1Char(','));
        }
        put(depth, line);
        for (int i = 0; i < l->count(); ++i) {
            QLayoutItem* item = l->itemAt(i);
            if (QWidget* w = item->widget())
                widget(w, depth + 1, false);
            else if (QLayout* sub = item->layout())
                layout(sub, depth + 1);
            else if (QSpacerItem* spacer = item->spacerItem())
                put(depth + 1, QStringLiteral("spacer hint=%1 policy=%2 geom=%3,%4,%5")
                                    .arg(sizeText(spacer->sizeHint()), policyText(spacer->sizePolicy()))
                                    .arg(spacer->geometry().x())
                                    .arg(spacer->geometry().y())
                                    .arg(sizeText(spacer->geometry().size())));
        }
    }

private:
    void put(int depth, const QString& line) { out += QString(depth * 2, QLatin1Char(' ')) + line + QLatin1Char('\n'); }
};

} // namespace

QString dumpWidgetTree(QWidget* top)
{
    Dumper d;
    d.widget(top, 0, true);
    return d.out;
}

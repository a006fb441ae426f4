// SPDX-License-Identifier: MIT
// The four forms (main window, message box, about dialog, log window) against committed
// dumps of their widget trees: names, classes, geometry, sizes, policies,
// layout spacing and margins, texts and own style sheets. The dumps were taken
// of the forms as first written, so any change to a form shows up here as a
// line that differs. Geometry depends on the fonts: the dumps were taken with
// the fonts scripts/install-deps installs (BRELVO_UPDATE_EXPECTED=1 rewrites
// them after an intended change to a form).
#include "dialogs/LogWindow.h"
#include "dialogs/MessageBoxDlg.h"
#include "dialogs/VersionInfo.h"
#include "mainwindow/Brelvo.h"
#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QHeaderView>
#include <QLayout>
#include <QMetaEnum>
#include <QTableWidget>

#include <memory>
#include <optional>

namespace {

QString sizeText(const QSize& s) { return QStringLiteral("%1x%2").arg(s.width()).arg(s.height()); }
QString rectText(const QRect& g) { return QStringLiteral("%1,%2,%3").arg(g.x()).arg(g.y()).arg(sizeText(g.size())); }

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
QString quoted(QString s)
{
    for (const auto& [from, to] : {std::pair{"\\", "\\\\"}, {"\n", "\\n"}, {"\r", "\\r"}, {"\t", "\\t"}, {"\"", "\\\""}})
        s.replace(QLatin1String(from), QLatin1String(to));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// One line per widget, layout and spacer of a form, indented by depth, in
// layout order: object name, class, geometry, minimum/maximum size, size
// policy, layout spacing, margins and stretch, and the few properties the
// style sheet or the code rely on (texts, own style sheets, frames). A
// widget's inside (a combo box's list, a table's headers) is not walked:
// only what the form itself places.
class Dumper
{
public:
    QString out;

    void widget(QWidget* w, int depth, bool top)
    {
        QString line = QStringLiteral("widget %1 %2").arg(w->objectName(), QLatin1String(w->metaObject()->className()));
        line += top ? QStringLiteral(" size=%1 title=%2 modality=%3")
                          .arg(sizeText(w->size()), quoted(w->windowTitle())).arg(int(w->windowModality()))
                    : QStringLiteral(" geom=") + rectText(w->geometry());
        line += QStringLiteral(" min=%1 max=%2 policy=%3")
                    .arg(sizeText(w->minimumSize()), sizeText(w->maximumSize()), policyText(w->sizePolicy()));
        line += QLatin1String(w->isHidden() && !top ? " hidden" : "")
            + QLatin1String(w->layoutDirection() != Qt::LeftToRight ? " rtl" : "");
        if (auto* label = qobject_cast<QLabel*>(w))
            line += QStringLiteral(" text=%1 align=0x%2 wrap=%3")
                        .arg(quoted(label->text())).arg(int(label->alignment()), 0, 16).arg(int(label->wordWrap()));
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            line += QStringLiteral(" text=") + quoted(button->text())
                + (button->isCheckable() ? QStringLiteral(" checked=%1").arg(int(button->isChecked())) : QString());
        if (auto* frame = qobject_cast<QFrame*>(w))
            line += QStringLiteral(" frame=%1/%2").arg(int(frame->frameShape())).arg(int(frame->frameShadow()));
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
            line += QStringLiteral(" scroll=%1/%2").arg(area->horizontalScrollBarPolicy()).arg(area->verticalScrollBarPolicy());
        if (auto* table = qobject_cast<QTableWidget*>(w))
            line += QStringLiteral(" columns=%1 minSection=%2")
                        .arg(table->columnCount()).arg(table->horizontalHeader()->minimumSectionSize());
        if (!w->styleSheet().isEmpty())
            line += QStringLiteral(" style=") + quoted(w->styleSheet());
        put(depth, line);
        if (QLayout* l = w->layout())
            layout(l, depth + 1);
    }

    void layout(QLayout* l, int depth)
    {
        const QMargins m = l->contentsMargins();
        QString line = QStringLiteral("layout %1 %2 spacing=%3 margins=%4,%5,%6,%7")
                           .arg(l->objectName(), QLatin1String(l->metaObject()->className()))
                           .arg(l->spacing()).arg(m.left()).arg(m.top()).arg(m.right()).arg(m.bottom());
        if (auto* box = qobject_cast<QBoxLayout*>(l)) {
            QStringList stretch;
            for (int i = 0; i < box->count(); ++i)
                stretch << QString::number(box->stretch(i));
            line += QStringLiteral(" stretch=") + stretch.join(QLatin1Char(','));
        }
        put(depth, line);
        for (int i = 0; i < l->count(); ++i) {
            QLayoutItem* item = l->itemAt(i);
            if (item->widget())
                widget(item->widget(), depth + 1, false);
            else if (item->layout())
                layout(item->layout(), depth + 1);
            else if (QSpacerItem* spacer = item->spacerItem())
                put(depth + 1, QStringLiteral("spacer hint=%1 policy=%2 geom=%3")
                                   .arg(sizeText(spacer->sizeHint()), policyText(spacer->sizePolicy()),
                                        rectText(spacer->geometry())));
        }
    }

private:
    void put(int depth, const QString& line) { out += QString(depth * 2, QLatin1Char(' ')) + line + QLatin1Char('\n'); }
};

} // namespace

class FormTreeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile sheet(QStringLiteral(":/Resources/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }

    void form_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"Brelvo", "MessageBox", "AboutForm", "LogWindow"})
            QTest::newRow(name) << name;
    }

    void form()
    {
        QFETCH(QString, name);
        QString dump;
        {
            // The about dialog and the log take their texts from the catalogue the window installs.
            std::optional<ui_test::Catalogue> english;
            if (name == QLatin1String("AboutForm") || name == QLatin1String("LogWindow"))
                english.emplace(QStringLiteral("English.qm"));
            ui_test::LanguageChanges changes;  // the window installs its catalogue; a dialog never does
            std::unique_ptr<QWidget> form(name == QLatin1String("Brelvo")       ? static_cast<QWidget*>(new Brelvo)
                                          : name == QLatin1String("MessageBox") ? static_cast<QWidget*>(new MessageBoxDlg(nullptr))
                                          : name == QLatin1String("LogWindow")  ? static_cast<QWidget*>(new LogWindow(nullptr))
                                                                                : new VersionInfo);
            if (auto* addresses = form->findChild<QComboBox*>(QStringLiteral("ipList"))) {
                // The local addresses differ per machine and size the address box.
                addresses->clear();
                addresses->addItem(QStringLiteral("192.0.2.10"));
            }
            form->show();  // offscreen, so that the layouts place everything as on a screen
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            QApplication::processEvents();
            Dumper dumper;
            dumper.widget(form.get(), 0, true);
            dump = dumper.out;
            QVERIFY(name == QLatin1String("Brelvo") || changes.count == 0);
        }
        ui_test::compareExpected(QStringLiteral(BRELVO_EXPECTED_DIR "/") + name + QStringLiteral(".txt"), dump);
    }
};

int main(int argc, char** argv)
{
    return ui_test::runInPrivateFolders<FormTreeTest>(argc, argv);
}
#include "FormTreeTest.moc"

#pragma once

#include <QString>

class QWidget;

// One line per widget, layout and spacer of a form, indented by depth, in
// layout order: object name, class, geometry, minimum/maximum size, size
// policy, layout spacing, margins and stretch, and the few properties the
// style sheet or the code rely on (texts, own style sheets, frames). Two forms
// built from different sources dump the same text only when they agree on all
// of that. A widget's inside (a combo box's list, a table's headers) is not
// walked: only what the form itself places.
QString dumpWidgetTree(QWidget* top);

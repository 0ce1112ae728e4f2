#pragma once
// The control type names the forms' text logic speaks of ("ListView", "Label", ...) for Qt
// widgets, and the Caption / ToolTipText properties of a control.
#include <QString>

class QWidget;

namespace vb {

QString TypeName(const QWidget* control);

// True when the control has a caption to set (buttons, check boxes, frames, labels, forms).
bool HasCaption(const QWidget* control);
QString Caption(const QWidget* control);
// Raises 438 for a control without a caption.
void SetCaption(QWidget* control, const QString& text);

// The Tag of a control: the dynamic property "Tag" set in the .ui files.
QString Tag(const QWidget* control);
void SetTag(QWidget* control, const QString& tag);

} // namespace vb

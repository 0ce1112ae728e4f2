#include "platform/ControlType.h"
#include "platform/ErrObject.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>

namespace vb {

QString TypeName(const QWidget* c)
{
    if (qobject_cast<const QTreeView*>(c))
        return QStringLiteral("ListView");
    if (qobject_cast<const QListWidget*>(c) || qobject_cast<const QListView*>(c))
        return QStringLiteral("ListBox");
    if (qobject_cast<const QComboBox*>(c))
        return QStringLiteral("ComboBox");
    if (qobject_cast<const QDateTimeEdit*>(c))
        return QStringLiteral("DTPicker");
    if (qobject_cast<const QAbstractSpinBox*>(c))
        return QStringLiteral("UpDown");
    if (qobject_cast<const QLineEdit*>(c) || qobject_cast<const QTextEdit*>(c))
        return QStringLiteral("TextBox");
    if (qobject_cast<const QScrollBar*>(c))
        return QStringLiteral("FlatScrollBar");
    if (qobject_cast<const QTabWidget*>(c))
        return QStringLiteral("SSTab");
    if (qobject_cast<const QLabel*>(c))
        return QStringLiteral("Label");
    if (qobject_cast<const QGroupBox*>(c))
        return QStringLiteral("Frame");
    if (const auto* button = qobject_cast<const QAbstractButton*>(c)) {
        if (button->isCheckable() && button->autoExclusive())
            return QStringLiteral("OptionButton");
        if (button->isCheckable())
            return QStringLiteral("CheckBox");
        return QStringLiteral("CommandButton");
    }
    if (c && c->isWindow())
        return QStringLiteral("Form");
    return QStringLiteral("PictureBox");
}

bool HasCaption(const QWidget* c)
{
    return qobject_cast<const QAbstractButton*>(c) != nullptr || qobject_cast<const QGroupBox*>(c) != nullptr ||
           qobject_cast<const QLabel*>(c) != nullptr || (c != nullptr && c->isWindow());
}

QString Caption(const QWidget* c)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(c))
        return button->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(c))
        return group->title();
    if (const auto* label = qobject_cast<const QLabel*>(c))
        return label->text();
    if (c && c->isWindow())
        return c->windowTitle();
    return QString();
}

void SetCaption(QWidget* c, const QString& text)
{
    if (auto* button = qobject_cast<QAbstractButton*>(c))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(c))
        group->setTitle(text);
    else if (auto* label = qobject_cast<QLabel*>(c))
        label->setText(text);
    else if (c && c->isWindow())
        c->setWindowTitle(text);
    else
        Raise(ErrNoSuchProperty);
}

QString Tag(const QWidget* c)
{
    return c->property("Tag").toString();
}

void SetTag(QWidget* c, const QString& tag)
{
    c->setProperty("Tag", tag);
}

} // namespace vb

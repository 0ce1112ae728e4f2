#pragma once
// Driving forms as a person does: mouse clicks and keys on the real controls, so that a control
// whose signal reaches no handler fails the test. Modal dialogs are answered once they show.
#include "platform/ListView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <algorithm>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace testenv {

// The control of type T that form holds under name. A missing one ends the test program,
// saying which, so that a renamed control cannot pass as an empty one.
template <class T> T* Find(const QObject* form, const QString& name)
{
    auto* control = form->findChild<T*>(name);
    if (!control)
        qFatal("%s has no %s named \"%s\"", qPrintable(form->objectName()), T::staticMetaObject.className(),
               qPrintable(name));
    return control;
}

// A click with the left button: in the middle of a push button, on the indicator of a radio
// button or check box (their middle may lie past the end of their text).
inline void Click(QAbstractButton* button)
{
    QVERIFY2(button && button->isVisible() && button->isEnabled(), "the control cannot be clicked");
    QPoint at = button->rect().center();
    if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button))
        at.setX(std::min(8, button->width() / 2));
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

// A click on the row of a list that shows text.
inline void ClickItem(QListWidget* list, const QString& text)
{
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(QStringLiteral("no row \"%1\" in %2").arg(text, list->objectName())));
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
}

// A click on a row of a list view, on its text (not its check box).
inline void ClickRow(vb::ListView* view, QTreeWidgetItem* row)
{
    QVERIFY(row);
    view->scrollToItem(row);
    const QRect rect = view->visualItemRect(row);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(rect.right() - 4, rect.center().y()));
}

// A click on a column header of a list view.
inline void ClickHeader(vb::ListView* view, int column)
{
    QHeaderView* header = view->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

// Picks an entry of a combo box from its opened list, with the mouse.
inline void Pick(QComboBox* box, int index)
{
    QVERIFY(index >= 0 && index < box->count());
    box->showPopup();
    QAbstractItemView* view = box->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex entry = box->model()->index(index, box->modelColumn(), box->rootModelIndex());
    view->scrollTo(entry);
    const QPoint at = view->visualRect(entry).center();
    // The list takes the press as the start of a choice and the release as the choice.
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(!view->isVisible());
}

// Answers the next modal dialog of type D: answer runs once the dialog is the active modal
// widget, inside the event loop of whoever opened it. Call before the action that opens it;
// the flag it gives says whether the dialog came (QTRY_VERIFY(*answered) after the action).
// It watches without blocking, since the action may run the event loop before the dialog shows.
template <class D> std::shared_ptr<bool> WhenModal(std::function<void(D*)> answer, int timeoutMs = 30000)
{
    auto answered = std::make_shared<bool>(false);
    auto* watch = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    watch->setInterval(10);
    QObject::connect(watch, &QTimer::timeout, qApp, [=] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            watch->stop();
            watch->deleteLater();
            *answered = true;
            answer(dialog);
        } else if (started->elapsed() > timeoutMs) {
            watch->stop();
            watch->deleteLater();
        }
    });
    watch->start();
    return answered;
}

} // namespace testenv

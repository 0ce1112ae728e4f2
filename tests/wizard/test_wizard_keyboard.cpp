// The wizard by keyboard, in both languages: every access key of a step is unique (the
// navigation buttons count on every step) and Tab walks each step from top to bottom.
#include "WizardFixture.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

using namespace vb;

namespace {
// The access key of a text: the character after a single '&', lower-cased; 0 when none.
QChar AccessKey(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return QChar();
}
} // namespace

class TestWizardKeyboard : public QObject {
    Q_OBJECT
    testenv::WizardFixture f;

    void Show(int step)
    {
        for (int i = 0; i <= 4; ++i)
            f.ui->fraStep[i]->setEnabled(i == step);
        f.ui->stepArea->setCurrentWidget(f.ui->fraStep[step]);
        // Every control that some choice shows: the access keys must not clash whatever is shown.
        for (QWidget* child : f.ui->fraStep[step]->findChildren<QWidget*>())
            if (child != f.ui->imgFrånPlanum && child != f.ui->imgTillPlanum)
                child->show();
        QApplication::processEvents();
    }

private slots:
    void cleanup()
    {
        if (f.boxes)
            ALMBRO_EXPECT_NO_MORE_BOXES(*f.boxes);
        f.Stop();
    }

    void accessKeysUnique_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<int>("step");
        for (const char* lang : {"EN", "SV"})
            for (int step = 0; step <= 4; ++step)
                QTest::addRow("%s step %d", lang, step) << QString::fromLatin1(lang) << step;
    }
    void accessKeysUnique()
    {
        QFETCH(QString, lang);
        QFETCH(int, step);
        f.Start(lang);
        Show(step);
        QMap<QChar, QString> owners;
        QStringList clashes;
        QList<QWidget*> widgets = f.ui->fraStep[step]->findChildren<QWidget*>();
        widgets += f.ui->picNav->findChildren<QWidget*>();
        widgets << f.ui->fraStep[step];
        for (QWidget* widget : widgets) {
            QString text;
            if (auto* button = qobject_cast<QAbstractButton*>(widget))
                text = button->text();
            else if (auto* label = qobject_cast<QLabel*>(widget))
                text = label->buddy() ? label->text() : QString();
            else if (auto* box = qobject_cast<QGroupBox*>(widget))
                text = box->title();
            const QChar key = AccessKey(text);
            if (key.isNull())
                continue;
            if (owners.contains(key))
                clashes << QStringLiteral("%1: \"%2\" and \"%3\"").arg(key, owners[key], text);
            owners.insert(key, text);
        }
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join(QStringLiteral("; "))));
    }

    void tabFollowsThePage_data()
    {
        QTest::addColumn<int>("step");
        for (int step = 0; step <= 4; ++step)
            QTest::addRow("step %d", step) << step;
    }
    void tabFollowsThePage()
    {
        QFETCH(int, step);
        f.Start();
        frmWizard* w = f.wizard;
        Show(step);
        f.ui->cmdNav[2]->setEnabled(true);
        f.ui->cmdNav[4]->setEnabled(true);
        // Tab pressed from the page's first control round to it again.
        QWidget* first = nullptr;
        QWidget* start = f.ui->fraStep[step];
        for (QWidget* next = start->nextInFocusChain(); next != start; next = next->nextInFocusChain())
            if (start->isAncestorOf(next) && next->isVisibleTo(w) && next->isEnabled() &&
                (next->focusPolicy() & Qt::TabFocus)) {
                first = next;
                break;
            }
        QVERIFY(first);
        QApplication::setActiveWindow(w);
        first->setFocus(Qt::TabFocusReason);
        QList<QWidget*> chain{QApplication::focusWidget()};
        QVERIFY(chain.first());
        for (int i = 0; i < 60; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (!now || now == chain.first())
                break;
            chain << now;
        }
        QVERIFY(chain.size() > 2);
        QVERIFY2(chain.contains(f.ui->cmdNav[3]), "Tab never reaches Next");
        QStringList order;
        for (int i = 1; i < chain.size(); ++i) {
            const QRect a(chain[i - 1]->mapTo(w, QPoint()), chain[i - 1]->size());
            const QRect b(chain[i]->mapTo(w, QPoint()), chain[i]->size());
            // Down the page; along a row (the tops overlap), left to right.
            const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
            const bool ok = sameRow ? b.left() >= a.left() : b.top() >= a.top();
            if (!ok)
                order << chain[i - 1]->objectName() + QStringLiteral(" before ") + chain[i]->objectName();
        }
        QVERIFY2(order.isEmpty(), qPrintable(order.join(QStringLiteral("; "))));
    }
};

ALMBRO_GUI_TEST_MAIN(TestWizardKeyboard)
#include "test_wizard_keyboard.moc"

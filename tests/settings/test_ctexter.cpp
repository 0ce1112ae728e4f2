// Language texts put on forms and controls by the identifiers in their Tag.
#include "platform/ControlType.h"
#include "platform/MsgBox.h"
#include "settings/CTexter.h"
#include "support/BoxAssert.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

using namespace vb;

namespace {
QWidget* MakeControl(const QString& type, QWidget* parent)
{
    if (type == QLatin1String("Label"))
        return new QLabel(parent);
    if (type == QLatin1String("CommandButton"))
        return new QPushButton(parent);
    if (type == QLatin1String("CheckBox"))
        return new QCheckBox(parent);
    if (type == QLatin1String("OptionButton"))
        return new QRadioButton(parent);
    if (type == QLatin1String("Frame"))
        return new QGroupBox(parent);
    if (type == QLatin1String("ListBox"))
        return new QListWidget(parent);
    if (type == QLatin1String("ListView"))
        return new QTreeWidget(parent);
    if (type == QLatin1String("ComboBox"))
        return new QComboBox(parent);
    if (type == QLatin1String("TextBox"))
        return new QLineEdit(parent);
    if (type == QLatin1String("DTPicker"))
        return new QDateTimeEdit(parent);
    if (type == QLatin1String("SSTab"))
        return new QTabWidget(parent);
    return new QWidget(parent); // a picture box: no caption
}
} // namespace

class TestCTexter : public QObject {
    Q_OBJECT

    QString m_file;
    CTexter m_texter;

private slots:
    void initTestCase()
    {
        m_file = testenv::Root() + QStringLiteral("/LangTest.ini");
        QVERIFY(testenv::WriteFile(m_file, "[System]\n"
                                           "R0030=Fel\n"
                                           "R0001=Namn\n"
                                           "R0002=Kolon:\n"
                                           "R0003=&Spara\n"
                                           "R0004=Tips\n"
                                           "R0005=<<SAKNAS>> ej klar\n"
                                           "R0006= mer\n"
                                           "R0007=  omgiven  \n"
                                           "R0008=\n"
                                           "R2307=Alm&bro &&\n"
                                           "RLONG=" +
                                               QByteArray(300, 'x') + "\n"));
        m_texter.SetSpråkfil(m_file);
        QCOMPARE(TypeName(new QWidget), QStringLiteral("Form"));
    }

    void textTillAndra_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* key, const QString& expected) {
            QTest::newRow(name) << QString::fromUtf8(key) << expected;
        };
        row("known", "R0001", QStringLiteral("Namn"));
        row("trimmed", "R0007", QStringLiteral("omgiven"));
        row("key case ignored", "r0001", QStringLiteral("Namn"));
        row("missing", "R9999", QString());
        row("empty key", "", QString());
        row("cut to 254", "RLONG", QString(254, QLatin1Char('x')));
    }
    void textTillAndra()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(m_texter.TextTillAndra(key), expected);
    }

    void tagGrammar_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tip");
        // The control's caption is "Design" and its tip "design tip" before the texts are set.
        const auto row = [](const char* name, const char* type, const char* tag, const char* caption, const char* tip) {
            QTest::newRow(name) << QString::fromUtf8(type) << QString::fromUtf8(tag) << QString::fromUtf8(caption)
                                << QString::fromUtf8(tip);
        };
        row("A on a label gets a colon", "Label", "R0001", "Namn:", "design tip");
        row("label text with colon keeps one", "Label", "R0002", "Kolon:", "design tip");
        row("A;C on a check box", "CheckBox", "R0001;R0004", "Namn", "Tips");
        row(";C on a list box: tip only", "ListBox", ";R0004", "", "Tips");
        row("A on a list view becomes its tip", "ListView", "R0001", "", "Namn");
        row("A on a combo box becomes its tip", "ComboBox", "R0001", "", "Namn");
        row("A on a text box becomes its tip", "TextBox", "R0001", "", "Namn");
        row("A on a date picker becomes its tip", "DTPicker", "R0001", "", "Namn");
        row("A;C on a list box: C wins", "ListBox", "R0001;R0004", "", "Tips");
        row("A+B on a button", "CommandButton", "R0001+R0007", "Namnomgiven", "design tip");
        row("B not yet translated is dropped", "CommandButton", "R0001+R0005", "Namn", "design tip");
        row("RX+B gives B alone", "OptionButton", "RX+R0006", "mer", "design tip");
        row("RX: nothing", "CommandButton", "RX", "Design", "design tip");
        row("missing identifier keeps the caption", "Frame", "R9999", "Design", "design tip");
        row("empty text keeps the caption", "CheckBox", "R0008;R0008", "Design", "design tip");
        row("ampersand stays on controls", "CommandButton", "R0003", "&Spara", "design tip");
        row("A+B;C: B takes the rest", "CommandButton", "R0001+R0006;R0004", "Namn", "Tips");
        row("tab control keeps its texts", "SSTab", "R0001;R0004", "", "Tips");
    }

    void tagGrammar()
    {
        QFETCH(QString, type);
        QFETCH(QString, tag);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        MsgBoxRecorder recorder;
        QWidget form;
        QWidget* control = MakeControl(type, &form);
        QCOMPARE(TypeName(control), type);
        if (HasCaption(control))
            SetCaption(control, QStringLiteral("Design"));
        control->setToolTip(QStringLiteral("design tip"));
        SetTag(control, tag);
        QVERIFY(m_texter.TextTillControl(control, tag, true));
        QCOMPARE(Caption(control), HasCaption(control) ? caption : QString());
        QCOMPARE(control->toolTip(), tip);
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }

    void emptyTagAndPanel()
    {
        QWidget form;
        auto* panel = new QPushButton(QStringLiteral("Panel"), &form);
        panel->setObjectName(QStringLiteral("picPanel"));
        QVERIFY(!m_texter.TextTillControl(panel, QString(), true));
        QVERIFY(m_texter.TextTillControl(panel, QStringLiteral("R0001"), true));
        QCOMPARE(panel->text(), QStringLiteral("Panel"));
    }

    void formCaptionLosesEveryAmpersand()
    {
        MsgBoxRecorder recorder;
        QWidget form;
        form.setWindowTitle(QStringLiteral("Design"));
        SetTag(&form, QStringLiteral("R2307"));
        auto* button = new QPushButton(&form);
        SetTag(button, QStringLiteral("R0003;R0004"));
        auto* label = new QLabel(QStringLiteral("Design"), &form);
        SetTag(label, QStringLiteral("R9999"));
        QVERIFY(m_texter.SetTextOfForm(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Almbro "));
        QCOMPARE(button->text(), QStringLiteral("&Spara"));
        QCOMPARE(button->toolTip(), QStringLiteral("Tips"));
        QCOMPARE(label->text(), QStringLiteral("Design"));

        // A form tag without a text leaves the form without a caption.
        SetTag(&form, QStringLiteral("R9999"));
        QVERIFY(m_texter.SetTextOfForm(&form));
        QCOMPARE(form.windowTitle(), QString());
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }

    void controlWithoutCaptionReportsAndFormGoesOn()
    {
        MsgBoxRecorder recorder;
        QWidget form;
        auto* picture = new QWidget(&form);
        picture->setObjectName(QStringLiteral("imgPil"));
        SetTag(picture, QStringLiteral("R0001"));
        auto* after = new QCheckBox(&form);
        SetTag(after, QStringLiteral("R0001"));
        QVERIFY(m_texter.SetTextOfForm(&form));
        ALMBRO_EXPECT_BOX(recorder,
                          "Fel 438 (Object doesn't support this property or method) in procedure TextTillControl "
                          "in Module mTexter:0\r\nimgPil",
                          vbOKOnly, 0, "Almbro");
        QCOMPARE(after->text(), QStringLiteral("Namn"));
        ALMBRO_EXPECT_NO_MORE_BOXES(recorder);
    }
};

ALMBRO_GUI_TEST_MAIN(TestCTexter)
#include "test_ctexter.moc"

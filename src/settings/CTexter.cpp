#include "settings/CTexter.h"

#include "platform/ControlType.h"
#include "platform/ErrObject.h"
#include "platform/Ini.h"
#include "settings/ProgramState.h"

#include <QWidget>

using namespace vb;

namespace {
const QString kSection = QStringLiteral("System");
const QString kMissing = QStringLiteral("<<SAKNAS>>");
} // namespace

QString CTexter::Read(const QString& key, int bufferSize) const
{
    return GetPrivateProfileString(kSection, key, QString(), bufferSize, m_språkfil).trimmed();
}

QString CTexter::ErrorLead()
{
    // Read directly: a failure inside TextTillAndra must not report itself again.
    return Read(QStringLiteral("R0030"), 255) + QLatin1Char(' ');
}

QString CTexter::TextTillAndra(const QString& Key)
{
    if (Key.isEmpty())
        return QString();
    return Trap<QString>([&] { return Read(Key, 255); }, QString(),
                         [&](const ErrObject& e) {
                             return ErrText(ErrorLead(), e,
                                            QStringLiteral(") in procedure TextTillAndra in Module mTexter"));
                         });
}

bool CTexter::SetTextOfForm(QWidget* TheForm)
{
    return Trap<bool>(
        [&] {
            const QString formTag = Tag(TheForm);
            if (!formTag.isEmpty())
                TheForm->setWindowTitle(TextTillAndra(formTag).remove(QLatin1Char('&')));
            const QList<QWidget*> controls = TheForm->findChildren<QWidget*>();
            for (QWidget* control : controls) {
                const QString tag = Tag(control);
                if (!tag.isEmpty())
                    TextTillControl(control, tag, true);
            }
            return true;
        },
        false,
        [&](const ErrObject& e) {
            return ErrText(ErrorLead(), e, QStringLiteral(") in procedure SetTextOfForm in Module mTexter"));
        });
}

bool CTexter::TextTillControl(QWidget* Control, const QString& TagText, bool SetToolTip)
{
    return Trap<bool>(
        [&] {
            if (TagText.isEmpty())
                return false;
            if (Control->objectName() == QLatin1String("picPanel"))
                return true;

            QString a, b, c;
            const qsizetype semi = TagText.indexOf(QLatin1Char(';'));
            const qsizetype plus = TagText.indexOf(QLatin1Char('+'));
            if (semi < 0 && plus < 0) {
                a = TagText;
            } else if (semi < 0) {
                a = TagText.left(plus);
                b = TagText.mid(plus + 1);
            } else if (plus < 0) {
                a = TagText.left(semi);
                c = TagText.mid(semi + 1);
            } else {
                // B keeps everything after "+", the ";" part included: no form combines both.
                a = TagText.left(plus);
                b = TagText.mid(plus + 1);
                c = TagText.mid(semi + 1);
            }

            QString text;
            if (!a.isEmpty() && a != QLatin1String("RX"))
                text = Read(a, 500);
            if (!b.isEmpty()) {
                const QString more = Read(b, 500);
                if (more.left(10) != kMissing)
                    text += more;
            }
            if (!text.isEmpty()) {
                const QString type = TypeName(Control);
                static const QStringList withoutCaption = {QStringLiteral("ListView"),      QStringLiteral("ListBox"),
                                                           QStringLiteral("FlatScrollBar"), QStringLiteral("DTPicker"),
                                                           QStringLiteral("ComboBox"),      QStringLiteral("UpDown"),
                                                           QStringLiteral("TextBox")};
                if (withoutCaption.contains(type)) {
                    if (SetToolTip)
                        Control->setToolTip(text);
                } else if (type == QLatin1String("SSTab")) {
                    // a tab control keeps its own texts
                } else if (type == QLatin1String("Label")) {
                    if (!text.endsWith(QLatin1Char(':')))
                        text += QLatin1Char(':');
                    SetCaption(Control, text);
                } else {
                    SetCaption(Control, text);
                }
            }
            if (!c.isEmpty()) {
                const QString tip = Read(c, 2000);
                if (!tip.isEmpty())
                    Control->setToolTip(tip);
            }
            return true;
        },
        false,
        [&](const ErrObject& e) {
            return ErrText(ErrorLead(), e,
                           QStringLiteral(") in procedure TextTillControl in Module mTexter:0\r\n") +
                               Control->objectName());
        });
}

QString SpråkText(const char* id)
{
    return goTexter ? goTexter->TextTillAndra(QString::fromLatin1(id)) : QString();
}

QString SpråkText(const char* id, const char* swedish)
{
    const QString text = SpråkText(id);
    return text.isEmpty() ? QString::fromUtf8(swedish) : text;
}

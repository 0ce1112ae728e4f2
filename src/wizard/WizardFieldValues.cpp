// Booking fields by their Planum names: read as text for an export, written from the item
// list's cells for an import.
#include "wizard/PlanumFields.h"
#include "wizard/WizardTexts.h"
#include "wizard/frmWizard.h"
#include "ui_frmWizard.h"

#include "booking/DBFunk.h"
#include "platform/ErrObject.h"
#include "platform/ListView.h"
#include "platform/Locale.h"

#include <cmath>
#include <optional>

using namespace vb;
using booking::DBPost;
using booking::PostText;

namespace {
enum class Write { Joined, Replaced, Number, Terms };

struct Field {
    const char* name = nullptr;
    std::optional<PostText> text; // the text property behind the name; none for the terms
    Write write = Write::Joined;
};

// The fields a mapping can name. "Pris" and "Följesedelsnr" share one property.
constexpr Field kFields[] = {
    {"Betalningsvillkor", std::nullopt, Write::Terms},
    {"Bokningsnr", PostText::Bokningsnr, Write::Number},
    {"Beställare", PostText::Beställare, Write::Joined},
    {"Beställningsdatum", PostText::Beställningsdatum, Write::Replaced},
    {"Beställningsnummer", PostText::Beställningsnummer, Write::Replaced},
    {"Dokument", PostText::Dokument, Write::Joined},
    {"Följesedelsnr", PostText::Följesedelsnr, Write::Replaced},
    {"Pris", PostText::Följesedelsnr, Write::Replaced},
    {"Kundnamn", PostText::Kundnamn, Write::Joined},
    {"Leverans_postadress", PostText::Leverans_postadress, Write::Joined},
    {"Leveransadress", PostText::Leveransadress, Write::Joined},
    {"Märke", PostText::Märke, Write::Joined},
    {"Notering", PostText::Notering, Write::Joined},
    {"Telefon", PostText::Telefon, Write::Joined},
};

const Field* Find(const QString& name)
{
    for (const Field& field : kFields)
        if (name == QString::fromUtf8(field.name))
            return &field;
    return nullptr;
}

// The runtime's conversion to a 16-bit integer: rounded half to even, overflow raised.
qint16 CInt(double value)
{
    const double rounded = std::nearbyint(value);
    if (rounded < -32768 || rounded > 32767)
        Raise(ErrOverflow);
    return qint16(rounded);
}

QString Decimal(double value)
{
    return QString::number(value, 'g', 15);
}

// The payment terms as the lists show them.
QString TermsText(qint16 terms)
{
    switch (terms) {
    case 0:
        return QStringLiteral("Ej klar");
    case 1:
        return QStringLiteral("Faktura");
    case 2:
        return QStringLiteral("Kontant");
    default:
        return QString();
    }
}
} // namespace

QString frmWizard::SättDelVärde(const QString& fält, const DBPost& post)
{
    if (fält == QLatin1String("Starttid"))
        return FormatGeneralDate(post.StartTid());
    if (fält == QLatin1String("Sluttid"))
        return FormatGeneralDate(post.SlutTid());
    const Field* field = Find(fält);
    if (!field)
        return QString();
    if (field->write == Write::Terms)
        return TermsText(post.Betalningsvillkor());
    QString value = post.Text(*field->text);
    if (fält == QLatin1String("Kundnamn") && value.isEmpty())
        return QStringLiteral("<Ej angiven>");
    return value;
}

QString frmWizard::FältVärde(int row, const QString& rubrik) const
{
    vb::ListItem* item = lvVisa->Item(row);
    for (int column = 0; column < lvVisa->ColumnCount(); ++column) {
        if (lvVisa->ColumnName(column) != rubrik)
            continue;
        if (!item)
            Raise(ErrSubscriptOutOfRange);
        return column == 0 ? item->Text() : item->SubItem(column);
    }
    return QString();
}

qint32 frmWizard::PlanumNyckel(vb::ListItem* row)
{
    return Trap<qint32>(
        [&]() -> qint32 {
            if (IsNumeric(row->SubItem(5)))
                return qint32(Val(row->SubItem(5)));
            if (IsNumeric(row->SubItem(6)))
                return qint32(Val(row->SubItem(6)));
            return -1;
        },
        0, WizardErr("PlanumNyckel"));
}

void frmWizard::EgnaVal(DBPost& post, int row)
{
    TrapVoid(
        [&] {
            const bool frånPlanum = IsNumeric(lvVisa->Item(row) ? lvVisa->Item(row)->SubItem(5) : QString());
            for (int j = 1; j <= lvKopplingar->Count(); ++j) {
                const QString fält = PlanumFältNamn(lvKopplingar->Item(j));
                const QString value = FältVärde(row, lvKopplingar->Item(j)->SubItem(2));
                const Field* field = Find(fält);
                if (!field)
                    continue;
                switch (field->write) {
                case Write::Terms:
                    post.Betalningsvillkor(CInt(Val(value)));
                    break;
                case Write::Number:
                    post.Text(*field->text, Decimal(Val(value)));
                    break;
                case Write::Replaced:
                    post.Text(*field->text, value);
                    break;
                case Write::Joined: {
                    const QString old = post.Text(*field->text);
                    post.Text(*field->text, !old.isEmpty() && !frånPlanum ? old + QStringLiteral(", ") + value : value);
                    break;
                }
                }
            }
            for (PostText text :
                 {PostText::Beställare, PostText::Dokument, PostText::Kundnamn, PostText::Leverans_postadress,
                  PostText::Märke, PostText::Notering, PostText::Telefon})
                post.Text(text, post.Text(text).trimmed());
            post.SlutTid(CDate(FältVärde(row, QStringLiteral("Slut"))));
            post.StartTid(CDate(FältVärde(row, QStringLiteral("Start"))));
        },
        WizardErr("EgnaVal"));
}

#pragma once
// One booking as the component hands it out (DBFunk::HämtaPost) and takes it back
// (DBFunk::SparaPost). Properties are read with Name() and written with Name(value).
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>

namespace booking {

// moc cannot read enumerators with Swedish letters and never needs these, so it skips them.
#ifndef Q_MOC_RUN
// The text properties, in the order of their columns in the database.
enum class PostText : int {
    Bokningsnr,
    Telefon,
    Beställare,
    Märke,
    Beställningsnummer,
    Beställningsdatum,
    Leverans_postadress,
    Leveransadress,
    Kundnamn,
    Dokument,
    Följesedelsnr,
    Notering,
};
constexpr int kPostTextCount = 12;
// The column name of a text property.
QString PostTextName(PostText which);

// Typ: what kind of booking it is. Stored and handed back; the clash rules do not depend on it.
enum BokningsTyp : qint32 {
    TypKund = 0,     // a resource booked for a customer (the default)
    TypIntern = 1,   // an internal booking: a meeting, service, training
    TypFrånvaro = 2, // the resource is away: leave, illness
};
#endif

// Betalningsvillkor: 0 not settled ("Ej klar"), 1 invoice ("Faktura"), 2 cash ("Kontant").
// Other numbers are kept as they are given.
enum Betalning : qint16 { BetalningEjKlar = 0, BetalningFaktura = 1, BetalningKontant = 2 };

class DBPost {
public:
    DBPost() = default;

    QString Bokningsnr() const { return Text(PostText::Bokningsnr); }
    void Bokningsnr(const QString& v) { Text(PostText::Bokningsnr, v); }
    QString Telefon() const { return Text(PostText::Telefon); }
    void Telefon(const QString& v) { Text(PostText::Telefon, v); }
    QString Beställare() const { return Text(PostText::Beställare); }
    void Beställare(const QString& v) { Text(PostText::Beställare, v); }
    QString Märke() const { return Text(PostText::Märke); }
    void Märke(const QString& v) { Text(PostText::Märke, v); }
    QString Beställningsnummer() const { return Text(PostText::Beställningsnummer); }
    void Beställningsnummer(const QString& v) { Text(PostText::Beställningsnummer, v); }
    QString Beställningsdatum() const { return Text(PostText::Beställningsdatum); }
    void Beställningsdatum(const QString& v) { Text(PostText::Beställningsdatum, v); }
    QString Leverans_postadress() const { return Text(PostText::Leverans_postadress); }
    void Leverans_postadress(const QString& v) { Text(PostText::Leverans_postadress, v); }
    QString Leveransadress() const { return Text(PostText::Leveransadress); }
    void Leveransadress(const QString& v) { Text(PostText::Leveransadress, v); }
    QString Kundnamn() const { return Text(PostText::Kundnamn); }
    void Kundnamn(const QString& v) { Text(PostText::Kundnamn, v); }
    QString Dokument() const { return Text(PostText::Dokument); }
    void Dokument(const QString& v) { Text(PostText::Dokument, v); }
    QString Följesedelsnr() const { return Text(PostText::Följesedelsnr); }
    void Följesedelsnr(const QString& v) { Text(PostText::Följesedelsnr, v); }
    QString Notering() const { return Text(PostText::Notering); }
    void Notering(const QString& v) { Text(PostText::Notering, v); }

    qint16 Betalningsvillkor() const { return m_betalningsvillkor; }
    void Betalningsvillkor(qint16 v) { m_betalningsvillkor = v; }

    QDateTime StartTid() const { return m_startTid; }
    void StartTid(const QDateTime& v) { m_startTid = v; }
    QDateTime SlutTid() const { return m_slutTid; }
    void SlutTid(const QDateTime& v) { m_slutTid = v; }

    qint32 PersonID() const { return m_personID; }
    void PersonID(qint32 v) { m_personID = v; }
    // A second resource tied to the booking: the person responsible for it. 0 = none.
    qint32 ExtraPersonID() const { return m_extraPersonID; }
    void ExtraPersonID(qint32 v) { m_extraPersonID = v; }
    // Whole hours of the booking that are not charged (breaks, travel); never negative (5).
    qint32 Antal() const { return m_antal; }
    void Antal(qint32 v);
    // A BokningsTyp; other numbers raise 5.
    qint32 Typ() const { return m_typ; }
    void Typ(qint32 v);
    // A status number of the database (HämtaStatusar); -1 "(Ingen status)" for a new booking.
    qint32 Status() const { return m_status; }
    void Status(qint32 v) { m_status = v; }
    // False: the booking is cancelled. It is kept, but it is not listed and never clashes.
    bool Aktiv() const { return m_aktiv; }
    void Aktiv(bool v) { m_aktiv = v; }
    // The charged minutes, as the caller works them out; stored as given.
    double Minuter() const { return m_minuter; }
    void Minuter(double v) { m_minuter = v; }

    // The booking's number in the database; 0 until it is saved. Read only.
    qint32 Nyckel() const { return m_nyckel; }

    QString Text(PostText which) const { return m_text[std::size_t(which)]; }
    void Text(PostText which, const QString& v) { m_text[std::size_t(which)] = v; }

private:
    friend class DBFunk;
    std::array<QString, kPostTextCount> m_text;
    QDateTime m_startTid;
    QDateTime m_slutTid;
    qint32 m_personID = 0;
    qint32 m_extraPersonID = 0;
    qint32 m_antal = 0;
    qint32 m_typ = TypKund;
    qint32 m_status = -1;
    qint16 m_betalningsvillkor = BetalningEjKlar;
    bool m_aktiv = true;
    double m_minuter = 0.0;
    qint32 m_nyckel = 0;
};

// The properties in which two bookings differ, by their column names (Kundnamn, StartTid, ...);
// the number (Nyckel) is not compared.
QStringList Skillnader(const DBPost& före, const DBPost& efter);

} // namespace booking

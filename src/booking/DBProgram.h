#pragma once
// The calling program's name, handed to a connection with DBFunk::SättProgram. Every booking
// the connection saves records it, so one can tell which program last wrote a booking.
#include <QString>

namespace booking {

class DBProgram {
public:
    QString Namn() const { return m_namn; }
    void Namn(const QString& namn) { m_namn = namn; }

private:
    QString m_namn;
};

} // namespace booking

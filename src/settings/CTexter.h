#pragma once
// Language texts: reads a text by its identifier ("R" + four digits) from the language file
// and puts texts on forms and controls by the identifiers in their Tag:
//   "A"     caption A             ";C"   tool tip C only
//   "A;C"   caption A, tool tip C "A+B"  caption of A followed by the text of B
//   "RX"    as caption: no text
// A form's own Tag holds one caption identifier.
#include <QString>

class QWidget;

class CTexter {
public:
    const QString& Språkfil() const { return m_språkfil; }
    void SetSpråkfil(const QString& path) { m_språkfil = path; }

    // The text of Key, trimmed, at most 254 characters; empty for a missing key or file.
    QString TextTillAndra(const QString& Key);
    // Puts the texts named by the Tags on the form and its controls.
    bool SetTextOfForm(QWidget* TheForm);
    bool TextTillControl(QWidget* Control, const QString& TagText, bool SetToolTip);

private:
    QString Read(const QString& key, int bufferSize) const;
    QString ErrorLead();

    QString m_språkfil;
};

// The text of id in the language in use; empty where no language file is read yet or the file
// lacks the text.
QString SpråkText(const char* id);
// The same, with swedish, the program's own words, where there is no text.
QString SpråkText(const char* id, const char* swedish);

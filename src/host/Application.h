#pragma once
// The automation class a Planum host uses to list the wizard in its own user interface and to
// start it. It keeps no state: each call stands alone.
#include <QObject>
#include <QString>

class Application : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The caption, with its access key, under which the host lists the wizard, in the language in
    // use; empty after an error (reported in a message box).
    QString Beskrivning();
    // The host's tool tip for that entry; empty after an error (reported in a message box).
    QString ToolTip();
    // Shows the one wizard modeless, making it on the first call, and gives true. ID is not read.
    // On an error nothing is shown: Returvärde (when given) gets "Fel från " (in the language in
    // use) + the program's title and the error, and the result is false. On success Returvärde keeps its value.
    bool Anrop(qint32 ID = 0, QString* Returvärde = nullptr);
};

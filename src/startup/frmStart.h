#pragma once
// The first form of an interactive run.
#include <QWidget>

class QLabel;
class QPushButton;

// Stands in for the wizard until its form exists: the program's window with the language
// texts put on it, and the navigation buttons, of which Cancel closes it.
class frmStart : public QWidget {
public:
    frmStart();
    QLabel* lblStep = nullptr;
    QPushButton* cmdNav[5] = {};
};

// Shows the first form modeless (the wizard's place).
void ShowFirstForm();
// The first form, when one was shown.
QWidget* FirstForm();

#pragma once
// The first form of a run: the wizard, shown modeless.
class QWidget;

void ShowFirstForm();
QWidget* FirstForm(); // the wizard, once shown; nullptr before

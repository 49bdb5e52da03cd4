#pragma once

#include <QString>

class QWidget;

// Refuses what the user typed in one of the console's small dialogs: a message box captioned with
// the product's title and an OK button only, then the focus goes to the field.
void refuseInput(QWidget* dialog, QWidget* field, const QString& message);

#pragma once

#include <QString>

class QWidget;

// Refuses what the user typed: a message box with an OK button only, captioned "Error" + " : " +
// the readable name of the field's label, then the focus goes to the field.
void refuseInput(QWidget* dialog, QWidget* field, const QString& labelCaption, const QString& message);
// The caption of such a box.
QString refusalCaption(const QString& labelCaption);

#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QWidget;

// Refuses what the user typed in one of the console's small dialogs: a message box captioned with
// the product's title and an OK button only, then the focus goes to the field.
void refuseInput(QWidget* dialog, QWidget* field, const QString& message);

// A list of the dialogs that picks a row of the configuration: fills it with the names, each
// entry's data its row, and selects none.
void fillRows(QComboBox* box, const QStringList& names);
// The row of the selected entry; -1 when none is selected.
int chosenRow(const QComboBox* box);

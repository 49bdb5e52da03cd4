#include "console/inputcheck.h"

#include <QComboBox>
#include <QWidget>

#include "ui/prompt.h"
#include "ui/sorvixform.h"

void refuseInput(QWidget* dialog, QWidget* field, const QString& message)
{
    Prompt::instance().message(dialog, message, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
    if (field) field->setFocus(Qt::OtherFocusReason);
}

void fillRows(QComboBox* box, const QStringList& names)
{
    box->clear();
    for (int i = 0; i < names.size(); ++i) box->addItem(names[i], i);
    box->setCurrentIndex(-1);
}

int chosenRow(const QComboBox* box)
{
    return box->currentIndex() < 0 ? -1 : box->currentData().toInt();
}

#include "console/inputcheck.h"

#include <QWidget>

#include "ui/prompt.h"
#include "ui/sorvixform.h"

void refuseInput(QWidget* dialog, QWidget* field, const QString& message)
{
    Prompt::instance().message(dialog, message, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
    if (field) field->setFocus(Qt::OtherFocusReason);
}

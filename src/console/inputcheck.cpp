#include "console/inputcheck.h"

#include <QWidget>

#include "editor/common/prompt.h"
#include "engine/flow.h"
#include "engine/texts.h"

QString refusalCaption(const QString& labelCaption)
{
    return txt::Error + txt::Colon + TIVRFlow::CaptionToName(labelCaption);
}

void refuseInput(QWidget* dialog, QWidget* field, const QString& labelCaption, const QString& message)
{
    Prompt::instance().message(dialog, message, refusalCaption(labelCaption), Prompt::Kind::Error,
                               Prompt::Buttons::Ok);
    if (field) field->setFocus(Qt::OtherFocusReason);
}

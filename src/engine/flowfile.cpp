#include "engine/flow.h"

// Placeholder until the flow file reader and writer land.
bool TIVRFlow::LoadFromFile(const QString&, QString* error)
{
    if (error) *error = QStringLiteral("Read file error: \r\nnot available");
    return false;
}
bool TIVRFlow::SaveToFile(QString* error)
{
    if (error) *error = QStringLiteral("Save file error: \r\nnot available");
    return false;
}
bool TIVRFlow::SaveAs(const QString&, QString* error)
{
    return SaveToFile(error);
}
bool TIVRFlow::SaveFlowText(const QString&, QString* error)
{
    if (error) *error = QStringLiteral("Save flow text error: \r\nnot available");
    return false;
}

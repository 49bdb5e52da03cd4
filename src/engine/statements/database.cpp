#include "engine/statements/declarations.h"

// Placeholder until the database statements land.
bool IVRDataBase::PrepareDataSet(QString* error)
{
    if (error) error->clear();
    return true;
}
void IVRDataBase::CloseDataSet() {}

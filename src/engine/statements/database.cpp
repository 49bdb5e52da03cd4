#include "engine/statements/database.h"

#include <algorithm>

#include "engine/texts.h"

// Placeholder until the database statements land.
bool IVRDataBase::PrepareDataSet(QString* error)
{
    if (error) error->clear();
    return true;
}
void IVRDataBase::CloseDataSet() {}

// ---- database statements ----

using caption::valueOrNull;

namespace {
QString dataBaseName(const TIVRUseDataBase& s)
{
    return s.link.target() ? s.link.target()->Name : txt::NoDataBase;
}
}  // namespace

QString IVRDBOperate::GetDescription() const
{
    QString d = txt::Colon + dataBaseName(*this) + QLatin1Char(' ') +
                caption::nameAt(txt::DataBaseOperateNames, Operate, txt::NoOperate);
    if (variantLink.variable()) d += QLatin1Char(' ') + variantLink.variable()->Name;
    return d;
}

QString IVRField::GetDescription() const
{
    return txt::Colon + dataBaseName(*this) + QLatin1Char(' ') + valueOrNull(Field) + QLatin1Char(' ') +
           caption::variableOrNone(variantLink);
}

QString IVRParam::GetDescription() const
{
    return txt::Colon + dataBaseName(*this) + QLatin1Char(' ') + valueOrNull(Param) + QLatin1Char(' ') +
           valueOrNull(variantLink);
}

QString IVRCommand::GetDescription() const
{
    // The two later command types have no display name; their identifiers stand in.
    const QString type = caption::nameAt(txt::CommandTypeNames, CommandType,
                                         QString::fromLatin1(CommandTypeIds[std::clamp<int>(CommandType, 0, 5)]));
    return txt::Colon + dataBaseName(*this) + QLatin1Char(' ') + type + QLatin1Char(' ') + valueOrNull(variantLink);
}

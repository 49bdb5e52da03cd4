#include "editor/statementdialogs.h"

#include <QHash>

#include "engine/statement.h"

namespace {
QHash<const ClassInfo*, StatementDialogs::Dialog>& dialogs()
{
    static QHash<const ClassInfo*, StatementDialogs::Dialog> table;
    return table;
}
}  // namespace

namespace StatementDialogs {

void registerDialog(const ClassInfo* statementClass, Dialog dialog)
{
    if (dialog)
        dialogs().insert(statementClass, std::move(dialog));
    else
        dialogs().remove(statementClass);
}

bool hasDialog(const ClassInfo* statementClass)
{
    return dialogs().contains(statementClass);
}

void install()
{
    setEditHandler(&edit);
}

bool edit(TIVRBase& statement)
{
    const auto it = dialogs().constFind(&statement.classInfo());
    return it != dialogs().constEnd() && (*it)(statement);
}

}  // namespace StatementDialogs

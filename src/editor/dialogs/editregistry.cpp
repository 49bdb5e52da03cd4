#include "editor/dialogs/editregistry.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "editor/dialogs/allsysteminfo.h"
#include "editor/dialogs/databasedialog.h"
#include "editor/dialogs/dboperatedialogs.h"
#include "editor/dialogs/declarationdialogs.h"
#include "editor/dialogs/filedialogs.h"
#include "editor/dialogs/flowcontroldialogs.h"
#include "editor/dialogs/linedialogs.h"
#include "editor/dialogs/variabledialogs.h"
#include "editor/dialogs/voicedialogs.h"
#include "engine/statement.h"

namespace {

struct Registry {
    QHash<const ClassInfo*, EditRegistry::EditFunction> edits;
    std::vector<QPointer<QWidget>> dialogs;
    QPointer<QWidget> owner;
    QMetaObject::Connection ownerGone;
    bool installed = false;
};

Registry& registry()
{
    static Registry r;
    return r;
}

// Each family of dialogs creates its dialogs (EditRegistry::owner() as parent, adopted) and
// registers the Edit of its statement classes. Families that use another's dialog come after it.
using Installer = void (*)();
const Installer installers[] = {
    installResultPicker,
    installDeclarationDialogs,
    installFlowControlDialogs,
    installLineDialogs,
    installVariableDialogs,
    installDataBaseDialogs,
    installDataBaseOperateDialogs,
    installVoiceDialogs,
    installFileDialogs,
};

}  // namespace

namespace EditRegistry {

void registerEdit(const ClassInfo* statementClass, EditFunction edit)
{
    if (edit)
        registry().edits.insert(statementClass, std::move(edit));
    else
        registry().edits.remove(statementClass);
}

bool hasEdit(const ClassInfo* statementClass)
{
    return registry().edits.contains(statementClass);
}

bool edit(TIVRBase& statement)
{
    const auto& edits = registry().edits;
    const auto it = edits.constFind(&statement.classInfo());
    return it != edits.constEnd() && (*it)(statement);
}

QWidget* owner()
{
    return registry().owner;
}

void adopt(QWidget* dialog)
{
    registry().dialogs.emplace_back(dialog);
}

}  // namespace EditRegistry

void installStatementDialogs(QWidget* owner)
{
    Registry& r = registry();
    if (r.installed) return;
    r.installed = true;
    r.owner = owner;
    // The dialogs go with their owner window; the registry must not outlive them.
    if (owner) r.ownerGone = QObject::connect(owner, &QObject::destroyed, [] { uninstallStatementDialogs(); });
    for (Installer install : installers) install();
    setEditHandler(&EditRegistry::edit);
}

void uninstallStatementDialogs()
{
    Registry& r = registry();
    if (!r.installed) return;
    QObject::disconnect(r.ownerGone);
    r.edits.clear();
    std::vector<QPointer<QWidget>> dialogs;
    dialogs.swap(r.dialogs);
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) delete it->data();
    r.owner = nullptr;
    r.installed = false;
}

bool statementDialogsInstalled()
{
    return registry().installed;
}

#pragma once

#include <functional>

class QWidget;
class TIVRBase;
struct ClassInfo;

// The editor's registry behind the statements' Edit: each statement class maps to the Edit of its
// property dialog. Installed once at start-up (installStatementDialogs), which also makes it the
// engine's edit handler; a class without an entry is not edited (false).
namespace EditRegistry {

using EditFunction = std::function<bool(TIVRBase& statement)>;

// Registers the Edit of a statement class; an empty function removes it.
void registerEdit(const ClassInfo* statementClass, EditFunction edit);
bool hasEdit(const ClassInfo* statementClass);
// The engine's edit handler: the class's registered Edit, false without one.
bool edit(TIVRBase& statement);

// The Edit of a class, given the statement as its own class.
template <class Statement, class F>
void registerEditOf(F f)
{
    registerEdit(&Statement::info, [f = std::move(f)](TIVRBase& s) { return f(static_cast<Statement&>(s)); });
}

// The window that owns the dialogs (null when the registry owns them itself).
QWidget* owner();
// Keeps a dialog that an installer created; it is freed by uninstallStatementDialogs or with
// the owner window.
void adopt(QWidget* dialog);

}  // namespace EditRegistry

// Creates every statement property dialog once, owned by `owner` (the main window) when given,
// registers each statement class's Edit and installs the engine's edit handler. The dialogs then
// live for the program's run; a second call does nothing.
void installStatementDialogs(QWidget* owner = nullptr);
// Removes every registration and frees the dialogs.
void uninstallStatementDialogs();
bool statementDialogsInstalled();

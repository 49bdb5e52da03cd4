#pragma once

#include <functional>

class TIVRBase;
struct ClassInfo;

// The editor's registry of statement property dialogs, behind the statements' Edit. A kind whose
// dialog is not registered is not edited: Edit answers false.
namespace StatementDialogs {

// Opens the dialog for the statement and answers whether the user confirmed it.
using Dialog = std::function<bool(TIVRBase& statement)>;

void registerDialog(const ClassInfo* statementClass, Dialog dialog);  // an empty dialog removes it
bool hasDialog(const ClassInfo* statementClass);
// Installs the registry as the statements' edit handler.
void install();
// The edit handler: the registered dialog's answer, false without one.
bool edit(TIVRBase& statement);

}  // namespace StatementDialogs

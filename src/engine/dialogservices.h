#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// What a property dialog shows, decided by the flow document; the editor's widget helpers apply it.

// The items of a variable, database or label combo box: the declarations in the order they were
// added (for variables the result variable first), the index of the one the link refers to (-1 for
// none), and the text the box shows: the selected name, or for a variable link that refers to none
// the link's constant in its stored form.
template <class Decl>
struct DeclarationCombo {
    QStringList names;
    std::vector<Decl*> items;
    int selected = -1;
    QString text;

    Decl* selectedItem() const { return selected >= 0 ? items[size_t(selected)] : nullptr; }
};

// How a property dialog is set up before it is shown.
struct DialogPreparation {
    enum class Focus {
        RunningControl,  // the control to focus while the flow runs (the dialog can only be cancelled)
        EditControl,     // the first field to edit
    };
    QString caption;  // the given caption, marked read-only while the flow runs
    bool okEnabled = true;
    Focus focus = Focus::EditControl;
};

// The verdict on a typed value: accepted, or a message box (OK button only) with this text and
// caption, after which the combo box gets the focus and the dialog stays open.
struct ValueInputCheck {
    bool accepted = true;
    QString message;
    QString caption;
};

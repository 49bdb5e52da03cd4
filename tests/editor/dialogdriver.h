#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <deque>
#include <functional>
#include <vector>

#include "editor/dialogs/statementdlg.h"

// Drives the statement dialogs without modal loops: each modal run takes the next action, which
// acts on the shown dialog as the user would (types, picks, clicks OK or Cancel). A run with no
// action left is cancelled.
class DialogDriver {
public:
    DialogDriver()
    {
        TStatementDlg::setModalDriver([this](TStatementDlg& d) {
            ++runs;
            if (actions_.empty()) return;
            auto action = std::move(actions_.front());
            actions_.pop_front();
            action(d);
        });
    }
    ~DialogDriver() { TStatementDlg::setModalDriver({}); }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // The next modal run, given the dialog as the expected class.
    template <class Dialog>
    void then(std::function<void(Dialog&)> action)
    {
        actions_.push_back([action = std::move(action)](TStatementDlg& d) {
            auto* dialog = dynamic_cast<Dialog*>(&d);
            ASSERT_NE(dialog, nullptr) << "another dialog was shown: " << d.metaObject()->className();
            action(*dialog);
        });
    }
    size_t pending() const { return actions_.size(); }
    int runs = 0;

private:
    std::deque<std::function<void(TStatementDlg&)>> actions_;
};

namespace user {
// Types into a box, replacing its text.
inline void type(QComboBox* box, const QString& text)
{
    box->setEditText(text);
}
inline void type(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    emit edit->textEdited(text);
}
// Picks a row of a list or a box.
inline void choose(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}
inline void choose(QComboBox* combo, const QString& text)
{
    choose(combo, combo->findText(text));
}
// Whether the widget, or a widget inside it (the line edit of a box), has the dialog's focus.
inline bool focused(const QWidget* dialog, const QWidget* w)
{
    const QWidget* f = dialog->focusWidget();
    return f && (f == w || w->isAncestorOf(f) || (f->focusProxy() == w));
}
// The first n stops of the tab order from `from`; the inner parts of a control (the line edit
// of a box) are the control's own stop.
inline std::vector<QWidget*> tabOrder(QWidget* from, int n)
{
    std::vector<QWidget*> order;
    int steps = 0;
    for (QWidget* w = from; w && int(order.size()) < n && ++steps < 1000; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) == 0 || !w->isVisibleTo(w->window())) continue;
        bool inner = false;
        for (QWidget* o : order) inner = inner || (o != w && o->isAncestorOf(w));
        if (!inner) order.push_back(w);
    }
    return order;
}
}  // namespace user

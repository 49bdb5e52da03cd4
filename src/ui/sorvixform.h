#pragma once

#include <QDialog>
#include <QFont>
#include <QMainWindow>
#include <QIcon>
#include <QString>

// Set during program initialisation, before the first window exists.
extern QString ProductTitle;
extern QString AboutTitle;
extern QString SubtitleText;
extern QString WebAddress;
extern QString SupportMailAddress;
extern QString SalesMailAddress;
// Sets the product texts and the help roots (HelpRoot, StatementHelpRoot) for the running program.
void initProductTexts();

// Qt's own texts (standard buttons, file dialogs) in the interface language: Qt's Chinese
// translations are installed when the interface is Chinese, and taken away again otherwise; the
// default locale (sizes and dates in Qt's lists) is the interface language too.
// Returns whether Qt's texts now follow the interface language.
bool installQtTranslations();

// The font of the interface language: a CJK face for Chinese, the nearest sans face otherwise.
QFont languageFont();

// The width a window needs for its whole title in the title bar (the title bar's font, its icon
// and its buttons), so a narrow dialog or message box never cuts its caption.
int titleBarWidth(const QString& title);
// The icon with a disabled look that cannot be taken for the enabled one: grey and faded to a
// third (the style's own disabled images of dark icons are barely lighter).
QIcon withDisabledLook(const QIcon& icon);

// Base of the top-level and MDI windows.
class TSorvixForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TSorvixForm(QWidget* parent = nullptr);
};

// Base of every dialog: the language font, a fixed dialog look, centred each time it is shown.
class TSorvixDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSorvixDlg(QWidget* parent = nullptr);

    // Where the dialog is put when shown: centred on the span of all screens, then moved into the
    // available area of the nearest screen so it is never off every screen.
    static QPoint centredPosition(const QSize& size);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Keeps the layout at least as wide as the title needs.
    class QSpacerItem* titleSpace_ = nullptr;
};

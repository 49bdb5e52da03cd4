#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QFileDialog;
class QMessageBox;
class QModelIndex;

class QWidget;

// Every message box, question, file picker, beep and URL opening of both programs goes through
// here, so offscreen tests can answer them without a modal loop.
class Prompt {
public:
    enum class Kind { Information, Warning, Error, Question };
    enum Button { Ok = 1, Cancel = 2, Yes = 6, No = 7 };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };

    virtual ~Prompt() = default;
    // Returns the button chosen.
    virtual int message(QWidget* parent, const QString& text, const QString& caption, Kind kind,
                        Buttons buttons) = 0;
    // Empty when cancelled. The filter uses Qt's form "Name (*.x);;All Files (*)".
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    // A name for which `refuse` gives a text is refused there and then, before anything asks
    // whether to replace the file: the text is shown and the dialog stays open.
    using RefuseName = std::function<QString(const QString& fileName)>;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter, const QString& defaultSuffix,
                                 const RefuseName& refuse = {}) = 0;
    // Takes an existing file or a new name (nothing asks about replacing); empty when cancelled.
    virtual QString newOrOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter) = 0;
    virtual void beep() = 0;
    virtual bool openUrl(const QUrl& url) = 0;

    // The process's prompt: the Qt one unless a test installed another.
    static Prompt& instance();
    // Installs a prompt (not owned); nullptr restores the Qt one.
    static void setInstance(Prompt* prompt);

    // Converts "Name (*.x)|*.x|All Files (*.*)|*.*" into Qt's filter form.
    static QString qtFilter(const QString& windowsFilter);
};

// The prompt on Qt's message boxes and file dialogs.
class QtPrompt : public Prompt {
public:
    int message(QWidget* parent, const QString& text, const QString& caption, Kind kind, Buttons buttons) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                         const QString& defaultSuffix, const RefuseName& refuse = {}) override;
    QString newOrOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                              const QString& filter) override;
    void beep() override;

    // The box message runs: wide enough for its whole caption.
    static std::unique_ptr<QMessageBox> messageBox(QWidget* parent, const QString& text, const QString& caption,
                                                   Kind kind, Buttons buttons);
    // The dialog openFileName runs: Qt's own open dialog.
    static std::unique_ptr<QFileDialog> openDialog(QWidget* parent, const QString& caption, const QString& dir,
                                                   const QString& filter);
    // The date a file dialog's list shows for the file at `index`, in the program's language (the
    // default locale) rather than the system's; empty where it shows no date.
    static QString fileDateText(const QModelIndex& index);
    // The dialog newOrOpenFileName runs: Qt's own file dialog (a native open dialog refuses a
    // name that does not exist), accepting any name.
    static std::unique_ptr<QFileDialog> newOrOpenDialog(QWidget* parent, const QString& caption, const QString& dir,
                                                        const QString& filter);
    // The dialog saveFileName runs: Qt's own save dialog, which asks before replacing a file only
    // after `refuse` has let the name pass.
    static std::unique_ptr<QFileDialog> saveDialog(QWidget* parent, const QString& caption, const QString& dir,
                                                   const QString& filter, const QString& defaultSuffix,
                                                   const RefuseName& refuse);
    bool openUrl(const QUrl& url) override;
};

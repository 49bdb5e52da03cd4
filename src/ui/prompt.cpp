#include "ui/prompt.h"

#include "ui/sorvixform.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QGridLayout>
#include <QSpacerItem>
#include <QMessageBox>

namespace {
Prompt* g_prompt = nullptr;
}

Prompt& Prompt::instance()
{
    static QtPrompt qtPrompt;
    return g_prompt ? *g_prompt : qtPrompt;
}

void Prompt::setInstance(Prompt* prompt)
{
    g_prompt = prompt;
}

QString Prompt::qtFilter(const QString& windowsFilter)
{
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        name.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
        if (!name.contains(QLatin1Char('('))) name += QStringLiteral(" (") + patterns.split(';').join(' ') + ')';
        filters << name;
    }
    return filters.join(QStringLiteral(";;"));
}

std::unique_ptr<QMessageBox> QtPrompt::messageBox(QWidget* parent, const QString& text, const QString& caption,
                                                  Kind kind, Buttons buttons)
{
    auto owned = std::make_unique<QMessageBox>(parent);
    QMessageBox& box = *owned;
    // A box without a caption of its own carries the program's title, as the others do.
    const QString title = caption.isEmpty() ? ProductTitle : caption;
    box.setWindowTitle(title);
    box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (kind) {
    case Kind::Information: box.setIcon(QMessageBox::Information); break;
    case Kind::Warning: box.setIcon(QMessageBox::Warning); break;
    case Kind::Error: box.setIcon(QMessageBox::Critical); break;
    case Kind::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // A message box is as wide as its text: widen it where its caption needs more, so the title
    // bar never cuts it.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleBarWidth(title), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return owned;
}

int QtPrompt::message(QWidget* parent, const QString& text, const QString& caption, Kind kind, Buttons buttons)
{
    const auto box = messageBox(parent, text, caption, kind, buttons);
    switch (box->exec()) {
    case QMessageBox::Ok: return Ok;
    case QMessageBox::Yes: return Yes;
    case QMessageBox::No: return No;
    default: return Cancel;
    }
}

namespace {

// Qt's file list writes its dates in the system's locale; this writes them in the program's.
class FileDateDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString text = QtPrompt::fileDateText(index);
        if (!text.isEmpty()) option->text = text;
    }
};

// The detail view's date column; the list view shows names only.
constexpr int kDateColumn = 3;

void showDatesInProgramLanguage(QFileDialog& dialog)
{
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        details->setItemDelegateForColumn(kDateColumn, new FileDateDelegate(details));
        // Wide enough for the dates as written here, which may be longer than Qt's own.
        details->header()->setSectionResizeMode(kDateColumn, QHeaderView::ResizeToContents);
    }
}

}  // namespace

QString QtPrompt::fileDateText(const QModelIndex& index)
{
    QModelIndex source = index;
    const QAbstractItemModel* model = index.model();
    while (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(model)) {
        source = proxy->mapToSource(source);
        model = proxy->sourceModel();
    }
    const auto* files = qobject_cast<const QFileSystemModel*>(model);
    if (!files || !source.isValid()) return {};
    const QDateTime modified = files->lastModified(source);
    return modified.isValid() ? QLocale().toString(modified, QLocale::ShortFormat) : QString();
}

namespace {

// Runs the dialog; the file chosen, or nothing when it was cancelled.
QString chosenFile(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

// Qt's own open dialog, taking the names `mode` allows.
std::unique_ptr<QFileDialog> openDialogFor(QWidget* parent, const QString& caption, const QString& dir,
                                           const QString& filter, QFileDialog::FileMode mode)
{
    auto dialog = std::make_unique<QFileDialog>(parent, caption, dir, filter);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(mode);
    showDatesInProgramLanguage(*dialog);
    return dialog;
}

}  // namespace

std::unique_ptr<QFileDialog> QtPrompt::openDialog(QWidget* parent, const QString& caption, const QString& dir,
                                                  const QString& filter)
{
    return openDialogFor(parent, caption, dir, filter, QFileDialog::ExistingFile);
}

QString QtPrompt::openFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    const auto dialog = openDialog(parent, caption, dir, filter);
    return chosenFile(*dialog);
}

namespace {

// A save dialog that hears the caller's refusal before Qt's own question about replacing a file.
class RefusingFileDialog : public QFileDialog {
public:
    RefusingFileDialog(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                       Prompt::RefuseName refuse)
        : QFileDialog(parent, caption, dir, filter), refuse_(std::move(refuse))
    {
    }

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (refuse_ && !files.isEmpty() && !QFileInfo(files.first()).isDir()) {
            const QString why = refuse_(files.first());
            if (!why.isEmpty()) {
                Prompt::instance().message(this, why, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    Prompt::RefuseName refuse_;
};

}  // namespace

std::unique_ptr<QFileDialog> QtPrompt::saveDialog(QWidget* parent, const QString& caption, const QString& dir,
                                                  const QString& filter, const QString& defaultSuffix,
                                                  const RefuseName& refuse)
{
    auto dialog = std::make_unique<RefusingFileDialog>(parent, caption, dir, filter, refuse);
    // Qt's own dialog: a native one would ask about replacing before the refusal is heard.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(defaultSuffix);
    showDatesInProgramLanguage(*dialog);
    return dialog;
}

QString QtPrompt::saveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                               const QString& defaultSuffix, const RefuseName& refuse)
{
    const auto dialog = saveDialog(parent, caption, dir, filter, defaultSuffix, refuse);
    return chosenFile(*dialog);
}

std::unique_ptr<QFileDialog> QtPrompt::newOrOpenDialog(QWidget* parent, const QString& caption, const QString& dir,
                                                       const QString& filter)
{
    return openDialogFor(parent, caption, dir, filter, QFileDialog::AnyFile);
}

QString QtPrompt::newOrOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    const auto dialog = newOrOpenDialog(parent, caption, dir, filter);
    return chosenFile(*dialog);
}

void QtPrompt::beep()
{
    QApplication::beep();
}

bool QtPrompt::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

#pragma once

#include <QPointer>
#include <QStringList>

#include "editor/dialogs/statementdlg.h"
#include "platform/connectionstring.h"

class QComboBox;
class QLineEdit;
class IVRDataBase;

// Builds a connection string from its parts, over the Qt SQL drivers of this system: provider,
// data source or server, port, database, user, password, and the remaining pairs as options.
class TfrmConnectionString : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmConnectionString(QWidget* parent = nullptr);

    // Shows the parts of the string; on OK the string is replaced by the one the fields make.
    bool Execute(QString& connectionString);

    // Fills the fields from a string; one that does not parse, or one that names a data-link
    // file, starts empty.
    void setConnectionString(const QString& text);
    // The string the fields make.
    QString connectionString() const;

    // The providers offered: those whose Qt SQL driver is installed, SQLite first.
    static QStringList installedProviders();

    QLabel* lblProvider;
    QComboBox* cmbProvider;
    QLabel* lblDataSource;
    QLineEdit* edtDataSource;
    QLabel* lblPort;
    QLineEdit* edtPort;
    QLabel* lblDatabase;
    QLineEdit* edtDatabase;
    QLabel* lblUser;
    QLineEdit* edtUser;
    QLabel* lblPassword;
    QLineEdit* edtPassword;
    QLabel* lblOptions;
    QLineEdit* edtOptions;

protected:
    bool checkInput() override;

private:
    void selectProvider(const QString& name);
    // The key spellings the string came with, written back the same way.
    bool namedProvider_ = false;
    QString dataSourceKey_, portKey_, databaseKey_, userKey_, passwordKey_, providerKey_;
};

// The database definition: name, connection string (typed, built, or a data-link file), command
// type and text, note.
class TfrmDataBaseDefine : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmDataBaseDefine(QWidget* parent = nullptr);

    bool Edit(IVRDataBase& statement);

    QLabel* lblName;
    QLineEdit* edtName;
    QLabel* lblConnectionString;
    QLineEdit* edtConnectionString;
    QPushButton* btnConnectionString;
    QPushButton* btnLinkFile;
    QLabel* lblCommandType;
    QComboBox* cmbCommandType;
    QLabel* lblCommandText;
    QLineEdit* edtCommandText;

    void btnConnectionStringClick();
    void btnLinkFileClick();

protected:
    bool checkInput() override;

private:
    IVRDataBase* statement_ = nullptr;
};

extern QPointer<TfrmDataBaseDefine> frmDataBaseDefine;
extern QPointer<TfrmConnectionString> frmConnectionString;

// Creates the database definition dialog with its connection-string dialog and registers the
// Edit of IVRDataBase.
void installDataBaseDialogs();

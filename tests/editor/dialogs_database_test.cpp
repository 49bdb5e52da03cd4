#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QUrl>

#include "dialogfixture.h"
#include "editor/dialogs/databasedialog.h"
#include "platform/connectionstring.h"

namespace {

using DataBaseDialogTest = DialogTest;

IVRDataBase* definition(DialogTest& t, const QString& name)
{
    auto* d = t.add<IVRDataBase>(t.flow->VarRoot);
    d->Name = name;
    return d;
}

// ---- the definition dialog ----

struct NameCase {
    const char* typed;
    const char* message;  // nullptr: accepted
};

TEST_F(DataBaseDialogTest, NameMustBeGivenAndNotUsedByAnotherDefinition)
{
    definition(*this, "Orders");
    variable("Sales");  // a variable's name is no definition's
    IVRDataBase* edited = definition(*this, "Mine");
    const NameCase cases[] = {
        {"", "Name cann't be empty"},
        {"Orders", "Name has been used by another DataBase"},
        {"orders", nullptr},  // names are compared exactly
        {"Orders ", nullptr},
        {"Sales", nullptr},
        {"Mine", nullptr},  // its own name
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.typed);
        edited->Name = "Mine";
        prompt.messages.clear();
        prompt.captions.clear();
        bool refusedFocus = false;
        driver.then<TfrmDataBaseDefine>([&](TfrmDataBaseDefine& d) {
            user::type(d.edtName, c.typed);
            d.btnOk->click();
            if (d.isVisible()) {
                refusedFocus = user::focused(&d, d.edtName);
                d.btnCancel->click();
            }
        });
        const bool confirmed = edited->Edit();
        if (!c.message) {
            EXPECT_TRUE(confirmed);
            EXPECT_TRUE(prompt.messages.isEmpty());
            EXPECT_EQ(edited->Name, c.typed);
        } else {
            EXPECT_FALSE(confirmed);
            EXPECT_EQ(prompt.messages, QStringList{c.message});
            EXPECT_EQ(prompt.captions, QStringList{"Error : Name"});
            EXPECT_TRUE(refusedFocus);
            EXPECT_EQ(edited->Name, "Mine");
        }
    }
}

TEST_F(DataBaseDialogTest, FillsAndWritesTheDefinition)
{
    IVRDataBase* db = definition(*this, "Orders");
    db->ConnectionString = "Data Source=orders.db";
    db->CommandType = cmdTable;
    db->CommandText = "orders";
    db->Note = "n";
    driver.then<TfrmDataBaseDefine>([&](TfrmDataBaseDefine& d) {
        EXPECT_EQ(d.windowTitle(), "DataBase");
        EXPECT_EQ(d.edtName->text(), "Orders");
        EXPECT_EQ(d.edtConnectionString->text(), "Data Source=orders.db");
        EXPECT_EQ(d.cmbCommandType->count(), 4);
        EXPECT_EQ(d.cmbCommandType->currentText(), "Table");
        EXPECT_FALSE(d.cmbCommandType->isEditable());
        EXPECT_EQ(d.edtCommandText->text(), "orders");
        EXPECT_EQ(d.edtNote->text(), "n");
        EXPECT_EQ(d.lblConnectionString->text(), "Connection Strin&g: ");
        EXPECT_EQ(d.btnConnectionString->text(), "&String...");
        EXPECT_EQ(d.btnLinkFile->text(), "&File...");
        EXPECT_TRUE(user::focused(&d, d.edtName));
        const auto order = user::tabOrder(d.edtName, 10);
        EXPECT_EQ(order, (std::vector<QWidget*>{d.edtName, d.edtConnectionString, d.btnConnectionString,
                                                d.btnLinkFile, d.cmbCommandType, d.edtCommandText, d.edtNote,
                                                d.btnOk, d.btnCancel, d.btnHelp}));
        user::type(d.edtConnectionString, "Data Source=other.db");
        user::choose(d.cmbCommandType, "StoredProcedure");
        user::type(d.edtCommandText, "count_orders");
        d.btnCancel->click();
    });
    EXPECT_FALSE(db->Edit());
    EXPECT_EQ(db->ConnectionString, "Data Source=orders.db");
    EXPECT_EQ(db->CommandType, cmdTable);

    driver.then<TfrmDataBaseDefine>([&](TfrmDataBaseDefine& d) {
        user::type(d.edtName, "Orders2");
        user::type(d.edtConnectionString, "Data Source=other.db");
        user::choose(d.cmbCommandType, "StoredProcedure");
        user::type(d.edtCommandText, "count_orders");
        d.btnOk->click();
    });
    ASSERT_TRUE(db->Edit());
    EXPECT_EQ(db->Name, "Orders2");
    EXPECT_EQ(db->ConnectionString, "Data Source=other.db");
    EXPECT_EQ(db->CommandType, cmdStoredProc);
    EXPECT_EQ(db->CommandText, "count_orders");
    EXPECT_EQ(db->GetNodeText(), "DataBase : Orders2 StoredProcedure - count_orders {n} ");
}

TEST_F(DataBaseDialogTest, HelpOpensTheDefinitionPage)
{
    qputenv("SORVIX_HELP_DIR", SORVIX_BINARY_DIR "/src/apps/help");
    IVRDataBase* db = definition(*this, "Orders");
    driver.then<TfrmDataBaseDefine>([&](TfrmDataBaseDefine& d) {
        EXPECT_EQ(d.helpPath(), txt::StatementHelpRoot + "/DataDefine/IVRDataBase.htm");
        d.btnHelp->click();
    });
    EXPECT_FALSE(db->Edit());
    qunsetenv("SORVIX_HELP_DIR");
    ASSERT_EQ(prompt.urls.size(), 1);
    const QString page = QUrl(prompt.urls[0]).toLocalFile();
    EXPECT_TRUE(page.endsWith("/DataDefine/IVRDataBase.htm")) << page.toStdString();
    EXPECT_TRUE(QFileInfo(page).isFile());
}

// ---- the data-link file button ----

struct LinkFileCase {
    const char* before;
    const char* initial;  // what the file picker starts from
    const char* picked;   // empty: cancelled
    const char* after;
};

TEST_F(DataBaseDialogTest, LinkFileButtonPicksAFileThroughThePrompt)
{
    const LinkFileCase cases[] = {
        {"FILE NAME=/srv/links/orders.udl", "/srv/links/orders.udl", "/srv/links/other.udl",
         "FILE NAME=/srv/links/other.udl"},
        {"FILE NAME=links\\orders.udl", "links\\orders.udl", "", "FILE NAME=links\\orders.udl"},
        // The run time finds the key in any letter case; so does the button.
        {"file name=links/x.udl;User ID=a", "links/x.udl", "/tmp/x.udl", "FILE NAME=/tmp/x.udl"},
        {"Data Source=a.db", "", "/tmp/x.udl", "FILE NAME=/tmp/x.udl"},
        {"not a string", "", "", "not a string"},
        // A path that would end the pair is quoted.
        {"", "", "/tmp/a;b.udl", "FILE NAME=\"/tmp/a;b.udl\""},
    };
    IVRDataBase* db = definition(*this, "Orders");
    for (const LinkFileCase& c : cases) {
        SCOPED_TRACE(c.before);
        db->ConnectionString = c.before;
        prompt.dialogs.clear();
        prompt.fileNames = {c.picked};
        driver.then<TfrmDataBaseDefine>([&](TfrmDataBaseDefine& d) {
            d.btnLinkFile->click();
            EXPECT_TRUE(d.isVisible());
            d.btnOk->click();
        });
        ASSERT_TRUE(db->Edit());
        ASSERT_EQ(prompt.dialogs.size(), 1u);
        EXPECT_EQ(prompt.dialogs[0].dir, c.initial);
        EXPECT_EQ(prompt.dialogs[0].filter, "Data Link Files (*.udl);;All Files (*)");
        EXPECT_EQ(db->ConnectionString, c.after);
        if (*c.picked) {
            ConnectionPairs pairs;
            ASSERT_TRUE(connectionstring::parse(db->ConnectionString, &pairs));
            EXPECT_EQ(connectionstring::value(pairs, u"File Name"), c.picked);
        }
    }
}

// ---- the connection-string dialog ----

struct StringCase {
    const char* text;
    const char* provider, *source, *port, *database, *user, *password, *options;
    const char* written;  // nullptr: as given
};

TEST_F(DataBaseDialogTest, ConnectionStringFillsItsFieldsAndWritesThemBack)
{
    const bool odbc = QSqlDatabase::drivers().contains("QODBC");
    const StringCase cases[] = {
        {"Provider=SQLite;Data Source=orders.db", "SQLite", "orders.db", "", "", "", "", "", nullptr},
        {"Data Source=orders.db", "SQLite", "orders.db", "", "", "", "", "", nullptr},
        {"Provider=PostgreSQL;Data Source=db.local;Port=5433;Initial Catalog=sales;User ID=ivr;Password=\"p;w\"",
         "PostgreSQL", "db.local", "5433", "sales", "ivr", "p;w", "", nullptr},
        // Keys keep their spelling; other pairs are options, written after the fields.
        {"provider=postgresql;Server=h;Database=d;Connect Timeout=5", "PostgreSQL", "h", "", "d", "", "", "Connect Timeout=5",
         "provider=PostgreSQL;Server=h;Database=d;Connect Timeout=5"},
        // A provider this system has no driver for, or a versioned name, stays as written.
        {"Provider=MSDASQL.1;Data Source=dsn;Extended Properties=\"DRIVER=SQLite3;Database=a.db\"", "MSDASQL.1",
         "dsn", "", "", "", "", "Extended Properties=\"DRIVER=SQLite3;Database=a.db\"", nullptr},
        {"Provider=Other;Data Source=x", "Other", "x", "", "", "", "", "", nullptr},
        // Nothing to show: what does not parse, and a data-link file.
        {"no pairs here", "SQLite", "", "", "", "", "", "", ""},
        {"FILE NAME=a.udl", "SQLite", "", "", "", "", "", "", ""},
        {"", "SQLite", "", "", "", "", "", "", ""},
    };
    TfrmConnectionString& d = *frmConnectionString;
    EXPECT_EQ(TfrmConnectionString::installedProviders().value(0), "SQLite");
    EXPECT_EQ(TfrmConnectionString::installedProviders().contains("ODBC"), odbc);
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.text);
        d.setConnectionString(c.text);
        EXPECT_EQ(d.cmbProvider->currentText(), c.provider);
        EXPECT_EQ(d.edtDataSource->text(), c.source);
        EXPECT_EQ(d.edtPort->text(), c.port);
        EXPECT_EQ(d.edtDatabase->text(), c.database);
        EXPECT_EQ(d.edtUser->text(), c.user);
        EXPECT_EQ(d.edtPassword->text(), c.password);
        EXPECT_EQ(d.edtOptions->text(), c.options);
        EXPECT_EQ(d.connectionString(), c.written ? c.written : c.text);
    }
    // Another provider picked for a string that named none is written.
    d.setConnectionString("Data Source=h");
    user::choose(d.cmbProvider, d.cmbProvider->count() - 1);
    if (d.cmbProvider->currentIndex() > 0) {
        EXPECT_EQ(d.connectionString(), "Provider=" + d.cmbProvider->currentText() + ";Data Source=h");
    }

    // What the fields make is what the run time reads.
    d.setConnectionString("Provider=PostgreSQL;Data Source=db.local;Port=5433;Initial Catalog=sales;User ID=ivr;Password=\"p;w\"");
    ConnectionTarget target;
    QString error;
    ASSERT_TRUE(connectionstring::resolve(d.connectionString(), {}, &target, &error)) << error.toStdString();
    EXPECT_EQ(target.driver, "QPSQL");
    EXPECT_EQ(target.hostName, "db.local");
    EXPECT_EQ(target.port, 5433);
    EXPECT_EQ(target.databaseName, "sales");
    EXPECT_EQ(target.password, "p;w");
}

TEST_F(DataBaseDialogTest, StringButtonBuildsTheStringInItsOwnDialog)
{
    IVRDataBase* db = definition(*this, "Orders");
    db->ConnectionString = "Data Source=orders.db";
    driver.then<TfrmDataBaseDefine>([&](TfrmDataBaseDefine& d) {
        d.btnConnectionString->click();  // cancelled: unchanged
        EXPECT_EQ(d.edtConnectionString->text(), "Data Source=orders.db");
        d.btnConnectionString->click();
        EXPECT_EQ(d.edtConnectionString->text(), "Data Source=/data/new.db;Cache=Shared");
        d.btnOk->click();
    });
    driver.then<TfrmConnectionString>([&](TfrmConnectionString& c) {
        EXPECT_EQ(c.edtDataSource->text(), "orders.db");
        user::type(c.edtDataSource, "/data/other.db");
        c.btnCancel->click();
    });
    driver.then<TfrmConnectionString>([&](TfrmConnectionString& c) {
        EXPECT_EQ(c.edtDataSource->text(), "orders.db");
        EXPECT_TRUE(user::focused(&c, c.cmbProvider));
        user::type(c.edtDataSource, "/data/new.db");
        user::type(c.edtOptions, "Cache=Shared");
        c.btnOk->click();
    });
    ASSERT_TRUE(db->Edit());
    EXPECT_EQ(db->ConnectionString, "Data Source=/data/new.db;Cache=Shared");
}

struct RefusalCase {
    const char* port;
    const char* options;
    const char* message;  // the start of the refusal
    const char* caption;
};

TEST_F(DataBaseDialogTest, ConnectionStringRefusesABadPortOrOptions)
{
    const RefusalCase cases[] = {
        {"abc", "", "The port must be a number from 1 to 65535", "Error : Port"},
        {"0", "", "The port must be a number from 1 to 65535", "Error : Port"},
        {"65536", "", "The port must be a number from 1 to 65535", "Error : Port"},
        {"5432", "sslmode", "The options must be key=value pairs separated by \";\": ", "Error : Options"},
        {"5432", "a=\"b", "The options must be key=value pairs separated by \";\": ", "Error : Options"},
        {"", "User ID=x", "This key has a field of its own: User ID", "Error : Options"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.port << " / " << c.options);
        prompt.messages.clear();
        prompt.captions.clear();
        QString text = "Provider=PostgreSQL;Data Source=h";
        bool focusedField = false;
        driver.then<TfrmConnectionString>([&](TfrmConnectionString& d) {
            user::type(d.edtPort, c.port);
            user::type(d.edtOptions, c.options);
            d.btnOk->click();
            EXPECT_TRUE(d.isVisible());
            focusedField = user::focused(&d, QString(c.caption).endsWith("Port") ? d.edtPort : d.edtOptions);
            d.btnCancel->click();
        });
        EXPECT_FALSE(frmConnectionString->Execute(text));
        EXPECT_EQ(text, "Provider=PostgreSQL;Data Source=h");
        ASSERT_EQ(prompt.messages.size(), 1);
        EXPECT_TRUE(prompt.messages[0].startsWith(c.message)) << prompt.messages[0].toStdString();
        EXPECT_EQ(prompt.captions[0], c.caption);
        EXPECT_TRUE(focusedField);
    }
}

}  // namespace

#include "editor/dialogs/databasedialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>

#include "ui/prompt.h"
#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"

QPointer<TfrmDataBaseDefine> frmDataBaseDefine;
QPointer<TfrmConnectionString> frmConnectionString;

namespace {

// The connection-string dialog stands in for a sheet of the system's own, so its few words live
// here rather than in the statement text tables.
QString say(const char* english, const char* chinese)
{
    return QString::fromUtf8(IsChinese ? chinese : english);
}

const QString kFileNamePrefix = QStringLiteral("FILE NAME=");

// Keys each field reads, the first one being the one it writes when the string had none.
const char16_t* const kProviderKeys[] = {u"Provider"};
const char16_t* const kDataSourceKeys[] = {u"Data Source", u"Server"};
const char16_t* const kPortKeys[] = {u"Port"};
const char16_t* const kDatabaseKeys[] = {u"Initial Catalog", u"Database"};
const char16_t* const kUserKeys[] = {u"User ID"};
const char16_t* const kPasswordKeys[] = {u"Password"};

bool sameKey(const QString& a, QStringView b)
{
    return QStringView(a).trimmed().compare(b, Qt::CaseInsensitive) == 0;
}

template <size_t N>
bool isKeyOf(const QString& key, const char16_t* const (&keys)[N])
{
    for (const char16_t* k : keys)
        if (sameKey(key, QStringView(k))) return true;
    return false;
}

// The value of the first of the keys the pairs hold, with the key as it is spelled there.
template <size_t N>
QString take(const ConnectionPairs& pairs, const char16_t* const (&keys)[N], QString* spelling)
{
    for (const char16_t* k : keys) {
        const qsizetype i = connectionstring::indexOf(pairs, QStringView(k));
        if (i < 0) continue;
        *spelling = pairs.at(i).key;
        return pairs.at(i).value;
    }
    *spelling = QString::fromUtf16(keys[0]);
    return QString();
}

struct Driver {
    const char* driver;
    const char* provider;
};
const Driver kDrivers[] = {{"QSQLITE", "SQLite"}, {"QPSQL", "PostgreSQL"}, {"QODBC", "ODBC"}};

}  // namespace

// ---- TfrmConnectionString ----

TfrmConnectionString::TfrmConnectionString(QWidget* parent) : TStatementDlg(parent, Buttons::OkCancel)
{
    cmbProvider = new QComboBox(this);
    lblProvider = addField(say("&Provider: ", "提供者(&P)："), cmbProvider).label;
    edtDataSource = new QLineEdit(this);
    edtDataSource->setMinimumWidth(260);
    lblDataSource = addField(say("&Data Source / Server: ", "数据源/服务器(&D)："), edtDataSource).label;
    edtPort = new QLineEdit(this);
    lblPort = addField(say("Po&rt: ", "端口(&R)："), edtPort).label;
    edtDatabase = new QLineEdit(this);
    lblDatabase = addField(say("Data&base: ", "数据库(&B)："), edtDatabase).label;
    edtUser = new QLineEdit(this);
    lblUser = addField(say("&User Name: ", "用户名(&U)："), edtUser).label;
    edtPassword = new QLineEdit(this);
    edtPassword->setEchoMode(QLineEdit::Password);
    lblPassword = addField(say("Pass&word: ", "密码(&W)："), edtPassword).label;
    edtOptions = new QLineEdit(this);
    lblOptions = addField(say("Op&tions: ", "选项(&T)："), edtOptions).label;
    finishLayout();
    setWindowTitle(say("Connection String", "连接字符串"));
    setConnectionString(QString());
}

QStringList TfrmConnectionString::installedProviders()
{
    const QStringList drivers = QSqlDatabase::drivers();
    QStringList providers;
    for (const Driver& d : kDrivers)
        if (drivers.contains(QLatin1String(d.driver))) providers << QLatin1String(d.provider);
    // The run time always takes SQLite when no provider is named.
    if (!providers.contains(QLatin1String("SQLite"))) providers.prepend(QStringLiteral("SQLite"));
    return providers;
}

void TfrmConnectionString::selectProvider(const QString& name)
{
    cmbProvider->clear();
    cmbProvider->addItems(installedProviders());
    if (name.isEmpty()) {
        cmbProvider->setCurrentIndex(0);
        return;
    }
    for (int i = 0; i < cmbProvider->count(); ++i)
        if (sameKey(cmbProvider->itemText(i), name)) {
            cmbProvider->setCurrentIndex(i);
            return;
        }
    // A provider of the string that this system lacks (or a versioned name) stays as written.
    cmbProvider->addItem(name);
    cmbProvider->setCurrentIndex(cmbProvider->count() - 1);
}

void TfrmConnectionString::setConnectionString(const QString& text)
{
    ConnectionPairs pairs;
    if (!connectionstring::parse(text, &pairs) || connectionstring::indexOf(pairs, u"File Name") >= 0) pairs.clear();
    const QString provider = take(pairs, kProviderKeys, &providerKey_);
    namedProvider_ = connectionstring::indexOf(pairs, u"Provider") >= 0;
    selectProvider(provider);
    edtDataSource->setText(take(pairs, kDataSourceKeys, &dataSourceKey_));
    edtPort->setText(take(pairs, kPortKeys, &portKey_));
    edtDatabase->setText(take(pairs, kDatabaseKeys, &databaseKey_));
    edtUser->setText(take(pairs, kUserKeys, &userKey_));
    edtPassword->setText(take(pairs, kPasswordKeys, &passwordKey_));
    ConnectionPairs rest;
    for (const ConnectionPair& p : pairs) {
        if (isKeyOf(p.key, kProviderKeys) || isKeyOf(p.key, kDataSourceKeys) || isKeyOf(p.key, kPortKeys) ||
            isKeyOf(p.key, kDatabaseKeys) || isKeyOf(p.key, kUserKeys) || isKeyOf(p.key, kPasswordKeys))
            continue;
        rest.append(p);
    }
    edtOptions->setText(connectionstring::write(rest));
}

QString TfrmConnectionString::connectionString() const
{
    ConnectionPairs pairs;
    auto put = [&pairs](const QString& key, const QString& value) {
        if (value.trimmed().isEmpty()) return;
        ConnectionPair p;
        p.key = key;
        p.value = value.trimmed();
        pairs.append(p);
    };
    // SQLite is what a string without a provider means; such a string stays without one.
    if (namedProvider_ || cmbProvider->currentIndex() != 0) put(providerKey_, cmbProvider->currentText());
    put(dataSourceKey_, edtDataSource->text());
    put(portKey_, edtPort->text());
    put(databaseKey_, edtDatabase->text());
    put(userKey_, edtUser->text());
    put(passwordKey_, edtPassword->text());
    ConnectionPairs options;
    connectionstring::parse(edtOptions->text(), &options);  // checkInput has refused what does not parse
    pairs.append(options);
    return connectionstring::write(pairs);
}

bool TfrmConnectionString::checkInput()
{
    const QString port = edtPort->text().trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        const int n = port.toInt(&ok);
        if (!ok || n < 1 || n > 65535) {
            refuse(say("The port must be a number from 1 to 65535", "端口必须是 1 到 65535 之间的数字"), lblPort,
                   edtPort);
            return false;
        }
    }
    ConnectionPairs options;
    QString why;
    if (!connectionstring::parse(edtOptions->text(), &options, &why)) {
        refuse(say("The options must be key=value pairs separated by \";\": ", "选项必须是以“;”分隔的 键=值 对：") + why,
               lblOptions, edtOptions);
        return false;
    }
    for (const ConnectionPair& p : options)
        if (sameKey(p.key, u"File Name") || isKeyOf(p.key, kProviderKeys) || isKeyOf(p.key, kDataSourceKeys) ||
            isKeyOf(p.key, kPortKeys) || isKeyOf(p.key, kDatabaseKeys) || isKeyOf(p.key, kUserKeys) ||
            isKeyOf(p.key, kPasswordKeys)) {
            refuse(say("This key has a field of its own: ", "此键有自己的字段：") + p.key, lblOptions, edtOptions);
            return false;
        }
    return true;
}

bool TfrmConnectionString::Execute(QString& text)
{
    setConnectionString(text);
    prepare(nullptr, windowTitle());
    if (showModal() != QDialog::Accepted) return false;
    text = connectionString();
    return true;
}

// ---- TfrmDataBaseDefine ----

TfrmDataBaseDefine::TfrmDataBaseDefine(QWidget* parent) : TStatementDlg(parent)
{
    edtName = new QLineEdit(this);
    lblName = addField(txt::Name, edtName).label;
    edtConnectionString = new QLineEdit(this);
    edtConnectionString->setMinimumWidth(320);
    lblConnectionString = addField(txt::ConnectionString, edtConnectionString).label;

    auto* buttons = new QWidget(this);
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch();
    btnConnectionString = new QPushButton(txt::DataBaseString, buttons);
    btnConnectionString->setAutoDefault(false);
    btnLinkFile = new QPushButton(txt::DataBaseFile, buttons);
    btnLinkFile->setAutoDefault(false);
    row->addWidget(btnConnectionString);
    row->addWidget(btnLinkFile);
    addRow(buttons, {btnConnectionString, btnLinkFile});

    cmbCommandType = new QComboBox(this);
    cmbCommandType->addItems(txt::CommandTypeNames);
    lblCommandType = addField(txt::CommandType, cmbCommandType).label;
    edtCommandText = new QLineEdit(this);
    lblCommandText = addField(txt::CommandText, edtCommandText).label;
    addNoteField(txt::Note);
    finishLayout();
    setHelpTopic(DataDefine, QStringLiteral("IVRDataBase.htm"));

    connect(btnConnectionString, &QPushButton::clicked, this, &TfrmDataBaseDefine::btnConnectionStringClick);
    connect(btnLinkFile, &QPushButton::clicked, this, &TfrmDataBaseDefine::btnLinkFileClick);
}

bool TfrmDataBaseDefine::Edit(IVRDataBase& statement)
{
    statement_ = &statement;
    edtName->setText(statement.Name);
    edtConnectionString->setText(statement.ConnectionString);
    cmbCommandType->setCurrentIndex(statement.CommandType);
    edtCommandText->setText(statement.CommandText);
    const bool ok = execute(statement);
    statement_ = nullptr;
    if (!ok) return false;
    statement.Name = edtName->text();
    statement.ConnectionString = edtConnectionString->text();
    if (cmbCommandType->currentIndex() >= 0) statement.CommandType = cmbCommandType->currentIndex();
    statement.CommandText = edtCommandText->text();
    return true;
}

bool TfrmDataBaseDefine::checkInput()
{
    const QString name = edtName->text();
    if (name.isEmpty()) {
        refuse(txt::NameEmpty, lblName, edtName);
        return false;
    }
    const TIVRFlow* flow = statement_ ? statement_->flow() : nullptr;
    if (flow && flow->NameExists(name, 1, statement_)) {
        refuse(txt::DataBaseNameUsed, lblName, edtName);
        return false;
    }
    return true;
}

void TfrmDataBaseDefine::btnConnectionStringClick()
{
    if (!frmConnectionString) return;
    QString text = edtConnectionString->text();
    if (frmConnectionString->Execute(text)) edtConnectionString->setText(text);
    edtConnectionString->setFocus(Qt::OtherFocusReason);
}

void TfrmDataBaseDefine::btnLinkFileClick()
{
    // The data-link file the string names, whatever the letter case of its key, as the run
    // time finds it.
    QString initial;
    ConnectionPairs pairs;
    if (connectionstring::parse(edtConnectionString->text(), &pairs))
        initial = connectionstring::value(pairs, u"File Name");
    const QString file = Prompt::instance().openFileName(
        this, say("Data Link File", "数据链接文件"), initial,
        say("Data Link Files (*.udl);;All Files (*)", "数据链接文件 (*.udl);;所有文件 (*)"));
    if (file.isEmpty()) return;
    // Quoted where the path would otherwise end the pair (a ';', blanks at an end).
    edtConnectionString->setText(kFileNamePrefix + connectionstring::quoteValue(file));
}

// ---- installation ----

void installDataBaseDialogs()
{
    frmDataBaseDefine = new TfrmDataBaseDefine(EditRegistry::owner());
    EditRegistry::adopt(frmDataBaseDefine);
    // Opened from the definition dialog, over it.
    frmConnectionString = new TfrmConnectionString(frmDataBaseDefine);
    EditRegistry::adopt(frmConnectionString);
    EditRegistry::registerEditOf<IVRDataBase>(
        [](IVRDataBase& s) { return frmDataBaseDefine && frmDataBaseDefine->Edit(s); });
}

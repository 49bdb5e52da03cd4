#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class RegistryStore;

// The console's configuration: applications (a name and a flow file each), device groups (a name
// and at most one application each) and the device addresses the telephony device reported at
// start, each bound to one application, to one group or to nothing. The window shows this model;
// it holds no widgets.
//
// Stored in the registry store:
//   Software\Sorvix\Application  value per application: name -> flow file
//   Software\Sorvix\Group        value per group: name -> application name ("" none)
//   Software\Sorvix\Address      value per bound address: address name -> "APPLICATION " + name
//                                or "GROUP " + name; no value when unbound
//
// Every command writes the store in one transaction first and changes the model only when that
// transaction committed, so a failed write leaves the model (and the window) as it was. Rows are
// addressed by their position; deleting an application or a group moves the rows behind it up.
// The signals tell the views what changed, after the model has changed.
class ConsoleConfig : public QObject {
    Q_OBJECT
public:
    enum class Binding { None, Application, Group };
    // The two lists that commands add rows to and delete rows from.
    enum class Table { Applications, Groups };

    struct Application {
        QString name;
        QString flowFile;
    };
    struct Group {
        QString name;
        int application = -1;  // row in applications(), -1 none
    };
    struct Address {
        QString name;
        Binding binding = Binding::None;
        int target = -1;  // row in applications() or groups() by binding, -1 when unbound
    };

    static const QString ProductKey;      // "Software\Sorvix"
    static const QString ApplicationKey;  // "Software\Sorvix\Application"
    static const QString GroupKey;        // "Software\Sorvix\Group"
    static const QString AddressKey;      // "Software\Sorvix\Address"
    static const QString ApplicationPrefix;  // "APPLICATION "
    static const QString GroupPrefix;        // "GROUP "

    explicit ConsoleConfig(RegistryStore* store, QObject* parent = nullptr);

    RegistryStore* store() const { return store_; }
    // The reason of the last failed load or command.
    QString errorString() const { return error_; }

    // Reads applications, groups and the bindings of the given addresses (in device order).
    // Nothing is written: a missing key reads as empty. Values of the wrong type read as empty; values
    // naming no application or group, and values of addresses not given, stay in the store
    // untouched. False (with errorString) when the store could not be read; what was read stays.
    bool load(const QStringList& addressNames);
    // No applications and no groups, the given addresses unbound; the store is not touched.
    // Neither load nor clear signals: a view fills itself from the model after them.
    void clear(const QStringList& addressNames);

    const std::vector<Application>& applications() const { return applications_; }
    const std::vector<Group>& groups() const { return groups_; }
    const std::vector<Address>& addresses() const { return addresses_; }
    // The names of the applications, the groups and the addresses, by row.
    QStringList applicationNames() const;
    QStringList groupNames() const;
    QStringList addressNames() const;

    // Row of the application or group of that name; -1 when none.
    int findApplication(const QString& name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    int findGroup(const QString& name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;

    // The columns the lists show.
    QString addressApplicationText(int address) const;
    QString addressGroupText(int address) const;
    QString groupApplicationText(int group) const;

    // Addresses bound to the application or group, groups of an application, in row order.
    std::vector<int> addressesOf(Binding kind, int target) const;
    std::vector<int> groupsOf(int application) const;
    // The flow file an address reaches: its application's, or its group's application's; empty
    // when it reaches none.
    QString addressFlowFile(int address) const;

    // Commands. Rows are taken in the order given; each returns false, with errorString and
    // nothing changed, when the store refused the change.
    bool newApplication(const QString& name, const QString& flowFile);
    // A new name (case included) also rewrites the stored bindings that name the old one: the
    // groups and addresses bound to it, and the values of addresses the device did not report.
    bool editApplication(int row, const QString& name, const QString& flowFile);
    // Unbinds the addresses bound to them (their values deleted) and their groups (values "").
    bool deleteApplications(const std::vector<int>& rows);
    bool newGroup(const QString& name, int application);
    // As editApplication for the group's addresses.
    bool editGroup(int row, const QString& name, int application);
    // Unbinds the addresses bound to them (their values deleted).
    bool deleteGroups(const std::vector<int>& rows);
    // Binds the addresses to the application or group, leaving whatever they were bound to.
    bool bindAddresses(const std::vector<int>& addresses, Binding kind, int target);
    bool unbindAddresses(const std::vector<int>& addresses);
    // Deletes the whole Address key, values of unreported addresses included.
    bool unbindAllAddresses();
    bool addGroupsToApplication(const std::vector<int>& groups, int application);
    // The groups lose their application (values ""); their addresses keep the group.
    bool removeGroupsFromApplication(const std::vector<int>& groups);

    // The channel rows: "Channel 1" to "Channel N", N from the integer "ChannelCount" under the
    // product key when it holds 1 to MaxChannels, else the number of device addresses.
    static QStringList channelNames(RegistryStore* store, int addressCount);
    static constexpr int MaxChannels = 1024;

signals:
    // A row was appended to a table (a new application or group).
    void rowAppended(ConsoleConfig::Table table, int row);
    // Rows of a table were deleted; rows are ascending and numbered as they were before.
    void rowsRemoved(ConsoleConfig::Table table, const std::vector<int>& rows);
    // Once after every command that changed the model, after rowAppended and rowsRemoved: names,
    // flow files or bindings may have changed.
    void changed();

private:
    bool write(const std::function<bool()>& work);
    bool checkRows(const std::vector<int>& rows, size_t count);
    // Rewrites the stored values of addresses the device did not report that bind prefix + from.
    bool rewriteUnreported(const QString& prefix, const QString& from, const QString& to);
    QString storedBinding(const Address& address) const;

    RegistryStore* store_;
    std::vector<Application> applications_;
    std::vector<Group> groups_;
    std::vector<Address> addresses_;
    QString error_;
};

#include "channels/configmodel.h"

#include <QSet>

#include <algorithm>

#include "platform/registry.h"

const QString ConsoleConfig::ProductKey = QStringLiteral("Software\\Sorvix");
const QString ConsoleConfig::ApplicationKey = QStringLiteral("Software\\Sorvix\\Application");
const QString ConsoleConfig::GroupKey = QStringLiteral("Software\\Sorvix\\Group");
const QString ConsoleConfig::AddressKey = QStringLiteral("Software\\Sorvix\\Address");
const QString ConsoleConfig::ApplicationPrefix = QStringLiteral("APPLICATION ");
const QString ConsoleConfig::GroupPrefix = QStringLiteral("GROUP ");

namespace {

// The string data of a value; a missing value, or one of the wrong type, reads as empty.
QString readText(RegistryStore* store, const QString& key, const QString& name)
{
    QString text;
    if (store->readString(key, name, &text) != RegistryStore::Status::Ok) return {};
    return text;
}

template <class Row>
QStringList namesOf(const std::vector<Row>& rows)
{
    QStringList names;
    for (const Row& row : rows) names << row.name;
    return names;
}

bool hasPrefix(const QString& data, const QString& prefix)
{
    return data.left(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

// Removes a value that may be missing: a refusal is no failure here, a database error still
// fails the surrounding transaction.
void removeValue(RegistryStore* store, const QString& key, const QString& name)
{
    store->deleteValue(key, name);
}

std::vector<int> sortedUnique(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

}  // namespace

ConsoleConfig::ConsoleConfig(RegistryStore* store, QObject* parent) : QObject(parent), store_(store) {}

bool ConsoleConfig::load(const QStringList& addressNames)
{
    applications_.clear();
    groups_.clear();
    addresses_.clear();
    error_.clear();
    bool ok = true;
    auto fail = [&] {
        if (ok) error_ = store_->errorString();
        ok = false;
    };
    // Loading only reads: a missing key is an empty list (the commands create the keys they
    // write), and a lookup that fails is a failure of the store, never a reason to write.
    auto valueNames = [&](const QString& key) {
        QStringList names;
        const RegistryStore::Status state = store_->keyState(key);
        if (state == RegistryStore::Status::Failed || (state == RegistryStore::Status::Ok && !store_->valueNames(key, &names)))
            fail();
        return names;
    };
    // A value that cannot be read is a failure of the store, not an empty value.
    auto text = [&](const QString& key, const QString& name) {
        QString data;
        const RegistryStore::Status status = store_->readString(key, name, &data);
        if (status == RegistryStore::Status::Failed) fail();
        return status == RegistryStore::Status::Ok ? data : QString();
    };

    for (const QString& name : valueNames(ApplicationKey)) applications_.push_back({name, text(ApplicationKey, name)});
    for (const QString& name : valueNames(GroupKey)) groups_.push_back({name, findApplication(text(GroupKey, name))});

    for (const QString& name : addressNames) {
        Address address{name};
        const QString data = text(AddressKey, name);
        if (hasPrefix(data, ApplicationPrefix)) {
            const int row = findApplication(data.mid(ApplicationPrefix.size()));
            if (row >= 0) address = {name, Binding::Application, row};
        } else if (hasPrefix(data, GroupPrefix)) {
            const int row = findGroup(data.mid(GroupPrefix.size()));
            if (row >= 0) address = {name, Binding::Group, row};
        }
        addresses_.push_back(address);
    }
    return ok;
}

void ConsoleConfig::clear(const QStringList& addressNames)
{
    applications_.clear();
    groups_.clear();
    addresses_.clear();
    for (const QString& name : addressNames) addresses_.push_back(Address{name});
}

int ConsoleConfig::findApplication(const QString& name, Qt::CaseSensitivity cs) const
{
    for (size_t i = 0; i < applications_.size(); ++i)
        if (applications_[i].name.compare(name, cs) == 0) return int(i);
    return -1;
}

int ConsoleConfig::findGroup(const QString& name, Qt::CaseSensitivity cs) const
{
    for (size_t i = 0; i < groups_.size(); ++i)
        if (groups_[i].name.compare(name, cs) == 0) return int(i);
    return -1;
}

QStringList ConsoleConfig::applicationNames() const { return namesOf(applications_); }

QStringList ConsoleConfig::groupNames() const { return namesOf(groups_); }

QStringList ConsoleConfig::addressNames() const { return namesOf(addresses_); }

QString ConsoleConfig::addressApplicationText(int address) const
{
    const Address& a = addresses_.at(size_t(address));
    return a.binding == Binding::Application ? applications_.at(size_t(a.target)).name : QString();
}

QString ConsoleConfig::addressGroupText(int address) const
{
    const Address& a = addresses_.at(size_t(address));
    return a.binding == Binding::Group ? groups_.at(size_t(a.target)).name : QString();
}

QString ConsoleConfig::groupApplicationText(int group) const
{
    const int app = groups_.at(size_t(group)).application;
    return app >= 0 ? applications_.at(size_t(app)).name : QString();
}

std::vector<int> ConsoleConfig::addressesOf(Binding kind, int target) const
{
    std::vector<int> rows;
    for (size_t i = 0; i < addresses_.size(); ++i)
        if (addresses_[i].binding == kind && addresses_[i].target == target) rows.push_back(int(i));
    return rows;
}

std::vector<int> ConsoleConfig::groupsOf(int application) const
{
    std::vector<int> rows;
    for (size_t i = 0; i < groups_.size(); ++i)
        if (groups_[i].application == application) rows.push_back(int(i));
    return rows;
}

QString ConsoleConfig::addressFlowFile(int address) const
{
    if (address < 0 || size_t(address) >= addresses_.size()) return {};
    const Address& a = addresses_[size_t(address)];
    switch (a.binding) {
    case Binding::None: return {};
    case Binding::Application: return applications_[size_t(a.target)].flowFile;
    case Binding::Group: {
        const int app = groups_[size_t(a.target)].application;
        return app >= 0 ? applications_[size_t(app)].flowFile : QString();
    }
    }
    return {};
}

QString ConsoleConfig::storedBinding(const Address& address) const
{
    switch (address.binding) {
    case Binding::Application: return ApplicationPrefix + applications_[size_t(address.target)].name;
    case Binding::Group: return GroupPrefix + groups_[size_t(address.target)].name;
    case Binding::None: break;
    }
    return {};
}

bool ConsoleConfig::write(const std::function<bool()>& work)
{
    error_.clear();
    if (store_->transaction(work)) return true;
    error_ = store_->errorString();
    if (error_.isEmpty()) error_ = QStringLiteral("The registry could not be written.");
    return false;
}

bool ConsoleConfig::checkRows(const std::vector<int>& rows, size_t count)
{
    for (int r : rows)
        if (r < 0 || size_t(r) >= count) {
            error_ = QStringLiteral("Row %1 does not exist.").arg(r);
            return false;
        }
    return true;
}

bool ConsoleConfig::rewriteUnreported(const QString& prefix, const QString& from, const QString& to)
{
    QSet<QString> reported;
    for (const Address& a : addresses_) reported.insert(a.name.toCaseFolded());
    QStringList names;
    if (!store_->valueNames(AddressKey, &names)) return true;  // no Address key: nothing stored
    for (const QString& name : names) {
        if (reported.contains(name.toCaseFolded())) continue;
        const QString data = readText(store_, AddressKey, name);
        if (hasPrefix(data, prefix) && data.mid(prefix.size()) == from)
            if (!store_->writeString(AddressKey, name, prefix + to)) return false;
    }
    return true;
}

// ---- applications ----

bool ConsoleConfig::newApplication(const QString& name, const QString& flowFile)
{
    if (findApplication(name, Qt::CaseInsensitive) >= 0) {
        error_ = QStringLiteral("The application \"%1\" exists already.").arg(name);
        return false;
    }
    if (!write([&] {
            return store_->createKey(ApplicationKey) && store_->writeString(ApplicationKey, name, flowFile);
        }))
        return false;
    applications_.push_back({name, flowFile});
    emit rowAppended(Table::Applications, int(applications_.size()) - 1);
    emit changed();
    return true;
}

bool ConsoleConfig::editApplication(int row, const QString& name, const QString& flowFile)
{
    if (!checkRows({row}, applications_.size())) return false;
    const int other = findApplication(name, Qt::CaseInsensitive);
    if (other >= 0 && other != row) {
        error_ = QStringLiteral("The application \"%1\" exists already.").arg(name);
        return false;
    }
    const QString old = applications_[size_t(row)].name;
    const bool renamed = old != name;
    if (!write([&] {
            if (!store_->createKey(ApplicationKey)) return false;
            // Only a new name moves the value; the same name keeps its place in the key.
            if (renamed) removeValue(store_, ApplicationKey, old);
            if (!store_->writeString(ApplicationKey, name, flowFile)) return false;
            if (!renamed) return true;
            if (!store_->createKey(GroupKey) || !store_->createKey(AddressKey)) return false;
            for (int g : groupsOf(row))
                if (!store_->writeString(GroupKey, groups_[size_t(g)].name, name)) return false;
            for (int a : addressesOf(Binding::Application, row))
                if (!store_->writeString(AddressKey, addresses_[size_t(a)].name, ApplicationPrefix + name))
                    return false;
            return rewriteUnreported(ApplicationPrefix, old, name);
        }))
        return false;
    applications_[size_t(row)] = {name, flowFile};
    emit changed();
    return true;
}

bool ConsoleConfig::deleteApplications(const std::vector<int>& rows)
{
    if (!checkRows(rows, applications_.size())) return false;
    const std::vector<int> doomed = sortedUnique(rows);
    if (!write([&] {
            if (!store_->createKey(GroupKey)) return false;
            for (int r : doomed) {
                removeValue(store_, ApplicationKey, applications_[size_t(r)].name);
                for (int a : addressesOf(Binding::Application, r)) removeValue(store_, AddressKey, addresses_[size_t(a)].name);
                for (int g : groupsOf(r))
                    if (!store_->writeString(GroupKey, groups_[size_t(g)].name, QString())) return false;
            }
            return true;
        }))
        return false;

    // New position of every application row; -1 for the deleted ones.
    std::vector<int> moved(applications_.size());
    int next = 0;
    for (size_t i = 0; i < applications_.size(); ++i)
        moved[i] = std::binary_search(doomed.begin(), doomed.end(), int(i)) ? -1 : next++;
    for (Group& g : groups_)
        if (g.application >= 0) g.application = moved[size_t(g.application)];
    for (Address& a : addresses_)
        if (a.binding == Binding::Application) {
            a.target = moved[size_t(a.target)];
            if (a.target < 0) a.binding = Binding::None;
        }
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) applications_.erase(applications_.begin() + *it);
    if (!doomed.empty()) emit rowsRemoved(Table::Applications, doomed);
    emit changed();
    return true;
}

// ---- groups ----

bool ConsoleConfig::newGroup(const QString& name, int application)
{
    if (application >= 0 && !checkRows({application}, applications_.size())) return false;
    if (findGroup(name, Qt::CaseInsensitive) >= 0) {
        error_ = QStringLiteral("The group \"%1\" exists already.").arg(name);
        return false;
    }
    const QString appName = application >= 0 ? applications_[size_t(application)].name : QString();
    if (!write([&] { return store_->createKey(GroupKey) && store_->writeString(GroupKey, name, appName); }))
        return false;
    groups_.push_back({name, application});
    emit rowAppended(Table::Groups, int(groups_.size()) - 1);
    emit changed();
    return true;
}

bool ConsoleConfig::editGroup(int row, const QString& name, int application)
{
    if (!checkRows({row}, groups_.size())) return false;
    if (application >= 0 && !checkRows({application}, applications_.size())) return false;
    const int other = findGroup(name, Qt::CaseInsensitive);
    if (other >= 0 && other != row) {
        error_ = QStringLiteral("The group \"%1\" exists already.").arg(name);
        return false;
    }
    const QString old = groups_[size_t(row)].name;
    const bool renamed = old != name;
    const QString appName = application >= 0 ? applications_[size_t(application)].name : QString();
    if (!write([&] {
            if (!store_->createKey(GroupKey)) return false;
            if (renamed) removeValue(store_, GroupKey, old);
            if (!store_->writeString(GroupKey, name, appName)) return false;
            if (!renamed) return true;
            if (!store_->createKey(AddressKey)) return false;
            for (int a : addressesOf(Binding::Group, row))
                if (!store_->writeString(AddressKey, addresses_[size_t(a)].name, GroupPrefix + name)) return false;
            return rewriteUnreported(GroupPrefix, old, name);
        }))
        return false;
    groups_[size_t(row)] = {name, application};
    emit changed();
    return true;
}

bool ConsoleConfig::deleteGroups(const std::vector<int>& rows)
{
    if (!checkRows(rows, groups_.size())) return false;
    const std::vector<int> doomed = sortedUnique(rows);
    if (!write([&] {
            for (int r : doomed) {
                removeValue(store_, GroupKey, groups_[size_t(r)].name);
                for (int a : addressesOf(Binding::Group, r)) removeValue(store_, AddressKey, addresses_[size_t(a)].name);
            }
            return true;
        }))
        return false;
    std::vector<int> moved(groups_.size());
    int next = 0;
    for (size_t i = 0; i < groups_.size(); ++i)
        moved[i] = std::binary_search(doomed.begin(), doomed.end(), int(i)) ? -1 : next++;
    for (Address& a : addresses_)
        if (a.binding == Binding::Group) {
            a.target = moved[size_t(a.target)];
            if (a.target < 0) a.binding = Binding::None;
        }
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) groups_.erase(groups_.begin() + *it);
    if (!doomed.empty()) emit rowsRemoved(Table::Groups, doomed);
    emit changed();
    return true;
}

bool ConsoleConfig::addGroupsToApplication(const std::vector<int>& groups, int application)
{
    if (!checkRows(groups, groups_.size()) || !checkRows({application}, applications_.size())) return false;
    const QString appName = applications_[size_t(application)].name;
    if (!write([&] {
            if (!store_->createKey(GroupKey)) return false;
            for (int g : groups)
                if (!store_->writeString(GroupKey, groups_[size_t(g)].name, appName)) return false;
            return true;
        }))
        return false;
    for (int g : groups) groups_[size_t(g)].application = application;
    emit changed();
    return true;
}

bool ConsoleConfig::removeGroupsFromApplication(const std::vector<int>& groups)
{
    if (!checkRows(groups, groups_.size())) return false;
    if (!write([&] {
            if (!store_->createKey(GroupKey)) return false;
            for (int g : groups)
                if (!store_->writeString(GroupKey, groups_[size_t(g)].name, QString())) return false;
            return true;
        }))
        return false;
    for (int g : groups) groups_[size_t(g)].application = -1;
    emit changed();
    return true;
}

// ---- addresses ----

bool ConsoleConfig::bindAddresses(const std::vector<int>& addresses, Binding kind, int target)
{
    if (!checkRows(addresses, addresses_.size())) return false;
    if (kind == Binding::None) return unbindAddresses(addresses);
    if (!checkRows({target}, kind == Binding::Application ? applications_.size() : groups_.size())) return false;
    const QString data = storedBinding(Address{QString(), kind, target});
    if (!write([&] {
            if (!store_->createKey(AddressKey)) return false;
            for (int a : addresses)
                if (!store_->writeString(AddressKey, addresses_[size_t(a)].name, data)) return false;
            return true;
        }))
        return false;
    for (int a : addresses) {
        addresses_[size_t(a)].binding = kind;
        addresses_[size_t(a)].target = target;
    }
    emit changed();
    return true;
}

bool ConsoleConfig::unbindAddresses(const std::vector<int>& addresses)
{
    if (!checkRows(addresses, addresses_.size())) return false;
    if (!write([&] {
            for (int a : addresses) removeValue(store_, AddressKey, addresses_[size_t(a)].name);
            return true;
        }))
        return false;
    for (int a : addresses) {
        addresses_[size_t(a)].binding = Binding::None;
        addresses_[size_t(a)].target = -1;
    }
    emit changed();
    return true;
}

bool ConsoleConfig::unbindAllAddresses()
{
    if (!write([&] {
            if (store_->keyExists(AddressKey)) return store_->deleteKey(AddressKey);
            return true;
        }))
        return false;
    for (Address& a : addresses_) {
        a.binding = Binding::None;
        a.target = -1;
    }
    emit changed();
    return true;
}

// ---- channels ----

QStringList ConsoleConfig::channelNames(RegistryStore* store, int addressCount)
{
    int count = std::max(addressCount, 0);
    int32_t stored = 0;
    if (store && store->readInteger(ProductKey, QStringLiteral("ChannelCount"), &stored) == RegistryStore::Status::Ok &&
        stored >= 1 && stored <= MaxChannels)
        count = stored;
    QStringList names;
    for (int i = 1; i <= count; ++i) names << QStringLiteral("Channel %1").arg(i);
    return names;
}

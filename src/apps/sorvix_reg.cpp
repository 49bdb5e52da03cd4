// sorvix-reg: writes values into the configuration store that both programs read (the file that
// SORVIX_REGISTRY names, else the user's own), so that a configuration can be set up by a script.
//   sorvix-reg set KEY NAME TEXT        a text value (the key is created when missing)
//   sorvix-reg set-int KEY NAME NUMBER  an integer value
// KEY is a backslash-separated path such as "Software\Sorvix\Application".
#include <QCoreApplication>

#include <cstdio>

#include "platform/registry.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: sorvix-reg set KEY NAME TEXT\n"
                         "       sorvix-reg set-int KEY NAME NUMBER\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 4) return usage();
    const QString& command = args[0];
    const QString& key = args[1];
    const QString& name = args[2];
    const QString& data = args[3];

    RegistryStore store;
    bool ok = false;
    if (command == QLatin1String("set")) {
        ok = store.createKey(key) && store.writeString(key, name, data);
    } else if (command == QLatin1String("set-int")) {
        bool number = false;
        const int value = data.toInt(&number);
        if (!number) return usage();
        ok = store.createKey(key) && store.writeInteger(key, name, value);
    } else {
        return usage();
    }
    if (!ok) {
        std::fprintf(stderr, "sorvix-reg: %s: %s\n", qPrintable(store.filePath()), qPrintable(store.errorString()));
        return 1;
    }
    return 0;
}

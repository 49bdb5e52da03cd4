#include <QCoreApplication>
#include <QTextStream>

#include "engine/texts.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    initTexts();
    QTextStream out(stdout);
    out << "Sorvix flow runner\n";
    return 0;
}

#include <QCoreApplication>
#ifdef SORVIX_GUI_TESTS
#include <QApplication>
#endif
#include <gtest/gtest.h>

#include "engine/datetime.h"
#include "engine/texts.h"

// Tests run in English unless a test switches the language itself.
int main(int argc, char** argv)
{
    qputenv("SORVIX_LANGUAGE", qgetenv("SORVIX_LANGUAGE").isEmpty() ? "en" : qgetenv("SORVIX_LANGUAGE"));
#ifdef SORVIX_GUI_TESTS
    // Window tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    initTexts();
    // Dates follow the United States conventions whatever the machine's locale.
    datetime::setCurrentLocale(datetime::DateLocale::english());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

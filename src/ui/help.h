#pragma once

#include <QString>

class QTextBrowser;
class QWidget;

// Shows a help topic. A path is HelpRoot ("<program folder>/Sorvix.chm::/") + the topic inside the
// help; topics are HTML pages in the help folder next to the programs (SORVIX_HELP_DIR overrides).
// Returns 0 when the topic was shown: in the browser, or, when no browser can be started, in the
// program's own help viewer; -1 when the help is not installed, after a beep and, until the user
// has once accepted it in this run, an offer to open the help's web page.
int ShowHtmlHelp(QWidget* window, const QString& path, int command = 0, int data = 0);

// The help folder and the page a help path maps to (empty when the path is not a help path).
QString helpFolder();
QString helpPageFor(const QString& path);
// The program's own help viewer: shows the page, made at first use. It belongs to the modal
// dialog that runs (so it can be used while that dialog is open), else to the asker's window, and
// opens in the middle of the screen; its title names the page shown. helpViewer() is null until
// then (and after closeHelpViewer()).
QTextBrowser* showHelpInViewer(const QString& page, QWidget* asker = nullptr);
QTextBrowser* helpViewer();
void closeHelpViewer();
// Forgets the accepted offer (tests).
void resetHelpOffer();

#pragma once

#include <QString>

// System error texts in the two languages of the user interface, from a table of our own for the
// errors that file and process operations meet. The caller says which language it wants
// (the platform layers know nothing of the text tables).
//
// For an error outside the table, the English text is the C library's own; when there is none
// either, the text is empty and the caller supplies its own fallback.
QString systemErrorText(int errnoValue, bool chinese);

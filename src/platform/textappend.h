#pragma once

#include <QString>

// Appends text to a file: one open-or-create in append mode and one write of the text's bytes
// (followed by CR LF when lineEnd is set): UTF-8 or UTF-16 in a file that begins with that
// byte-order mark, else GBK, so that appenders in other threads or processes never
// truncate or overwrite each other's lines; every write lands at the end of the file as it is then.
// Empty text without a line end only creates the file when it is missing. A text that does not
// fit (a full disk) is taken back, so no cut line stays behind; appenders of this program take
// turns under a lock of the file for that. A byte that is no GBK character
// (CodePage::decodeKeepingBytes) is written as that byte. A pipe takes the text only while
// someone reads it: with no reader the append fails.
//
// Returns true on success. On failure *error (when given) receives the error text, naming the
// file and the system's reason, in the language asked for.
bool appendText(const QString& fileName, const QString& text, bool lineEnd, bool chinese,
                QString* error = nullptr);

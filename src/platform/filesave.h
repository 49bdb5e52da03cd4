#pragma once

#include <QByteArray>
#include <QString>

// Saving a whole file so that it survives any folder and any kind of target.
namespace FileSave {

// Makes the file hold exactly the bytes.
//
// Where the folder lets us create files, the bytes go to a temporary file beside the target that
// replaces it only once all of them are written: a failure leaves the old file untouched. A
// symbolic link is followed (the link stays and its target gets the bytes) and a file with more
// than one hard link is written in place, so every name keeps meaning the same file. Where the
// folder allows no new file but the file exists and may be written, it is written in place: every
// write is checked, the file is cut to the new length and flushed to the disk.
//
// A target that exists and is not a regular file (a device, a pipe, a folder) is refused and
// left alone. On failure *message names the file and says what failed, in Chinese when asked.
bool replaceContents(const QString& fileName, const QByteArray& bytes, QString* message, bool chinese = false);

// Writes all the bytes to the descriptor, going on after signals and short writes. False with
// errno set when a write fails (ENOSPC when the device takes no more).
bool writeAll(int fd, const QByteArray& bytes);

}  // namespace FileSave

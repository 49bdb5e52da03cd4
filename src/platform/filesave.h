#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

// Saving a whole file so that it survives any folder and any kind of target.
namespace FileSave {

// Makes the file hold exactly the bytes.
//
// Where the folder lets us create files, the bytes go to a temporary file beside the target that
// replaces it only once all of them are written: a failure leaves the old file untouched. A
// symbolic link is followed (the link stays and its target gets the bytes) and a file with more
// than one hard link is written in place, so every name keeps meaning the same file. Where the
// folder allows no new file but the file exists and may be written, it is written in place too.
// An in-place write is safe as well (overwriteInPlace): the old file comes back whole on failure.
//
// A target that exists and is not a regular file (a device, a pipe, a folder) is refused and
// left alone. On failure *error names the file and says what failed, in Chinese when asked.
bool replaceContents(const QString& fileName, const QByteArray& bytes, QString* error, bool chinese = false);

// False, with *error naming the file, when the file exists and is no regular file: what a
// save through a temporary file would replace rather than write into.
bool mayReplace(const QString& fileName, QString* error, bool chinese = false);

// Overwrites the open regular file fd (the caller holds an exclusive flock on it) with the bytes,
// so that it ends up holding either all of them or, on any failure, all of its old bytes: the
// final size is reserved first, and the old bytes are kept in a journal (".sorvix-journal-" and
// the file's device and inode, beside the file, or in a folder of this user where the file's
// folder takes no new file) until the new ones are all on the disk. A program that dies halfway
// leaves the journal; recover() of any name of the file in that folder puts the old bytes back.
// False with errno set on failure.
bool overwriteInPlace(int fd, const QString& fileName, const QByteArray& bytes);

// Mends a file whose in-place save was cut off (the program died): when a journal of such a save
// is there, the file gets back its old bytes (or keeps the new ones when they all arrived) and
// the journal goes. Cheap when there is none. Call before reading a file that is saved in place.
void recover(const QString& fileName);

// open() with O_CLOEXEC, again after signals.
int openFile(const char* path, int flags, mode_t mode = 0);
// The whole content of the open file, from its start, whatever its position.
bool readWhole(int fd, QByteArray* content);
// Writes all the bytes to the descriptor, going on after signals and short writes. False with
// errno set when a write fails (ENOSPC when the device takes no more).
bool writeAll(int fd, const QByteArray& bytes);

// For tests: the next in-place overwrite stops after that many bytes of the new content, as on a
// full disk (dies false: the old bytes are put back) or as if the program died there (dies true:
// the file stays cut and the journal stays, for recover()).
void injectInPlaceFault(qint64 afterBytes, bool dies);

}  // namespace FileSave

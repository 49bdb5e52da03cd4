#pragma once

#include <QByteArray>
#include <QString>

// Profile (INI) files with the classic rules:
//   - a section starts at a line "[name]"; a key line is "name=value"; a line whose first
//     non-blank character is ';' is a comment; other lines are kept but mean nothing;
//   - section and key names are compared without regard to case; blanks (spaces and tabs) around
//     names and values do not count; a value enclosed in matching single or double quotes is
//     read without them;
//   - the first of two equal sections, and in it the first of two equal keys, is the one read
//     and the one written;
//   - text is GBK, or UTF-8 or UTF-16 (either byte order) in a file that begins with that
//     byte-order mark; the mark belongs to no line and a write keeps it and the encoding;
//   - lines end with CR LF or LF alone; the lines a write adds end as the file's first line does
//     (CR LF in a new file).
//
// A write changes only the key's line (or adds one), keeping every other byte of the file.
// It replaces the file atomically, with the read-modify-write held under an exclusive lock of
// the file, so writers in other threads or processes never lose each other's changes. A file with
// a second (hard) name, and a file in a folder where no new file may be made, is written in place
// under the same lock (FileSave::overwriteInPlace: on any failure the old bytes come back);
// readers take a shared lock, so they always see a whole file. A byte that is no GBK character
// (CodePage::decodeKeepingBytes) is read and written as that byte.
namespace IniFile {

// The value of the key, or defaultValue without its trailing spaces when the file, the section or
// the key is missing.
// A key that is present with an empty value gives an empty text. Values have no length limit.
QString readString(const QString& fileName, const QString& section, const QString& key,
                   const QString& defaultValue);

// Writes the key into the section, creating the key, the section (at the end of the file) or
// the file as needed. An empty value leaves the key present with an empty value.
// Refused, with the file untouched: a section, key or value that holds a line break or a zero
// character (it would add lines of its own), an empty section or key name, a section name that
// holds ']', a key name that holds '=' or begins with '[' or ';'.
// Returns true on success. On failure *error (when given) receives the reason in the language
// asked for: our own text for a refused name or value, else the system's text for the error,
// which is empty when the system has none (the caller then supplies its general failure text).
bool writeString(const QString& fileName, const QString& section, const QString& key,
                 const QString& value, bool chinese, QString* error = nullptr);

// The rules above on the bytes of a file, without the file.
// The key's value in 'content'; *found tells whether the key is there.
QString valueIn(const QByteArray& content, const QString& section, const QString& key, bool* found = nullptr);
// 'content' with the key written; the names and the value must have passed the checks of
// writeString.
QByteArray withValue(const QByteArray& content, const QString& section, const QString& key,
                     const QString& value);

}  // namespace IniFile

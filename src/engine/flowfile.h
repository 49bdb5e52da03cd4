#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <map>
#include <memory>

class TIVRFlow;
class FlowNode;

// The flow file reader and writer, and the text printout, on bytes in memory. TIVRFlow's
// LoadFromFile, SaveToFile, SaveAs and SaveFlowText put files around them.
namespace flowfile {

// Objects nested deeper than this are refused by the reader.
inline constexpr int MaxNesting = 1000;

// The flow as its file holds it: the three roots' objects, CR LF line ends, GBK text.
QByteArray write(const TIVRFlow& flow);

// A flow file's text taken apart, ready to be made into flows (any number, on one thread at a time).
struct ParsedFlow;

// Takes a flow file's text apart and checks its syntax and roots; nullptr and *error (as read's)
// on failure.
std::shared_ptr<const ParsedFlow> parse(QByteArray text, QString* error);

// Makes a parsed file's statements into a flow whose tree is empty; failures as read's.
bool build(TIVRFlow& flow, const ParsedFlow& parsed, QString* error);

// Reads a flow file's text into a flow whose tree is empty. On failure *error holds the
// message that follows the "Read file error: " prefix (without the prefix) and false is
// returned; a syntax error leaves the tree empty, a later error the part read so far.
bool read(TIVRFlow& flow, QByteArrayView text, QString* error);

// Frees every statement and forgets the roots and the declaration lists.
void clear(TIVRFlow& flow);

// Makes the file hold the bytes (FileSave::replaceContents): through a temporary file where the
// folder allows it, else in place; never over a device or a pipe. On failure *error names the
// file and the reason.
bool saveBytes(const QString& fileName, const QByteArray& bytes, QString* error);

// The printout of the whole tree (every top-level node in order).
QString flowText(const TIVRFlow& flow);
// Appends the printout lines of one node and its subtree, each line starting with prefix.
void WriteFlowText(const FlowNode* node, const QString& prefix, QString& out);

}  // namespace flowfile

struct stat;

// Flow files read and taken apart once, for a program that makes many flows of each (the console
// starts one a channel). A file that changed since (its size, times or inode) is read again, and
// so is one changed in the last second. On one thread.
class FlowFileCache {
public:
    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        bool operator==(const Identity&) const = default;
    };

    // The file taken apart, when it is as it was when read; else nullptr.
    std::shared_ptr<const flowfile::ParsedFlow> find(const QString& fileName);
    // Keeps what was read of the file in the state `st` describes.
    void keep(const QString& fileName, const struct stat& st, std::shared_ptr<const flowfile::ParsedFlow> parsed);
    // Whether the file's parts are kept.
    bool holds(const QString& fileName) const;

private:
    struct Entry {
        Identity identity;
        std::shared_ptr<const flowfile::ParsedFlow> parsed;
    };
    std::map<QString, Entry> entries_;
};

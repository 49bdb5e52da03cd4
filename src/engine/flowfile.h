#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class TIVRFlow;
class FlowNode;

// The flow file reader and writer, and the text printout, on bytes in memory. TIVRFlow's
// LoadFromFile, SaveToFile, SaveAs and SaveFlowText put files around them.
namespace flowfile {

// Objects nested deeper than this are refused by the reader.
inline constexpr int MaxNesting = 1000;

// The flow as its file holds it: the three roots' objects, CR LF line ends, GBK text.
QByteArray write(const TIVRFlow& flow);

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

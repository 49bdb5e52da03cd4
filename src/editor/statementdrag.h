#pragma once

#include <QString>
#include <functional>

#include "engine/flow.h"

class QMimeData;
class QPixmap;
class QWidget;
struct ClassInfo;

// What the editor drags: a statement class from the palette, or the selected node of a flow's
// tree. The data names its origin, so a drop can be judged from the data alone.
namespace StatementDrag {

inline constexpr const char* mimeType = "application/x-sorvix-statement";

// Data for a palette button's class, and for the selected node of the flow's tree.
QMimeData* paletteData(const ClassInfo* statementClass);
QMimeData* treeData(const TIVRFlow* flow);
// True when the data is one of ours.
bool isStatementData(const QMimeData* data);
// How a drop of the data on the tree of `target` sees its source: the flow's own tree, a
// palette class, or anything else (another flow's tree, foreign data).
DragSource sourceOf(const QMimeData* data, const TIVRFlow* target);

// Runs a drag of the data (owned from here on) from the source widget and returns when it ended.
// Tests replace the runner, since QDrag::exec runs a loop of its own.
using Runner = std::function<void(QWidget* source, QMimeData* data)>;
void setRunner(Runner runner);  // empty: QDrag
void run(QWidget* source, QMimeData* data, const QPixmap& pixmap);

}  // namespace StatementDrag

#include "editor/statementdrag.h"

#include <QCoreApplication>
#include <QDrag>
#include <QMimeData>
#include <QPixmap>
#include <QWidget>

#include "engine/statement.h"

namespace {
StatementDrag::Runner g_runner;

const QString palettePrefix = QStringLiteral("class:");
const QString treePrefix = QStringLiteral("node:");

// A flow is named by this process and its address: the address is only compared, never used.
QString flowId(const TIVRFlow* flow)
{
    return QString::number(QCoreApplication::applicationPid()) + QLatin1Char(':') +
           QString::number(quintptr(flow), 16);
}

QString payload(const QMimeData* data)
{
    return data ? QString::fromUtf8(data->data(QLatin1String(StatementDrag::mimeType))) : QString();
}
}  // namespace

namespace StatementDrag {

QMimeData* paletteData(const ClassInfo* statementClass)
{
    auto* data = new QMimeData;
    data->setData(QLatin1String(mimeType), (palettePrefix + QLatin1String(statementClass->className)).toUtf8());
    return data;
}

QMimeData* treeData(const TIVRFlow* flow)
{
    auto* data = new QMimeData;
    data->setData(QLatin1String(mimeType), (treePrefix + flowId(flow)).toUtf8());
    return data;
}

bool isStatementData(const QMimeData* data)
{
    return data && data->hasFormat(QLatin1String(mimeType));
}

DragSource sourceOf(const QMimeData* data, const TIVRFlow* target)
{
    const QString text = payload(data);
    if (text.startsWith(palettePrefix)) {
        if (const ClassInfo* c = ClassRegistry::find(QStringView(text).mid(palettePrefix.size())))
            return DragSource::palette(c);
        return DragSource::other();
    }
    if (text.startsWith(treePrefix) && target && text.mid(treePrefix.size()) == flowId(target))
        return DragSource::treeOf(target);
    return DragSource::other();
}

void setRunner(Runner runner)
{
    g_runner = std::move(runner);
}

void run(QWidget* source, QMimeData* data, const QPixmap& pixmap)
{
    if (g_runner) {
        g_runner(source, data);
        delete data;
        return;
    }
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    if (!pixmap.isNull()) drag->setPixmap(pixmap);
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

}  // namespace StatementDrag

#include "ui/path_edit.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace mirebolt::ui {

namespace {

QString DroppedLocalPath(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) {
        return {};
    }
    const QUrl first = data->urls().front();
    return first.isLocalFile() ? first.toLocalFile() : QString();
}

}  // namespace

void PathEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedLocalPath(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void PathEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedLocalPath(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragMoveEvent(event);
}

void PathEdit::dropEvent(QDropEvent* event) {
    const QString path = DroppedLocalPath(event->mimeData());
    if (!path.isEmpty()) {
        setText(path);
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dropEvent(event);
}

}  // namespace mirebolt::ui

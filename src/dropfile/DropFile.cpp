#include "dropfile/DropFile.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

// Local files of a drag, in the order given; empty when it carries none.
QStringList LocalFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) files << url.toLocalFile();
  return files;
}

}  // namespace

TDropFile::TDropFile(QObject* owner) : QObject(owner) {
  AttachTarget();
  ApplyEnableDrop();
}

TDropFile::~TDropFile() { DetachTarget(); }

void TDropFile::SetEnableDrop(bool enable) {
  enableDrop_ = enable;
  ApplyEnableDrop();
}

void TDropFile::SetDropTarget(QWidget* target) {
  dropTarget_ = target;
  DetachTarget();
  AttachTarget();
  ApplyEnableDrop();
}

void TDropFile::ApplyEnableDrop() {
  if (target_) target_->setAcceptDrops(enableDrop_);
}

void TDropFile::AttachTarget() {
  QWidget* t = dropTarget_ ? dropTarget_.data() : qobject_cast<QWidget*>(parent());
  if (!t) return;
  target_ = t;
  Watch(t);
}

void TDropFile::Watch(QWidget* w) {
  w->removeEventFilter(this);  // never twice
  w->installEventFilter(this);
  for (QWidget* child : w->findChildren<QWidget*>()) {
    child->removeEventFilter(this);
    child->installEventFilter(this);
  }
}

void TDropFile::DetachTarget() {
  if (!target_) return;
  target_->setAcceptDrops(false);
  target_->removeEventFilter(this);
  for (QWidget* child : target_->findChildren<QWidget*>()) child->removeEventFilter(this);
  target_ = nullptr;
}

void TDropFile::SplitPath(const QString& fileWithPath, QString& fileName, QString& extension) {
  const qsizetype slash = fileWithPath.lastIndexOf(QLatin1Char('/'));
  fileName = slash < 0 ? QString() : fileWithPath.mid(slash + 1);
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  extension = dot < 0 ? QString() : fileName.mid(dot + 1);
}

bool TDropFile::eventFilter(QObject* watched, QEvent* event) {
  if (!target_) return false;
  switch (event->type()) {
    case QEvent::ChildAdded:
    case QEvent::ChildPolished: {
      // Widgets added to the target later are watched as well.
      auto* ce = static_cast<QChildEvent*>(event);
      if (ce->child() && ce->child()->isWidgetType()) Watch(static_cast<QWidget*>(ce->child()));
      return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* de = static_cast<QDragMoveEvent*>(event);
      if (LocalFiles(de->mimeData()).isEmpty()) return false;  // not files: the control decides
      if (enableDrop_) {
        de->setDropAction(Qt::CopyAction);
        de->accept();
      } else {
        de->ignore();  // refused, also by controls that take dropped text
      }
      return true;
    }
    case QEvent::Drop: {
      auto* de = static_cast<QDropEvent*>(event);
      const QStringList files = LocalFiles(de->mimeData());
      if (files.isEmpty()) return false;
      if (!enableDrop_) {
        de->ignore();
        return true;
      }
      de->setDropAction(Qt::CopyAction);
      de->accept();
      if (QWidget* w = target_->window()) {
        w->raise();
        w->activateWindow();
      }
      // The handler may change the target or delete this component.
      QPointer<TDropFile> self(this);
      for (const QString& path : files) {
        QString name, ext;
        SplitPath(path, name, ext);
        emit OnDropFile(this, path, name, ext);
        if (!self) break;
      }
      Q_UNUSED(watched);
      return true;
    }
    default:
      return false;
  }
}

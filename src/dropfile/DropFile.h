#pragma once
// TDropFile: a small non-visual component that lets a window control accept
// files dropped from the desktop's file manager and reports each file through
// OnDropFile, one call per file in the order the drop lists them.
//
// It attaches to its target by an event filter: the target (and every widget
// inside it, so that controls which accept dropped text themselves, such as a
// text editor, neither swallow nor refuse the files) sees drags of local files
// ("text/uri-list") accepted while EnableDrop is true and refused otherwise.
// Drags of anything else pass through untouched.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class TDropFile : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool EnableDrop READ EnableDrop WRITE SetEnableDrop)
  Q_PROPERTY(QWidget* DropTarget READ DropTarget WRITE SetDropTarget)

 public:
  // Attaches at once to the owner (when it is a widget) with EnableDrop true.
  explicit TDropFile(QObject* owner);
  ~TDropFile() override;  // detaches

  bool EnableDrop() const { return enableDrop_; }
  void SetEnableDrop(bool enable);
  QWidget* DropTarget() const { return dropTarget_; }
  // Stores the control, detaches, attaches to it and re-applies EnableDrop.
  void SetDropTarget(QWidget* target);

  void AttachTarget();
  void DetachTarget();
  // The widget attached to, or null while detached.
  QWidget* TargetWindow() const { return target_; }

  // The name splitting of a dropped path ('/' separates folders): FileName is
  // the text after the last '/' (empty when there is none), Extension the text
  // after the last '.' of FileName (empty when it has none); case unchanged.
  static void SplitPath(const QString& fileWithPath, QString& fileName, QString& extension);

 signals:
  void OnDropFile(QObject* Sender, QString FileWithPath, QString FileName, QString Extension);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Watch(QWidget* w);
  void ApplyEnableDrop();

  bool enableDrop_ = true;
  QPointer<QWidget> dropTarget_;  // the property; null: the owner
  QPointer<QWidget> target_;      // attached widget
};

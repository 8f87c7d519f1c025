#pragma once
// The window "Received by the simulated phone": every message and phonebook
// entry the simulated phone received, listed from its journal, with the
// chosen one shown in full below the list.
#include <QDialog>
#include <QString>

class QFileSystemWatcher;
class QScrollArea;
class QTreeView;

namespace mp {

class ReceivedModel;
struct ReceivedEntry;

// The full view of one entry: time, command, status, recipient, kind, the
// text with its blinking parts marked, indications and the logo as a
// picture. One function, so that a richer preview can take its place.
QWidget* MakeReceivedEntryView(const ReceivedEntry& entry, QWidget* parent);

}  // namespace mp

class TReceivedWin : public QDialog {
  Q_OBJECT

 public:
  explicit TReceivedWin(QWidget* parent = nullptr);

  // The journal to read; read at once and again whenever it changes.
  void SetJournal(const QString& path);
  void Reload();

  mp::ReceivedModel* Model() const { return model_; }
  QTreeView* List = nullptr;
  QScrollArea* Detail = nullptr;  // holds the chosen entry's view

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowEntry(int row);

  mp::ReceivedModel* model_ = nullptr;
  QFileSystemWatcher* watcher_ = nullptr;
  QString journal_;
};

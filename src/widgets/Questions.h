#pragma once
// Every question the windows ask the user goes through one small interface:
// the application's own modal dialogs (Send/Save, data coding, About), the
// choice of a file to open or save, and the confirmations before a file is
// replaced or unsaved work is dropped. The application answers with the real
// dialogs; tests install scripted answers, so that no test has to find and
// click a modal dialog from a timer.
#include <QString>
#include <QStringList>

#include <memory>

class QDialog;
class QFileDialog;
class QMessageBox;
class QWidget;

namespace mp {

// What an open or save dialog is set up with.
struct FileChoice {
  QString ObjectName;   // "OpenDialog1" or "SaveDialog1"
  QStringList Filters;  // Qt name filters, the first one selected
  QString DefaultSuffix;
  QString Proposed;     // the proposed file name; empty for none
};

// Answer to "the message has changed: save it first?".
enum class UnsavedAnswer { Save, Discard, Cancel };

class Questions {
 public:
  virtual ~Questions() = default;
  // Shows one of the application's dialogs modally; QDialog::Accepted or Rejected.
  virtual int RunModal(QDialog* dialog);
  // The chosen existing file, or an empty text on Cancel.
  virtual QString OpenFileName(QWidget* parent, const FileChoice& choice);
  // The chosen file to write, or an empty text on Cancel. Does not ask about
  // replacing an existing file; the caller asks ConfirmReplace.
  virtual QString SaveFileName(QWidget* parent, const FileChoice& choice);
  // True when the existing file `path` may be replaced.
  virtual bool ConfirmReplace(QWidget* parent, const QString& path);
  // Asked before changed work is dropped (New, Open, a drop, closing).
  virtual UnsavedAnswer AskUnsaved(QWidget* parent, const QString& what);
};

// The open or save dialog as the real questions show it.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const FileChoice& choice, bool save);
// The unsaved-work question as the real questions show it: Save, Discard and
// Cancel, each with its access key.
std::unique_ptr<QMessageBox> MakeUnsavedQuestion(QWidget* parent, const QString& what);

// The questions in force; the real dialogs unless SetQuestions installed others.
Questions& Ask();
// Installs `q` (not owned) in place of the real dialogs; nullptr restores them.
void SetQuestions(Questions* q);

}  // namespace mp

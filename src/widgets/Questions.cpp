// The real dialogs behind the questions of the windows.
#include "widgets/Questions.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace mp {

namespace {

Questions g_real;
Questions* g_current = nullptr;

QString RunFileDialog(QWidget* parent, const FileChoice& choice, bool save) {
  const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(parent, choice, save);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
  return dialog->selectedFiles().front();
}

}  // namespace

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const FileChoice& choice, bool save) {
  auto dialog = std::make_unique<QFileDialog>(parent);
  dialog->setObjectName(choice.ObjectName);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The replace question is asked by the caller, once, with its own words.
  if (save) dialog->setOption(QFileDialog::DontConfirmOverwrite);
  dialog->setNameFilters(choice.Filters);
  dialog->setDefaultSuffix(choice.DefaultSuffix);
  dialog->selectFile(choice.Proposed);
  return dialog;
}

int Questions::RunModal(QDialog* dialog) {
  if (!dialog) return QDialog::Rejected;
  return dialog->exec();
}

QString Questions::OpenFileName(QWidget* parent, const FileChoice& choice) {
  return RunFileDialog(parent, choice, false);
}

QString Questions::SaveFileName(QWidget* parent, const FileChoice& choice) {
  return RunFileDialog(parent, choice, true);
}

bool Questions::ConfirmReplace(QWidget* parent, const QString& path) {
  const QString name = QFileInfo(path).fileName();
  return QMessageBox::question(parent, "Save As",
                               QString("%1 already exists.\nDo you want to replace it?").arg(name),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

std::unique_ptr<QMessageBox> MakeUnsavedQuestion(QWidget* parent, const QString& what) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, "Corvistan MIRAPOST",
                                           QString("%1 has been changed.\nDo you want to save your changes?").arg(what),
                                           QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  box->setObjectName("UnsavedQuestion");
  box->setDefaultButton(QMessageBox::Save);
  // The same words, with access keys.
  box->button(QMessageBox::Save)->setText("&Save");
  box->button(QMessageBox::Discard)->setText("&Discard");
  box->button(QMessageBox::Cancel)->setText("&Cancel");
  return box;
}

UnsavedAnswer Questions::AskUnsaved(QWidget* parent, const QString& what) {
  const auto box = MakeUnsavedQuestion(parent, what);
  box->exec();
  const auto answer = box->standardButton(box->clickedButton());
  if (answer == QMessageBox::Save) return UnsavedAnswer::Save;
  if (answer == QMessageBox::Discard) return UnsavedAnswer::Discard;
  return UnsavedAnswer::Cancel;
}

Questions& Ask() { return g_current ? *g_current : g_real; }

void SetQuestions(Questions* q) { g_current = q; }

}  // namespace mp

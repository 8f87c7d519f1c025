#pragma once
// Scripted answers to the questions the windows ask, installed by the window
// tests in place of the real dialogs. A modal dialog of the application is
// shown without a modal loop and handed to the next scripted action, which
// answers it through its real controls (type, click, press Enter or Escape);
// file choices and confirmations are taken from queues. A question the test
// did not expect fails the test and is answered with Cancel, so that a fault
// can never leave a test waiting.
#include <gtest/gtest.h>

#include <QDialog>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

#include "widgets/Questions.h"

class ScriptedQuestions : public mp::Questions {
 public:
  using DialogAction = std::function<void(QWidget*)>;

  // ---- scripting ----
  void OnModal(DialogAction act) { modal.push_back(std::move(act)); }
  void OpenAnswers(const QString& path) { openAnswers.push_back(path); }
  void SaveAnswers(const QString& path) { saveAnswers.push_back(path); }
  void ReplaceAnswers(bool yes) { replaceAnswers.push_back(yes); }
  void UnsavedAnswers(mp::UnsavedAnswer a) { unsavedAnswers.push_back(a); }
  // True when every scripted answer was used.
  bool AllUsed() const {
    return modal.empty() && openAnswers.empty() && saveAnswers.empty() && replaceAnswers.empty() &&
           unsavedAnswers.empty();
  }
  void Reset() { *this = ScriptedQuestions(); }

  // ---- what was asked ----
  std::vector<QString> shown;             // object names of the dialogs shown
  std::vector<mp::FileChoice> fileChoices;  // open and save dialogs, as they were set up
  std::vector<QString> replaceAsked;      // paths
  std::vector<QString> unsavedAsked;      // what was changed

  // ---- mp::Questions ----
  int RunModal(QDialog* dialog) override {
    if (!dialog) return QDialog::Rejected;
    shown.push_back(dialog->objectName());
    if (modal.empty()) {
      ADD_FAILURE() << "unexpected dialog " << dialog->objectName().toStdString();
      return QDialog::Rejected;
    }
    DialogAction act = std::move(modal.front());
    modal.pop_front();
    dialog->setResult(QDialog::Rejected);
    dialog->show();
    act(dialog);
    if (dialog->isVisible()) {
      ADD_FAILURE() << "dialog " << dialog->objectName().toStdString() << " left open";
      dialog->reject();
    }
    return dialog->result();
  }
  QString OpenFileName(QWidget*, const mp::FileChoice& choice) override {
    fileChoices.push_back(choice);
    return Take(openAnswers, "open");
  }
  QString SaveFileName(QWidget*, const mp::FileChoice& choice) override {
    fileChoices.push_back(choice);
    return Take(saveAnswers, "save");
  }
  bool ConfirmReplace(QWidget*, const QString& path) override {
    replaceAsked.push_back(path);
    if (replaceAnswers.empty()) {
      ADD_FAILURE() << "unexpected replace question for " << path.toStdString();
      return false;
    }
    const bool yes = replaceAnswers.front();
    replaceAnswers.pop_front();
    return yes;
  }
  mp::UnsavedAnswer AskUnsaved(QWidget*, const QString& what) override {
    unsavedAsked.push_back(what);
    if (unsavedAnswers.empty()) {
      ADD_FAILURE() << "unexpected question about unsaved " << what.toStdString();
      return mp::UnsavedAnswer::Cancel;
    }
    const mp::UnsavedAnswer a = unsavedAnswers.front();
    unsavedAnswers.pop_front();
    return a;
  }

 private:
  static QString Take(std::deque<QString>& answers, const char* what) {
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected " << what << " dialog";
      return {};
    }
    QString a = answers.front();
    answers.pop_front();
    return a;
  }

  std::deque<DialogAction> modal;
  std::deque<QString> openAnswers, saveAnswers;
  std::deque<bool> replaceAnswers;
  std::deque<mp::UnsavedAnswer> unsavedAnswers;
};

#pragma once
// Helpers of the page tests (indicator, void, template, logo, phonebook):
// driving the Send/Save and data coding dialogs, and reading what reached the
// simulated phone.
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <string>
#include <vector>

#include "AppFixture.h"

// How a test answers the data coding dialog.
enum class Coding { SevenBit, SixteenBit, NoChoice, Cancelled };

class PageTest : public AppFixture {
 protected:
  // Counts how often a dialog is shown. (An unexpected dialog is answered with
  // Cancel by the scripted questions and fails the test there.)
  class ShowCounter : public QObject {
   public:
    ShowCounter(QDialog* w, bool expected) : QObject(w) {
      (void)expected;  // documents the test's intent; the count is checked by the test
      w->installEventFilter(this);
    }
    int shows = 0;

   protected:
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Show) ++shows;
      return false;
    }
  };

  // One message that reached the phone (AT+CMGS or AT+CMGW).
  struct Sent {
    std::string command;  // "CMGS" or "CMGW"
    int stat = -1;        // storage status of AT+CMGW
    std::string sca;      // service centre address as written
    std::string tpdu;     // the TPDU as written
    QJsonObject decoded;  // the simulated phone's own reading of it

    // First octet of the TPDU.
    int FirstOctet() const { return std::stoi(tpdu.substr(0, 2), nullptr, 16); }
    // TP-DA as hex text (length, type of address, value).
    std::string Destination() const {
      const int digits = std::stoi(tpdu.substr(4, 2), nullptr, 16);
      return tpdu.substr(4, 4 + 2 * ((digits + 1) / 2));
    }
    // TP-PID onward: the body that the page built.
    std::string Body() const { return tpdu.substr(4 + Destination().size()); }
  };

  std::vector<QJsonObject> JournalObjects() const {
    std::vector<QJsonObject> out;
    for (const std::string& line : Journal()) {
      out.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    }
    return out;
  }

  std::vector<Sent> Messages() const {
    std::vector<Sent> out;
    for (const QJsonObject& o : JournalObjects()) {
      const QString command = o.value("command").toString();
      if (command != "CMGS" && command != "CMGW") continue;
      Sent s;
      s.command = command.toStdString();
      s.stat = o.value("stat").toInt(-1);
      s.sca = o.value("sca").toString().toStdString();
      s.tpdu = o.value("tpdu").toString().toStdString();
      s.decoded = o.value("decoded").toObject();
      out.push_back(s);
    }
    return out;
  }

  std::vector<QJsonObject> PhonebookWrites() const {
    std::vector<QJsonObject> out;
    for (const QJsonObject& o : JournalObjects()) {
      if (o.value("command").toString() == "CPBW") out.push_back(o);
    }
    return out;
  }

  // ---- the Send/Save dialog, `w` being the shown dialog ----
  // Confirms at once: save mode, stored in the SIM.
  static void ConfirmSave(QWidget* w) { Click(w, "SaveSend"); }
  // Types a recipient over the placeholder (and a centre when given) and sends.
  static void ConfirmSend(QWidget* w, const QString& number, const QString& centre = QString(),
                          bool reports = true) {
    auto* recipient = w->findChild<QComboBox*>("Recipient");
    ASSERT_NE(recipient, nullptr);
    recipient->lineEdit()->selectAll();
    Type(recipient->lineEdit(), number);
    if (!centre.isEmpty()) {
      auto* box = w->findChild<QComboBox*>("Centre");
      ASSERT_NE(box, nullptr);
      box->lineEdit()->selectAll();
      Type(box->lineEdit(), centre);
    }
    auto* report = w->findChild<QAbstractButton*>("Reports");
    ASSERT_NE(report, nullptr);
    report->setChecked(reports);
    Click(w, "SaveSend");
  }
  static void Cancel(QWidget* w) { Click(w, "BitBtn1"); }

  // ---- the data coding dialog ----
  static void AnswerCoding(QWidget* w, Coding choice) {
    ASSERT_EQ(w, static_cast<QWidget*>(CodingWin));
    switch (choice) {
      case Coding::SevenBit:
        Click(w, "Model0");
        break;
      case Coding::SixteenBit:
        Click(w, "Model1");
        break;
      case Coding::NoChoice:
        CodingWin->SetModelIndex(-1);
        break;
      case Coding::Cancelled:
        Click(w, "BitBtn2");
        return;
    }
    Click(w, "BitBtn1");
  }

  // Text typed into the operator box as a user would: over the selection,
  // one key at a time.
  void TypeOperator(const QString& text, bool selectAll = true) {
    QLineEdit* edit = UI(cmbOperator)->lineEdit();
    if (selectAll) edit->selectAll();
    Type(edit, text);
  }

  // Upper-case hex of 16-bit characters, for expected bodies.
  static std::string Ucs2Hex(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
      out += "00";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
    return out;
  }
};

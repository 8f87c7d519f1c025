#pragma once
// Runs mirapost-send in this process with its own standard streams, and
// starts simulated phones for it.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "cli/Send.h"
#include "record/Record.h"

struct CliResult {
  int code = -1;
  std::string out, err;
};

inline CliResult RunCli(const QStringList& args, const std::string& input = std::string()) {
  std::istringstream in(input);
  std::ostringstream out, err;
  CliResult r;
  r.code = mp::cli::Run(QStringList{"mirapost-send"} + args, mp::cli::Io{in, out, err});
  r.out = out.str();
  r.err = err.str();
  return r;
}

inline QJsonObject JsonLine(const std::string& line) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

// A fresh settings folder and a simulated phone with a journal.
class CliFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ::setenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", dir_.filePath("data").toLocal8Bit().constData(), 1);  // the record
    // Time-outs shrunk 20 times: a silent phone costs a quarter of a second,
    // and a phone on a busy machine still answers the handshake in time.
    ::setenv("MIRAPOST_TIME_SCALE", "20", 1);
  }
  void TearDown() override {
    if (sim_.Running()) sim_.Stop();
    ::unsetenv("MIRAPOST_TIME_SCALE");
  }

  bool StartPhone(std::vector<std::string> args = {}) {
    journal_ = dir_.filePath("journal.jsonl").toStdString();
    args.push_back("--journal");
    args.push_back(journal_);
    if (!sim_.Start(MP_PHONESIM, args)) {
      ADD_FAILURE() << "phonesim: " << sim_.Error();
      return false;
    }
    return true;
  }
  QString Port() const { return QString::fromStdString(sim_.SlavePath()); }
  std::vector<QJsonObject> Journal() const {
    std::vector<QJsonObject> out;
    for (const std::string& line : phonesim::ReadJournal(journal_)) out.push_back(JsonLine(line));
    return out;
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }
  // A file of the test's own folder with these bytes; its path.
  QString WriteFile(const QString& name, const QByteArray& bytes) {
    QFile f(Path(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
  }
  // The record of sent messages, newest first.
  static std::vector<mp::record::Entry> Recorded() {
    mp::record::Record record;
    EXPECT_TRUE(record.Open()) << record.Error();
    return record.List();
  }

  QTemporaryDir dir_;
  phonesim::SimProcess sim_;
  std::string journal_;
};

// The record of sent messages: the facade over its store, and the recorder.
#include "record/Record.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdlib>

#include "pdu/Reading.h"
#include "pdu/StatusReport.h"
#include "platform/Module.h"
#include "platform/Settings.h"

namespace mp::record {

std::string Record::DefaultPath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && *data == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.local/share";
  }
  return base + "/Corvistan/MIRAPOST.db";
}

Record::Record(std::string path) : path_(std::move(path)) {}

Record::~Record() { Close(); }

bool Record::Open() {
  if (!store_) {
    using Make = Backend* (*)();
    const auto make =
        reinterpret_cast<Make>(ModuleEntry("mirapost-record.so", kBackendEntry, "the record module", &loadError_));
    if (!make) return false;
    store_.reset(make());
    if (!store_) {
      loadError_ = "the record module made no store";
      return false;
    }
  }
  loadError_.clear();
  return store_->Open(path_, busyMs_);
}

void Record::Close() {
  if (store_) store_->Close();
}

const std::vector<std::string>& Record::Notices() const {
  static const std::vector<std::string> none;
  return store_ ? store_->Notices() : none;
}

Trouble Record::LastTrouble() const {
  if (!loadError_.empty()) return Trouble::Other;
  return store_ ? store_->LastTrouble() : Trouble::None;
}

const std::string& Record::Error() const {
  if (!loadError_.empty() || !store_) return loadError_;
  return store_->Error();
}

int Record::Version() const { return IsOpen() ? store_->Version() : -1; }

namespace {

// The key by which a delivery report finds its row.
Entry Keyed(const Entry& entry) {
  Entry e = entry;
  e.recipientKey = e.reportAsked ? NumberKey(e.recipient) : "";
  return e;
}

}  // namespace

std::optional<std::int64_t> Record::Add(const Entry& entry) {
  return IsOpen() ? store_->Add(Keyed(entry)) : std::nullopt;
}

bool Record::Update(const Entry& entry) { return IsOpen() && store_->Update(Keyed(entry)); }

bool Record::AwaitsReports() const { return IsOpen() && store_->AwaitsReports(); }

Record::Taken Record::TakeReport(const ReportFacts& report) {
  Taken t;
  if (!IsOpen()) {
    t.match.why = "The record of sent messages is not open; the delivery report was left on the phone.";
    return t;
  }
  t.match = FindPart(report, store_->ReportRows(NumberKey(report.recipient), kReportRows));
  if (t.match.kind == Match::Kind::Repeated) {
    t.row = store_->Get(t.match.row);
    t.written = t.row.has_value();
  } else if (t.match.kind == Match::Kind::Matched) {
    std::optional<Entry> row = store_->Get(t.match.row);
    if (row && ApplyReport(*row, t.match.part, report) && store_->Update(Keyed(*row))) {
      t.written = true;
      t.row = row;
    }
  }
  return t;
}

std::vector<Entry> Record::List(int limit) const { return IsOpen() ? store_->List(limit) : std::vector<Entry>(); }

std::vector<Entry> Record::Page(std::int64_t beforeId, int limit) const {
  return IsOpen() ? store_->Page(beforeId, limit) : std::vector<Entry>();
}

std::vector<Entry> Record::ByDelivery(const Entry* after, bool descending, int limit) const {
  return IsOpen() ? store_->ByDelivery(after, descending, limit) : std::vector<Entry>();
}

std::vector<Entry> Record::Newer(std::int64_t afterId, int limit) const {
  return IsOpen() ? store_->Newer(afterId, limit) : std::vector<Entry>();
}

std::optional<Entry> Record::Get(std::int64_t id) const { return IsOpen() ? store_->Get(id) : std::nullopt; }

bool Record::Remove(std::int64_t id) { return IsOpen() && store_->Remove(id); }

bool Record::Clear() { return IsOpen() && store_->Clear(); }

std::string Record::CounterPath() const { return path_ + "-reference"; }

int Record::NextReference(const std::string& destination) {
  // The recipient as the rows name it: read from a TPDU to it.
  const std::string recipient = pdu::ReadTpdu("11FF" + destination + "0000A900").recipient;
  // The small counter beside the record: used when the record has no long
  // text to this recipient (or is off), and moved on every time so that it
  // never lags far behind.
  int counter = 0;
  {
    QFile file(QString::fromStdString(CounterPath()));
    if (file.open(QIODevice::ReadOnly)) {
      bool ok = false;
      const int n = QString::fromLatin1(file.read(16)).trimmed().toInt(&ok);
      if (ok && n >= 0) counter = (n + 1) & 0xFF;
    }
  }
  std::optional<int> last;
  if (IsOpen()) last = store_->LastReference(recipient);
  const int next = last ? (*last + 1) & 0xFF : counter;
  QSaveFile out(QString::fromStdString(CounterPath()));
  const QString folder = QFileInfo(out.fileName()).absolutePath();
  if (!QFileInfo(folder).exists() && QDir().mkpath(folder))
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  if (QFileInfo(folder).isDir() && out.open(QIODevice::WriteOnly)) {
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.write(QByteArray::number(next) + "\n");
    out.commit();
  }
  return next;
}

bool Enabled() {
  SettingsKey key;
  if (!key.Open(false)) return true;
  const auto value = key.ReadInteger("RecordSent");
  return !value || *value != 0;
}

void SetEnabled(bool on) {
  SettingsKey key;
  if (!key.Open(true)) return;
  key.WriteInteger("RecordSent", on ? 1 : 0);
  key.Close();
}

Entry EntryFromReport(const TransferReport& r) {
  Entry e;
  e.port = r.port;
  e.device = r.device;
  e.command = r.command;
  e.status = r.status;
  e.statusText = r.statusText;
  e.finished = r.finished;
  // A report from a caller that only says ok keeps meaning what it said.
  Outcome outcome = r.result.outcome;
  if (r.finished && outcome == Outcome::Pending) outcome = r.ok ? Outcome::Confirmed : Outcome::NotSent;
  // On its way, a row is pending, or queued once a gateway holds it.
  if (!r.finished) outcome = outcome == Outcome::Queued ? Outcome::Queued : Outcome::Pending;
  e.ok = outcome == Outcome::Confirmed || outcome == Outcome::Delivered;
  e.state = OutcomeName(outcome, r.command == "CMGW");
  e.via = r.via;
  e.gatewayId = r.gatewayId;
  e.sca = r.sca;
  e.tpdu = r.tpdu;
  e.numberType = r.numberType;
  e.nameHex = r.nameHex;
  e.parts = r.parts;
  e.reference = r.reference;
  for (const std::string& t : r.moreTpdus) e.moreTpdus += (e.moreTpdus.empty() ? "" : " ") + t;
  e.partsSent = r.finished && r.result.parts == r.parts ? r.result.partsSent : r.from;
  if (r.finished && r.parts == 1 && e.ok) e.partsSent = 1;
  // A report asked (TP-SRR): each part the phone took waits for its report,
  // known by the TP-MR the phone answered.
  std::vector<std::uint8_t> first;
  e.reportAsked = r.command == "CMGS" && r.tpdu.size() >= 2 && pdu::HexToOctets(r.tpdu.substr(0, 2), first) &&
                  (first[0] & 0x20) != 0;
  if (e.reportAsked && !r.messageRefs.empty()) {
    std::vector<PartReport> parts;
    for (std::size_t i = 0; i < r.messageRefs.size(); ++i) {
      PartReport p;
      p.mr = r.messageRefs[i];
      p.sentUtc = i < r.sentUtc.size() ? r.sentUtc[i] : 0;
      parts.push_back(p);
    }
    e.partReports = FormatParts(parts);
    e.delivery = kPending;
  }
  // A gateway's delivery report speaks for the whole message.
  if (!r.delivery.empty()) {
    e.delivery = r.delivery;
    e.deliveryTime = r.deliveryUtc > 0 ? IsoUtc(r.deliveryUtc) : "";
  }
  if (r.command == "CPBW") {
    e.kind = pdu::KindName(pdu::Kind::Phonebook);
    e.recipient = r.number;
  } else {
    const pdu::Reading reading = pdu::ReadTpdu(r.tpdu);
    e.kind = pdu::KindName(reading.kind);
    e.recipient = reading.recipient;
  }
  return e;
}

PhoneReportTaken TakePhoneReport(Record& record, const PhoneStatusReport& given) {
  PhoneReportTaken out;
  const pdu::StatusReportResult r = pdu::DecodeStatusReportLine(given.pdu);
  if (!r.ok) {
    out.said = "A delivery report from the phone could not be read: " + r.error + ".";
    return out;
  }
  out.decoded = true;
  ReportFacts facts;
  facts.mr = r.report.mr;
  facts.recipient = r.report.recipient;
  facts.centreUtc = r.report.sentAt.UtcSeconds();
  facts.dischargeUtc = r.report.doneAt.UtcSeconds();
  facts.status = r.report.status;
  if (!Enabled()) {
    out.said = "The record of sent messages is off; the delivery report for " + facts.recipient + " was not kept.";
    return out;
  }
  if (!record.IsOpen() && !record.Open()) {
    out.said = "Cannot write the record of sent messages (" + record.Path() + "): " + record.Error();
    return out;
  }
  out.taken = record.TakeReport(facts);
  if (out.taken.match.kind != Match::Kind::Matched && out.taken.match.kind != Match::Kind::Repeated) {
    out.said = out.taken.match.why;
    return out;
  }
  const std::string who = out.taken.row ? out.taken.row->recipient : facts.recipient;
  const std::string meaning = pdu::StatusMeaning(facts.status);
  switch (r.report.Delivery()) {
    case pdu::ReportClass::Delivered: {
      const long long at = facts.dischargeUtc >= 0 ? facts.dischargeUtc : facts.centreUtc;
      out.said = "Delivered to " + who;
      if (at >= 0) out.said += " at " + QDateTime::fromSecsSinceEpoch(at).toLocalTime().toString("HH:mm").toStdString();
      out.said += ".";
      break;
    }
    case pdu::ReportClass::StillTrying: out.said = "Not yet delivered to " + who + ": " + meaning + "."; break;
    case pdu::ReportClass::Failed: out.said = "Not delivered to " + who + ": " + meaning + "."; break;
    case pdu::ReportClass::Unknown: out.said = "Delivery report for " + who + ": " + meaning + "."; break;
  }
  return out;
}

void Recorder::Problem(const std::string& why) {
  if (told_) return;
  told_ = true;
  if (tell) tell("Cannot write the record of sent messages (" + record_.Path() + "): " + why);
}

bool Recorder::OpenRecord() {
  if (record_.IsOpen()) return true;
  if (!record_.Open()) return false;
  if (tell) {
    for (const std::string& notice : record_.Notices()) tell(notice);
  }
  return true;
}

bool Recorder::EnsureOpen() {
  if (OpenRecord()) return true;
  Problem(record_.Error());
  return false;
}

Recorder::Result Recorder::Apply(const TransferReport& report) {
  auto failed = [this] {
    if (record_.LastTrouble() == Trouble::Busy) return Result::Busy;
    Problem(record_.Error());
    return Result::Failed;
  };
  changedId_ = 0;
  // A step on the way (a gateway took it) changes the row written at the
  // start, which stays open for the end.
  const bool step = !report.finished && pending_.id != 0 && report.result.outcome != Outcome::Pending;
  if (!step && (!report.finished || pending_.id == 0)) {
    // A new transfer (or one that ended before it could start).
    pending_ = {};
    lastId_ = 0;
    if (!Enabled()) return Result::Done;
    if (!OpenRecord()) return failed();
    if (report.row != 0 && record_.Get(report.row)) {
      // The rest of a long text whose first parts went out before: its own
      // row says how the message as a whole stands now.
      pending_.id = lastId_ = report.row;
    } else {
      Entry e = EntryFromReport(report);
      const auto id = record_.Add(e);
      if (!id) return failed();
      lastId_ = changedId_ = *id;
      if (!report.finished) pending_.id = *id;
      told_ = false;
      return Result::Done;
    }
  }
  Entry done = EntryFromReport(report);
  done.id = pending_.id;
  if (auto stored = record_.Get(done.id)) done.time = stored->time;
  if (!record_.Update(done) && record_.LastTrouble() != Trouble::None) return failed();
  changedId_ = done.id;
  if (report.finished) pending_ = {};
  told_ = false;
  return Result::Done;
}

void Recorder::Report(const TransferReport& report) {
  if (!backlog_.empty()) {
    // Later reports wait behind the ones that wait for the lock.
    backlog_.push_back(report);
    changedId_ = 0;
    return;
  }
  if (Apply(report) == Result::Busy) {
    if (!retry) {
      Problem(record_.Error() + " (another program holds it)");
      return;
    }
    backlog_.push_back(report);
    tries_ = 0;
    retry(kRetryMs);
  }
}

void Recorder::RetryNow() {
  while (!backlog_.empty()) {
    const Result r = Apply(backlog_.front());
    if (r == Result::Busy) {
      if (++tries_ == kTellAfterTries)
        Problem("another program holds it; the rows are written as soon as it lets go");
      if (retry) retry(tries_ < kTellAfterTries ? kRetryMs : 4 * kRetryMs);
      return;
    }
    backlog_.pop_front();
    tries_ = 0;
  }
}

}  // namespace mp::record

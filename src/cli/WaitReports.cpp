#include "cli/WaitReports.h"

#include <chrono>
#include <thread>

namespace mp::cli {

Delivery DeliveryOf(const record::Record& record, std::int64_t id) {
  Delivery d;
  const auto row = id > 0 ? record.Get(id) : std::nullopt;
  if (!row || !row->reportAsked) return d;
  d.asked = true;
  d.state = row->delivery.empty() ? std::string(record::kPending) : row->delivery;
  d.at = row->deliveryTime;
  for (const record::PartReport& p : record::ParseParts(row->partReports))
    if (p.status >= 0) d.reportStatus = p.status;
  return d;
}

void AddDelivery(pdu::JsonObject& j, const Delivery& d) {
  if (d.asked) {
    j.Str("delivery", d.state);
  } else {
    j.Null("delivery");
  }
  if (!d.at.empty() && d.state != record::kPending) {
    j.Str("delivered_at", d.at);
  } else {
    j.Null("delivered_at");
  }
  if (d.reportStatus >= 0) {
    j.Int("report_status", d.reportStatus);
  } else {
    j.Null("report_status");
  }
}

namespace {

bool AllFinal(const record::Record& record, const std::vector<std::int64_t>& ids) {
  for (std::int64_t id : ids) {
    const Delivery d = DeliveryOf(record, id);
    if (d.asked && d.state != record::kDelivered && d.state != record::kFailed) return false;
  }
  return true;
}

}  // namespace

void WaitForReports(PhoneLink& link, const record::Record& record, const std::vector<std::int64_t>& ids, int seconds,
                    int pollMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!AllFinal(record, ids) && std::chrono::steady_clock::now() < end && !link.Cancelled()) {
    const bool opened = !link.IsOpen();
    if (opened && !link.OpenPhone()) return;
    link.ReadKeptReports();
    if (AllFinal(record, ids)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
}

int DeliveryExit(const std::vector<Delivery>& deliveries, int failed, int late) {
  bool anyLate = false;
  for (const Delivery& d : deliveries) {
    if (d.state == record::kFailed) return failed;
    // A message that asked for no report has none to come: not delivered either.
    if (d.state != record::kDelivered) anyLate = true;
  }
  return anyLate ? late : 0;
}

}  // namespace mp::cli

#pragma once
// mirapost-send's delivery reports: what the record says of each message of
// the run, and --wait-report, which keeps the connection open after the last
// message until every asked report has come or the time is up.
#include <cstdint>
#include <string>
#include <vector>

#include "pdu/Json.h"
#include "phone/PhoneLink.h"
#include "record/Record.h"

namespace mp::cli {

struct Delivery {
  bool asked = false;     // the message asked for a report
  std::string state;      // "" (none asked), "pending", "delivered", "still-trying", "failed"
  std::string at;         // when the centre says it was delivered (or gave up), UTC; "" when not known
  int reportStatus = -1;  // TP-ST of the last report, -1 when none came
};

// What the record holds for the row `id` (nothing asked when it has none).
Delivery DeliveryOf(const record::Record& record, std::int64_t id);

// Adds "delivery", "delivered_at" and "report_status" (null when none).
void AddDelivery(pdu::JsonObject& j, const Delivery& d);

// Reads the phone's reports until every row of `ids` that asked for one has
// its final report (delivered or failed) or `seconds` have passed: the kept
// reports every `pollMs`, and the routed ones as they come meanwhile. The
// link's connection is opened when closed and left as found otherwise.
void WaitForReports(PhoneLink& link, const record::Record& record, const std::vector<std::int64_t>& ids, int seconds,
                    int pollMs);

// The exit status of a run that waited: 0 when every message was delivered,
// `failed` when a report said failed, else `late` (a report did not come in
// time, or a message asked for none).
int DeliveryExit(const std::vector<Delivery>& deliveries, int failed, int late);

}  // namespace mp::cli

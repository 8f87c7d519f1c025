// The SMS-STATUS-REPORT decoder against reports captured from real phones and
// modems (as published with ModemManager's and python-gsmmodem's tests) and
// hand-made variants of them.
#include <gtest/gtest.h>

#include "pdu/StatusReport.h"

using mp::pdu::ReportClass;

namespace {

struct Report {
  const char* name;
  const char* line;  // the PDU line, centre address first
  const char* centre;
  int mr;
  const char* recipient;
  const char* sentAt;
  const char* doneAt;
  int status;
  ReportClass delivery;
  bool warned;
};

void PrintTo(const Report& r, std::ostream* os) { *os << r.name; }

class DecodeReport : public ::testing::TestWithParam<Report> {};

TEST_P(DecodeReport, Fields) {
  const Report& g = GetParam();
  auto r = mp::pdu::DecodeStatusReportLine(g.line);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.centre, g.centre);
  EXPECT_EQ(r.report.mr, g.mr);
  EXPECT_EQ(r.report.recipient, g.recipient);
  EXPECT_EQ(r.report.sentAt.Iso(), g.sentAt);
  EXPECT_EQ(r.report.doneAt.Iso(), g.doneAt);
  EXPECT_EQ(r.report.status, g.status);
  EXPECT_EQ(r.report.Delivery(), g.delivery);
  EXPECT_EQ(!r.report.warnings.empty(), g.warned);
}

INSTANTIATE_TEST_SUITE_P(
    Phones, DecodeReport,
    ::testing::Values(
        Report{"ModemManagerNationalNumberStillTrying",
               "07914356060013F1065A098136397339F7219011700463802190117004638030", "+34656000311", 90, "639337937",
               "2012-09-11T07:40:36+02:00", "2012-09-11T07:40:36+02:00", 0x30, ReportClass::StillTrying, false},
        Report{"DefaultCentreDelivered", "0006D60B911326880736F4111011719551401110117195714000", "", 214,
               "+31628870634", "2011-01-11T17:59:15+01:00", "2011-01-11T17:59:17+01:00", 0, ReportClass::Delivered,
               false},
        // A ZTE modem's report with a broken recipient: the report still reads.
        Report{"ZteBrokenRecipient", "0297F1061C0F910B487228297020F5317062419272803170624192138000", "+1", 28,
               "+#08427829207025", "2013-07-26T14:29:27+02:00", "2013-07-26T14:29:31+02:00", 0, ReportClass::Delivered,
               false},
        Report{"ValidityExpired", "0006D60B911326880736F4111011719551401110117195714046", "", 214, "+31628870634",
               "2011-01-11T17:59:15+01:00", "2011-01-11T17:59:17+01:00", 0x46, ReportClass::Failed, false},
        Report{"ZoneWestOfUtc", "0006D60B911326880736F41110117195512B1110117195714060", "", 214, "+31628870634",
               "2011-01-11T17:59:15-08:00", "2011-01-11T17:59:17+01:00", 0x60, ReportClass::Failed, false},
        Report{"ParameterIndicatorAndEmptyData", "0006D60B911326880736F411101171955140111011719571400007000000", "",
               214, "+31628870634", "2011-01-11T17:59:15+01:00", "2011-01-11T17:59:17+01:00", 0, ReportClass::Delivered,
               false},
        Report{"IndicatorPromisesMoreThanSent", "0006D60B911326880736F411101171955140111011719571400007", "", 214,
               "+31628870634", "2011-01-11T17:59:15+01:00", "2011-01-11T17:59:17+01:00", 0, ReportClass::Delivered,
               true},
        Report{"ReservedStatus", "0006D60B911326880736F4111011719551401110117195714080", "", 214, "+31628870634",
               "2011-01-11T17:59:15+01:00", "2011-01-11T17:59:17+01:00", 0x80, ReportClass::Unknown, false}));

TEST(DecodeReport, RefusesWhatIsNotAStatusReport) {
  const char* bad[] = {
      "",                                                      // nothing
      "0006D60B911326880736F41110117195514011101171957140",    // ends before TP-ST
      "0001D60B911326880736F4111011719551401110117195714000",  // an SMS-SUBMIT
      "0006D6FF911326880736F4111011719551401110117195714000",  // TP-RA longer than any number
      "0006D60B911326880736F41110117195514011101171957140G0",  // not hex
  };
  for (const char* line : bad) EXPECT_FALSE(mp::pdu::DecodeStatusReportLine(line).ok) << line;
}

TEST(DecodeReport, TimesCompareAcrossZones) {
  // The same instant written by centres in two zones.
  auto a = mp::pdu::DecodeStatusReport("06D60B911326880736F4111011719551401110117195714000");
  auto b = mp::pdu::DecodeStatusReport("06D60B911326880736F4111011819551801110117195714000");
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_EQ(a.report.sentAt.UtcSeconds(), b.report.sentAt.UtcSeconds());
  EXPECT_EQ(a.report.sentAt.UtcSeconds(), 1294765155);  // 2011-01-11 16:59:15 UTC
}

TEST(StatusMeaning, EveryGroupHasWords) {
  struct Row {
    int st;
    ReportClass cls;
    const char* words;
  } rows[] = {
      {0x00, ReportClass::Delivered, "received by the recipient"},
      {0x1A, ReportClass::Delivered, "completed (centre's code 1A)"},
      {0x21, ReportClass::StillTrying, "the recipient is busy; the centre goes on trying"},
      {0x3F, ReportClass::StillTrying, "the centre goes on trying (code 3F)"},
      {0x46, ReportClass::Failed, "validity period expired"},
      {0x62, ReportClass::Failed, "no response from the recipient; the centre gave up"},
      {0x7E, ReportClass::Failed, "the centre gave up (code 7E)"},
      {0xC0, ReportClass::Unknown, "unknown status code C0"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(mp::pdu::ClassOfStatus(r.st), r.cls) << r.st;
    EXPECT_EQ(mp::pdu::StatusMeaning(r.st), r.words) << r.st;
  }
}

}  // namespace

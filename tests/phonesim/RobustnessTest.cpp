// Hostile input for the decoder and the AT interpreter: mutated PDUs and
// random command bytes never crash them, and every journal line stays JSON.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <random>

#include "pdu/PduDecoder.h"
#include "Phone.h"

namespace {

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size() + (extra == 0 ? 1 : 0)) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

bool IsJsonObject(const std::string& text) {
  if (!ValidUtf8(text)) return false;
  QJsonParseError err;
  auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &err);
  return err.error == QJsonParseError::NoError && doc.isObject();
}

const char* const kSeeds[] = {
    "31FF05912143F50000A905E8329BFD06",
    "51FF05912143F50000A90D080102800101020100009D06",
    "11FF05912143F50018A9080000000100480069",
    "11FF09D0D23039FD0600F0FF00",
    "51FF05912143F500F5FF0F0605041582158242F45000480E01FF",
};

TEST(Robustness, MutatedPdusDecodeOrFailCleanly) {
  std::mt19937 rng(1234);
  static const char kHex[] = "0123456789ABCDEF";
  int decoded = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string pdu = kSeeds[round % std::size(kSeeds)];
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      std::size_t at = rng() % (pdu.size() + 1);
      switch (rng() % 4) {
        case 0: if (at < pdu.size()) pdu[at] = kHex[rng() % 16]; break;
        case 1: pdu.insert(at, 2, kHex[rng() % 16]); break;
        case 2: if (at + 2 <= pdu.size()) pdu.erase(at, 2); break;
        default: pdu.resize(std::min(pdu.size(), at)); break;
      }
    }
    auto r = mp::pdu::DecodeSubmit(pdu);
    if (r.ok) {
      ++decoded;
      ASSERT_TRUE(IsJsonObject(mp::pdu::ToJson(r.pdu))) << pdu;
    } else {
      ASSERT_FALSE(r.error.empty()) << pdu;
    }
    mp::pdu::SplitPduLine(pdu);
  }
  EXPECT_GT(decoded, 100);
}

TEST(Robustness, RandomCommandBytes) {
  std::mt19937 rng(99);
  const std::string pieces[] = {"AT", "+CMGS=", "+CMGW=", "+CPBW=", "+CPBF=", "+CPBR=", "+CSCS=", "\"",
                                "\\22", "\\", ",", ";", "\r", "\n", "\x1A", "\x1B", "1", "16", "0011FF", "\xE4", "255", "999999999",
                                "00", "HEX", "UCS2", "GSM", "?", "=?", "E0", "V0", "Q1", "Z", "\b", "\xFF", "\x01",
                                "+CPIN=", "+CMEE=", "+CREG?", "+CSCA=", "\"1234\"", "+CSMS?"};
  // Every personality takes its turn, three at a time.
  const char* const personalities[] = {"terse", "chatty", "interrupting", "unregistered", "sim-pin",
                                       "cmee2", "no-cmee", "no-centre", "drops-fast", "pdu-entry",
                                       "transient-500", "slow-network", "lf-only", "bare-prompt",
                                       "empty-cme22", "phase2plus"};
  for (int run = 0; run < 200; ++run) {
    phonesim::PhoneOptions o;
    o.echo = run % 2;
    o.emptyEntry = static_cast<phonesim::EmptyEntry>(run % 3);
    std::string error;
    for (int k = 0; k < 3; ++k) {
      phonesim::ParsePersonalities(personalities[(run + 5 * k) % std::size(personalities)], o.personalities, error);
    }
    phonesim::Phone phone(o);
    bool allJson = true;
    phone.journal = [&](const std::string& line) { allJson = allJson && IsJsonObject(line); };
    std::vector<phonesim::Event> out;
    for (int i = 0; i < 400; ++i) {
      const std::string& p = pieces[rng() % std::size(pieces)];
      phone.Receive(p, out, i * 3.0);
      if (rng() % 97 == 0) phone.LineDropped();
      if (rng() % 31 == 0) phone.Periodic(out);
    }
    phone.Receive("\x1B\rATQ0V1\r", out);
    ASSERT_TRUE(allJson) << "run " << run;
    std::string all;
    for (const auto& e : out) all += e.bytes;
    ASSERT_GE(all.size(), 4u);
    const bool lf = o.personalities.count(phonesim::Personality::LfOnly);
    EXPECT_EQ(all.substr(all.size() - 4), lf ? "\nOK\n" : "OK\r\n") << "run " << run;
  }
}

}  // namespace

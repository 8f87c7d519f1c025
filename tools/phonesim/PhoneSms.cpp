// The simulated phone's SMS commands (TS 27.005 in PDU mode): message format,
// send and write with their PDU entry, list, read, delete, storage, centre.
#include <algorithm>
#include <ctime>

#include "AtText.h"
#include "pdu/Json.h"
#include "pdu/PduDecoder.h"

namespace phonesim {

using namespace mp::pdu;

std::optional<bool> Phone::SmsCommand(const Command& c, std::vector<Event>& out) {
  const std::string& name = c.name;
  const char op = c.op;
  const std::vector<Arg>& args = c.args;
  Reply& reply = c.reply;
  auto arg = [&c](std::size_t k) { return c.arg(k); };
  auto info = [&c](std::string text) { return c.info(std::move(text)); };
  auto cms = [&c](int code) { return c.cms(code); };
  int v = 0;
  if (name == "+CMGF") {
    if (op == '?') return info("+CMGF: " + std::to_string(cmgf_));
    if (op == 't') return info("+CMGF: (0)");
    if (op != '=' || !ToInt(arg(0), v)) return false;
    if (v == 0) {
      if (Has(Fault::CmgfError)) {
        reply.final = Reply::Error;
        return false;
      }
      cmgf_ = 0;
      return true;
    }
    return cms(303);  // text mode is not offered
  }
  if (name == "+CMGS" || name == "+CMGW") {
    if (op == 't') return true;
    int length = 0, stat = 2;
    if (op != '=' || !ToInt(arg(0), length) || length < 1 || length > 255) return false;
    if (name == "+CMGW" && arg(1).present && (!ToInt(arg(1), stat) || stat > 3)) return false;
    if (args.size() > (name == "+CMGW" ? 2u : 1u)) return false;
    // A locked SIM refuses at once (TS 27.005 3.2.5), without a prompt.
    if (int code = SendRefusal(false)) return cms(code);
    // Information text of earlier commands on the line goes out before the prompt.
    Reply before;
    before.info.swap(reply.info);
    before.final = Reply::None;
    if (Is(Personality::Interrupting)) before.urc = Unsolicited({"RING", "+CLIP: \"+123\",145"});
    Final(before, out);
    reply.final = Reply::None;
    if (Has(Fault::NoPrompt)) return true;
    Send(out, Prompt());
    promptMs_ = drainMs_ = nowMs_;
    bufferLevel_ = 0;
    pduCommand_ = name == "+CMGS" ? "CMGS" : "CMGW";
    pduLength_ = length;
    pduStat_ = stat;
    pdu_.clear();
    if (Has(Fault::HangupAfterPrompt)) {
      Event e;
      e.kind = Event::Hangup;
      out.push_back(e);
    }
    return true;
  }
  if (name == "+CMGL") {
    if (op == 't') return info("+CMGL: (0-4)");
    int stat = 4;
    if (op == '=' && arg(0).present && (!ToInt(arg(0), stat) || stat > 4)) return false;
    if (op == '?') return false;
    std::string block;
    for (const auto& [index, m] : readSr_ ? sr_ : sms_) {
      if (stat != 4 && m.stat != stat) continue;
      if (!block.empty()) block += "\r\n";
      std::size_t scaChars = 2 + 2 * static_cast<std::size_t>(HexValue(m.pdu[0]) * 16 + HexValue(m.pdu[1]));
      block += "+CMGL: " + std::to_string(index) + "," + std::to_string(m.stat) + ",," +
               std::to_string((m.pdu.size() - scaChars) / 2) + "\r\n" + m.pdu;
    }
    if (!block.empty()) info(block);
    return true;
  }
  if (name == "+CMGR" || name == "+CMGD") {
    if (op == 't') return name == "+CMGD" ? info("+CMGD: (1-" + std::to_string(kSmsCapacity) + ")") : true;
    if (op != '=' || !ToInt(arg(0), v)) return false;
    std::map<int, StoredMessage>& memory = readSr_ ? sr_ : sms_;
    auto it = memory.find(v);
    if (name == "+CMGD") {
      if (v < 1 || v > kSmsCapacity) return cms(321);
      memory.erase(v);
      return true;
    }
    if (it == memory.end()) return cms(321);
    std::size_t scaChars = 2 + 2 * static_cast<std::size_t>(HexValue(it->second.pdu[0]) * 16 + HexValue(it->second.pdu[1]));
    return info("+CMGR: " + std::to_string(it->second.stat) + ",," +
                std::to_string((it->second.pdu.size() - scaChars) / 2) + "\r\n" + it->second.pdu);
  }
  if (name == "+CPMS" && Is(Personality::Reports)) {
    const std::string sm = std::to_string(sms_.size()) + "," + std::to_string(kSmsCapacity);
    const std::string sr = std::to_string(sr_.size()) + "," + std::to_string(kSmsCapacity);
    if (op == '?')
      return info(std::string("+CPMS: ") + (readSr_ ? "\"SR\"," + sr : "\"SM\"," + sm) + ",\"SM\"," + sm + ",\"SM\"," +
                  sm);
    if (op == 't') return info("+CPMS: (\"SM\",\"SR\"),(\"SM\"),(\"SM\")");
    if (op != '=' || args.empty() || args.size() > 3) return false;
    for (std::size_t k = 0; k < args.size(); ++k) {
      const std::string mem = Upper(args[k].text);
      if (args[k].present && mem != "SM" && !(k == 0 && mem == "SR")) return cms(302);
    }
    readSr_ = Upper(arg(0).text) == "SR";
    std::string text = "+CPMS: " + (readSr_ ? sr : sm);
    for (std::size_t k = 1; k < args.size(); ++k) text += "," + sm;
    return info(text);
  }
  if (name == "+CPMS") {
    const std::string used = std::to_string(sms_.size()) + "," + std::to_string(kSmsCapacity);
    if (op == '?') return info("+CPMS: \"SM\"," + used + ",\"SM\"," + used + ",\"SM\"," + used);
    if (op == 't') return info("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
    if (op != '=' || args.empty() || args.size() > 3) return false;
    for (const auto& a : args) {
      if (a.present && Upper(a.text) != "SM") return cms(302);
    }
    std::string text = "+CPMS: " + used;
    for (std::size_t k = 1; k < args.size(); ++k) text += "," + used;
    return info(text);
  }
  if (name == "+CSCA") {
    if (op == '?') return info("+CSCA: \"" + centre_ + "\"," + std::to_string(centreType_));
    if (op == 't') return true;
    if (op != '=' || !arg(0).quoted) return false;
    centre_ = arg(0).text;
    centreType_ = !centre_.empty() && centre_[0] == '+' ? 145 : 129;
    if (arg(1).present && (!ToInt(arg(1), centreType_) || centreType_ > 255)) return false;
    return true;
  }
  if (name == "+CSMS") {
    if (op == '?') return info(Is(Personality::Phase2Plus) ? "+CSMS: 1,1,1,1" : "+CSMS: 0,1,1,1");
    if (op == 't') return info("+CSMS: (0)");
    if (op != '=' || !ToInt(arg(0), v) || v != 0) return false;
    return info("+CSMS: 1,1,1");
  }
  if (name == "+CSMP") {
    if (op == '?') return info("+CSMP: 17,167,0,0");
    return op == '=' || op == 't';
  }
  if (name == "+CNMI") {
    if (op == '?') {
      std::string text = "+CNMI: ";
      for (int k = 0; k < 5; ++k) text += (k ? "," : "") + std::to_string(cnmi_[k]);
      return info(text);
    }
    if (op == 't') return info("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)");
    if (op != '=' || args.size() > 5) return false;
    static const int kMax[5] = {2, 3, 2, 2, 1};
    int values[5];
    for (int k = 0; k < 5; ++k) {
      values[k] = cnmi_[k];
      // An empty value keeps the setting (V.250 5.3.1).
      if (static_cast<std::size_t>(k) < args.size() && arg(k).present && !arg(k).text.empty() &&
          (!ToInt(arg(k), values[k]) || values[k] > kMax[k])) {
        return false;
      }
    }
    std::copy(values, values + 5, cnmi_);
    return true;
  }
  return std::nullopt;
}

std::string Phone::Concatenated(const SubmitPdu& pdu) {
  for (const HeaderElement& e : pdu.udh) {
    // The 8-bit (00) or 16-bit (08) reference element: reference, parts, this part.
    const bool eight = e.iei == 0x00 && e.data.size() == 3;
    const bool sixteen = e.iei == 0x08 && e.data.size() == 4;
    if (!eight && !sixteen) continue;
    const int reference = eight ? e.data[0] : e.data[0] << 8 | e.data[1];
    const int parts = e.data[eight ? 1 : 2], part = e.data[eight ? 2 : 3];
    if (parts < 2 || part < 1 || part > parts) return {};
    LongParts& held = longTexts_[{pdu.da, reference}];
    if (held.parts != parts) held = LongParts{parts, {}};
    held.texts[part] = pdu.text;
    if (static_cast<int>(held.texts.size()) < parts) return {};
    std::u32string whole;
    for (const auto& [number, text] : held.texts) whole += text;
    longTexts_.erase({pdu.da, reference});
    return JsonObject().Int("reference", reference).Int("parts", parts).Str("text", Utf8(whole)).Text();
  }
  return {};
}

void Phone::FinishPdu(std::vector<Event>& out) {
  const std::string command = pduCommand_;
  pduCommand_ = nullptr;
  std::string hex;
  for (char c : pdu_) {
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') hex += c;
  }
  const bool tooLong = pdu_.size() > kMaxPdu;
  pdu_.clear();

  PduLine line = SplitPduLine(hex);
  std::string error = line.error;
  if (tooLong) {
    error = "PDU longer than " + std::to_string(kMaxPdu / 2) + " octets";
  } else if (line.ok && line.tpdu.size() != 2 * static_cast<std::size_t>(pduLength_)) {
    error = "TPDU has " + std::to_string(line.tpdu.size() / 2) +
            (line.tpdu.size() % 2 ? ".5" : "") + " octets, AT+" + command + " announced " +
            std::to_string(pduLength_);
  }
  SubmitResult decoded;
  if (error.empty()) {
    decoded = DecodeSubmit(line.tpdu);
    if (!decoded.ok) error = decoded.error;
  }

  // What the phone answers, and what the journal keeps as its result.
  Reply reply;
  std::string result;
  bool network = false;  // the answer waits for the network
  int reportMr = -1;     // a sent message's TP-MR
  auto refuse = [&](int code) {
    reply.final = Reply::Cms;
    reply.code = code;
    result = "+CMS ERROR: " + std::to_string(code);
  };
  const int refusal = SendRefusal(command == "CMGS");
  if (!error.empty()) {
    refuse(304);
  } else if (refusal) {
    refuse(refusal);
  } else if (command == "CMGS" && centre_.empty() && line.centre.empty()) {
    refuse(330);  // "00": the phone's own centre, and it has none
  } else if (Has(Fault::Refuse) || (Has(Fault::RefuseLater) && accepted_ >= 2)) {
    refuse(500);
  } else if (Has(Fault::RefuseThird) && accepted_ == 2 && !refusedThird_) {
    refusedThird_ = true;
    refuse(500);
  } else if (command == "CMGS") {
    network = true;
    if (Is(Personality::Transient500) && sends_++ == 0) {
      refuse(500);
    } else {
      reportMr = Is(Personality::ZeroMr) ? 0 : nextMr_;
      result = "+CMGS: " + std::to_string(reportMr);
      nextMr_ = (nextMr_ + 1) % 256;
    }
  } else {
    int index = 0;
    for (int k = 1; k <= kSmsCapacity && index == 0; ++k) {
      if (!sms_.count(k)) index = k;
    }
    if (index == 0) {
      refuse(322);
    } else {
      sms_[index] = StoredMessage{pduStat_, Upper(hex)};
      result = "+CMGW: " + std::to_string(index);
    }
  }
  if (reply.final == Reply::Ok) {
    ++accepted_;
    std::string answer = result;
    if (Has(Fault::LongLine)) {
      result += ",";
      for (int k = 0; result.size() < 40; ++k) result += static_cast<char>('0' + k % 10);
      answer = result;
    } else if (command == "CMGS" && Is(Personality::Phase2Plus)) {
      answer += ",\"" + SubmitReport() + "\"";
    }
    reply.info.push_back(answer);
  }

  JsonObject j;
  j.Str("command", command).Int("length", pduLength_);
  if (command == "CMGW") j.Int("stat", pduStat_);
  // The PDU text is hex when all is well; anything else is shown byte by byte.
  j.Str("sca", Latin1ToUtf8(line.sca)).Str("tpdu", Latin1ToUtf8(line.tpdu)).Str("result", result);
  if (error.empty()) {
    j.Raw("decoded", ToJson(decoded.pdu));
  } else {
    j.Str("error", error);
  }
  if (!line.centre.empty()) j.Str("centre", line.centre);
  if (error.empty() && reply.final == Reply::Ok) {
    const std::string whole = Concatenated(decoded.pdu);
    if (!whole.empty()) j.Raw("concatenated", whole);
  }
  if (journal) journal(j.Text());

  if (Is(Personality::Chatty)) Periodic(out);
  if (Is(Personality::Interrupting)) Send(out, MidSendIndications());
  if (network && Is(Personality::SlowNetwork)) {
    std::vector<Event> later;
    Final(reply, later);
    for (auto& e : later) {
      e.delayMs = options_.replyDelayMs;
      out.push_back(std::move(e));
    }
  } else {
    Final(reply, out);
  }
  if (reportMr >= 0 && reply.final == Reply::Ok && decoded.pdu.srr) StatusReport(line.tpdu, reportMr, out);
}

void Phone::StatusReport(const std::string& tpdu, int mr, std::vector<Event>& out) {
  const int ds = cnmi_[3];
  if (ds == 0) return;  // the phone drops what the centre sends
  // The recipient as the message named it: TP-DA's length, type and digits.
  const int digits = HexValue(tpdu[4]) * 16 + HexValue(tpdu[5]);
  const std::string ra = tpdu.substr(4, 4 + 2 * static_cast<std::size_t>((digits + 1) / 2));
  // The centre's times: now, in UTC, as swapped semi-octets.
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  auto two = [](int v) {
    const char d[3] = {static_cast<char>('0' + v % 10), static_cast<char>('0' + v / 10 % 10), 0};
    return std::string(d);
  };
  const std::string stamp = two(tm.tm_year % 100) + two(tm.tm_mon + 1) + two(tm.tm_mday) + two(tm.tm_hour) +
                            two(tm.tm_min) + two(tm.tm_sec) + "00";
  const char hex[] = "0123456789ABCDEF";
  const int st = options_.reportStatus & 0xFF;
  const std::string report =
      std::string("06") + hex[mr >> 4] + hex[mr & 15] + ra + stamp + stamp + hex[st >> 4] + hex[st & 15];
  if (ds == 1) {
    Send(out, Frame("\r\n+CDS: " + std::to_string(report.size() / 2) + "\r\n00" + report + "\r\n"));
    return;
  }
  std::map<int, StoredMessage>& memory = Is(Personality::Reports) ? sr_ : sms_;
  int index = 0;
  for (int k = 1; k <= kSmsCapacity && index == 0; ++k)
    if (!memory.count(k)) index = k;
  if (index == 0) return;  // full: the report is lost, as on a real phone
  memory[index] = StoredMessage{1, "00" + report};
  Send(out, Frame(std::string("\r\n+CDSI: \"") + (Is(Personality::Reports) ? "SR" : "SM") + "\"," +
                  std::to_string(index) + "\r\n"));
}

}  // namespace phonesim

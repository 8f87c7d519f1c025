// Meanings of the common "+CMS ERROR" and "+CME ERROR" codes.
#include "phone/ReplyMeaning.h"

#include <algorithm>
#include <iterator>

namespace mp {

namespace {

struct Code {
  int code;
  const char* meaning;
};

// +CMS ERROR: 0..127 are the network's RP causes, 128..255 the TP failure
// causes of the service centre or the phone, 300 and up the phone's own.
constexpr Code kCms[] = {
    {1, "unassigned number"},
    {8, "operator determined barring"},
    {10, "call barred"},
    {17, "network failure"},
    {21, "short message transfer rejected"},
    {22, "memory capacity exceeded"},
    {27, "destination out of service"},
    {28, "unidentified subscriber"},
    {29, "facility rejected"},
    {30, "unknown subscriber"},
    {38, "network out of order"},
    {41, "temporary failure"},
    {42, "congestion"},
    {47, "resources unavailable"},
    {50, "requested facility not subscribed"},
    {69, "requested facility not implemented"},
    {81, "invalid short message transfer reference value"},
    {95, "invalid message"},
    {96, "invalid mandatory information"},
    {97, "message type non-existent or not implemented"},
    {98, "message not compatible with short message protocol state"},
    {99, "information element non-existent or not implemented"},
    {111, "protocol error"},
    {127, "interworking error"},
    {128, "telematic interworking not supported"},
    {129, "short message type 0 not supported"},
    {130, "cannot replace short message"},
    {143, "unspecified TP-PID error"},
    {144, "data coding scheme (alphabet) not supported"},
    {145, "message class not supported"},
    {159, "unspecified TP-DCS error"},
    {160, "command cannot be actioned"},
    {161, "command unsupported"},
    {175, "unspecified TP-Command error"},
    {176, "TPDU not supported"},
    {192, "SC busy"},
    {193, "no SC subscription"},
    {194, "SC system failure"},
    {195, "invalid SME address"},
    {196, "destination SME barred"},
    {197, "SM rejected, duplicate SM"},
    {198, "TP-VPF not supported"},
    {199, "TP-VP not supported"},
    {208, "SIM SMS storage full"},
    {209, "no SMS storage capability in SIM"},
    {210, "error in MS"},
    {211, "memory capacity exceeded"},
    {212, "SIM application toolkit busy"},
    {213, "SIM data download error"},
    {255, "unspecified error cause"},
    {300, "ME failure"},
    {301, "SMS service of ME reserved"},
    {302, "operation not allowed"},
    {303, "operation not supported"},
    {304, "invalid PDU mode parameter"},
    {305, "invalid text mode parameter"},
    {310, "SIM not inserted"},
    {311, "SIM PIN required"},
    {312, "PH-SIM PIN required"},
    {313, "SIM failure"},
    {314, "SIM busy"},
    {315, "SIM wrong"},
    {316, "SIM PUK required"},
    {317, "SIM PIN2 required"},
    {318, "SIM PUK2 required"},
    {320, "memory failure"},
    {321, "invalid memory index"},
    {322, "memory full"},
    {330, "SMSC address unknown"},
    {331, "no network service"},
    {332, "network timeout"},
    {340, "no +CNMA acknowledgement expected"},
    {500, "unknown error"},
};

constexpr Code kCme[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone adaptor link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed, emergency calls only"},
    {40, "network personalisation PIN required"},
    {41, "network personalisation PUK required"},
    {42, "network subset personalisation PIN required"},
    {43, "network subset personalisation PUK required"},
    {44, "service provider personalisation PIN required"},
    {45, "service provider personalisation PUK required"},
    {46, "corporate personalisation PIN required"},
    {47, "corporate personalisation PUK required"},
    {48, "hidden key required"},
    {49, "EAP method not supported"},
    {50, "incorrect parameters"},
    {51, "command implemented but currently disabled"},
    {52, "command aborted by user"},
    {53, "not attached to network due to MT functionality restrictions"},
    {54, "modem not allowed, MT restricted to emergency calls only"},
    {55, "operation not allowed because of MT functionality restrictions"},
    {56, "fixed dial number only allowed"},
    {57, "temporarily out of service due to other MT usage"},
    {58, "language/alphabet not supported"},
    {59, "unexpected data value"},
    {60, "system failure"},
    {61, "data missing"},
    {62, "call barred"},
    {63, "message waiting indication subscription failure"},
    {100, "unknown error"},
    {103, "illegal MS"},
    {106, "illegal ME"},
    {107, "GPRS services not allowed"},
    {108, "GPRS services and non-GPRS services not allowed"},
    {111, "PLMN not allowed"},
    {112, "location area not allowed"},
    {113, "roaming not allowed in this location area"},
    {114, "GPRS services not allowed in this PLMN"},
    {115, "no suitable cells in location area"},
    {122, "congestion"},
    {125, "insufficient resources"},
    {126, "missing or unknown APN"},
    {127, "unknown PDP address or PDP type"},
    {128, "user authentication failed"},
    {129, "activation rejected by GGSN, Serving GW or PDN GW"},
    {130, "activation rejected, unspecified"},
    {131, "service option not supported"},
    {132, "requested service option not subscribed"},
    {133, "service option temporarily out of order"},
    {134, "NSAPI already used"},
    {148, "unspecified GPRS error"},
    {149, "PDP authentication failure"},
    {150, "invalid mobile class"},
};

template <size_t N>
const char* Find(const Code (&table)[N], int code) {
  auto it = std::lower_bound(std::begin(table), std::end(table), code,
                             [](const Code& c, int v) { return c.code < v; });
  return it != std::end(table) && it->code == code ? it->meaning : nullptr;
}

}  // namespace

std::string ReplyMeaning(std::string_view line) {
  size_t at = line.find("+CMS ERROR:");
  const bool cms = at != std::string_view::npos;
  if (!cms) at = line.find("+CME ERROR:");
  if (at == std::string_view::npos) return {};
  size_t i = at + 11;
  while (i < line.size() && line[i] == ' ') ++i;
  int code = 0;
  size_t digits = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 4; ++i, ++digits)
    code = code * 10 + (line[i] - '0');
  // A code the phone spelled out ("+CME ERROR: invalid index") needs no help.
  if (digits == 0 || (i < line.size() && line[i] != ' ')) return {};
  const char* meaning = cms ? Find(kCms, code) : Find(kCme, code);
  return meaning ? meaning : std::string();
}

std::string WithMeaning(std::string_view line) {
  std::string text(line);
  const std::string meaning = ReplyMeaning(line);
  if (!meaning.empty()) text += " (" + meaning + ")";
  return text;
}

}  // namespace mp

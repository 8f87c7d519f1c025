// The simulated phone joins the parts of a long text as a receiving phone
// does: by recipient and reference, in any order, and says the whole text
// once, when its last missing part arrives.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "Phone.h"
#include "builders/LongText.h"
#include "builders/Submit.h"

namespace {

struct Sent {
  std::vector<std::string> journal;
  phonesim::Phone phone{[] {
    phonesim::PhoneOptions o;
    o.echo = false;
    return o;
  }()};
  Sent() {
    phone.journal = [this](const std::string& line) { journal.push_back(line); };
  }
  void Send(const std::string& tpdu) {
    std::vector<phonesim::Event> ev;
    phone.Receive("AT+CMGS=" + std::to_string(tpdu.size() / 2) + "\r", ev);
    phone.Receive("00" + tpdu + "\x1A", ev);
  }
  QJsonObject Whole(std::size_t i) const {
    return QJsonDocument::fromJson(QByteArray::fromStdString(journal.at(i))).object()["concatenated"].toObject();
  }
};

std::vector<std::string> Parts(const std::u32string& text, int reference, const char* da) {
  std::vector<mp::TextChar> chars;
  for (char32_t cp : text) chars.push_back({cp, false});
  const mp::LongText t = mp::BuildLongText(mp::TypeNormal, chars, mp::TextCoding::Auto, 10, reference);
  std::vector<std::string> out;
  mp::TransferSettings s;
  s.DestAddress = da;
  for (const auto& p : t.parts) out.push_back(mp::SubmitTpdu(s, p.body.header, p.body.hex));
  return out;
}

TEST(LongTextJournal, PartsJoinedByRecipientAndReferenceInAnyOrder) {
  Sent sim;
  const std::u32string a = std::u32string(150, U'Ж') + U"\U0001F600", b(200, U'x');
  const auto pa = Parts(a, 7, "05912143F5");  // 3 parts
  const auto pb = Parts(b, 7, "0691214365");  // the same reference, another recipient: 2 parts
  ASSERT_EQ(pa.size(), 3u);
  ASSERT_EQ(pb.size(), 2u);
  for (const std::string& tpdu : {pa[2], pb[0], pa[0], pb[1], pa[1]}) sim.Send(tpdu);
  ASSERT_EQ(sim.journal.size(), 5u);
  for (std::size_t i : {0u, 1u, 2u}) EXPECT_TRUE(sim.Whole(i).isEmpty()) << i;
  EXPECT_EQ(sim.Whole(3)["parts"].toInt(), 2);
  EXPECT_EQ(sim.Whole(3)["text"].toString().toStdU32String(), b);
  EXPECT_EQ(sim.Whole(4)["parts"].toInt(), 3);
  EXPECT_EQ(sim.Whole(4)["reference"].toInt(), 7);
  EXPECT_EQ(sim.Whole(4)["text"].toString().toStdU32String(), a);
  // Said once: the same parts again start a new text.
  sim.Send(pa[0]);
  EXPECT_TRUE(sim.Whole(5).isEmpty());
}

}  // namespace

#include "platform/Settings.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using mp::SettingsKey;
using namespace std::string_literals;

namespace {

constexpr const char* kHead =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]\n";

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "mp-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = (dir_ / "Corvistan" / "MIRAPOST.reg").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_ / "Corvistan", fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  void Put(const std::string& text) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary) << text;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::string Get() const { return Get(path_); }
  std::size_t FilesInFolder() const {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(fs::path(path_).parent_path())) ++n;
    return n;
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(SettingsTest, WritesTheRegistryExportLayout) {
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(true));  // creates the folder
    key.WriteInteger("ComPort", 4);
    key.WriteString("FontName", "System");
    key.WriteInteger("Model", -1);
    key.WriteString("Operator0", "A \"quoted\" C:\\path\\");
    EXPECT_TRUE(key.Close());
  }
  EXPECT_EQ(Get(), std::string(kHead) +
                       "\"ComPort\"=dword:00000004\n"
                       "\"FontName\"=\"System\"\n"
                       "\"Model\"=dword:ffffffff\n"
                       "\"Operator0\"=\"A \\\"quoted\\\" C:\\\\path\\\\\"\n"
                       "\n");
  struct stat st;
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsTest, ValuesRoundTrip) {
  const std::string strings[] = {
      "", "System", "a\"b", "C:\\dir\\", "\\\"", "\\", "\\n is not a line feed", "line\nfeed\r",
      std::string("nul\0inside", 10), "\x80\x81\x9d\xff", "\xe2\x82\xac uro", "  spaced  ", "=\"[x]\"="};
  const std::int32_t integers[] = {0, 1, -1, 2147483647, -2147483647 - 1, 0x12345678, 255};
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(true));
    for (std::size_t i = 0; i < std::size(strings); ++i) key.WriteString("S" + std::to_string(i), strings[i]);
    for (std::size_t i = 0; i < std::size(integers); ++i) key.WriteInteger("I" + std::to_string(i), integers[i]);
    key.WriteString("Name \"with\\ quotes", "v");
    ASSERT_TRUE(key.Close());
  }
  SettingsKey key(path_);
  ASSERT_TRUE(key.Open(false));
  for (std::size_t i = 0; i < std::size(strings); ++i)
    EXPECT_EQ(key.ReadString("S" + std::to_string(i)), strings[i]) << i;
  for (std::size_t i = 0; i < std::size(integers); ++i)
    EXPECT_EQ(key.ReadInteger("I" + std::to_string(i)), integers[i]) << i;
  EXPECT_EQ(key.ReadString("name \"WITH\\ quotes"), "v");
}

TEST_F(SettingsTest, ValuesAreReadOnlyWithTheirType) {
  Put(std::string(kHead) +
      "\"ComPort\"=\"4\"\n"
      "\"FontSize\"=dword:0000000c\n"
      "\"Bin\"=hex:01,02\n"
      "\"Exp\"=hex(2):25,00,00,00\n"
      "\"Neg\"=dword:FFFFFFFF\n");
  SettingsKey key(path_);
  ASSERT_TRUE(key.Open(false));
  EXPECT_EQ(key.ReadInteger("ComPort"), std::nullopt);
  EXPECT_EQ(key.ReadString("ComPort"), "4");
  EXPECT_EQ(key.ReadString("FontSize"), std::nullopt);
  EXPECT_EQ(key.ReadInteger("FontSize"), 12);
  EXPECT_EQ(key.ReadInteger("Neg"), -1);
  for (const char* name : {"Bin", "Exp"}) {
    EXPECT_TRUE(key.Exists(name)) << name;
    EXPECT_EQ(key.ReadString(name), std::nullopt) << name;
    EXPECT_EQ(key.ReadInteger(name), std::nullopt) << name;
  }
  EXPECT_FALSE(key.Exists("Missing"));
  EXPECT_EQ(key.ReadString("Missing"), std::nullopt);
}

TEST_F(SettingsTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  Put(std::string(kHead) + "\"ComPort\"=dword:00000001\n\"model\"=\"x\"\n");
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(false));
    EXPECT_EQ(key.ReadInteger("COMPORT"), 1);
    EXPECT_EQ(key.ReadInteger("comport"), 1);
    key.WriteInteger("COMPORT", 5);
    key.WriteInteger("Model", 1);  // replaces the text value of "model"
    EXPECT_EQ(key.ReadInteger("ComPort"), 5);
    ASSERT_TRUE(key.Close());
  }
  EXPECT_EQ(Get(), std::string(kHead) + "\"ComPort\"=dword:00000005\n\"model\"=dword:00000001\n\n");
}

TEST_F(SettingsTest, MissingStore) {
  SettingsKey key(path_);
  EXPECT_FALSE(key.Open(false));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.ReadInteger("ComPort"), std::nullopt);
  key.WriteInteger("ComPort", 3);  // ignored: not open
  EXPECT_TRUE(key.Close());
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_FALSE(fs::exists(fs::path(path_).parent_path()));

  // Opening with create makes the key even when nothing is written.
  ASSERT_TRUE(key.Open(true));
  EXPECT_EQ(key.ReadInteger("ComPort"), std::nullopt);
  ASSERT_TRUE(key.Close());
  EXPECT_EQ(Get(), std::string(kHead) + "\n");
  EXPECT_TRUE(key.Open(false));
}

TEST_F(SettingsTest, OtherKeysAndValuesAreKeptUnchanged) {
  const std::string before =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; exported by hand\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\n"
      "\"A\"=\"1\"\n"
      "\n";
  const std::string after =
      "[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST\\Sub]\n"
      "\"B\"=hex:00,\\\n"
      "  01\n"
      "\n"
      "[-HKEY_CURRENT_USER\\Software\\Gone]\n";
  // Without the key's section: not found, and the key is added at the end.
  Put(before + after);
  SettingsKey key(path_);
  EXPECT_FALSE(key.Open(false));
  ASSERT_TRUE(key.Open(true));
  key.WriteInteger("ComPort", 2);
  ASSERT_TRUE(key.Close());
  EXPECT_EQ(Get(), before + after + "\n[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]\n" +
                       "\"ComPort\"=dword:00000002\n\n");

  // With the section in the middle: values of other types, comments and the
  // default value stay where they were.
  const std::string ours =
      "[hkey_current_user\\software\\corvistan\\mirapost]\n"
      "\"Bin\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
      "  16,17\n"
      "; a comment\n"
      "@=\"default\"\n"
      "\"ComPort\"=dword:00000001\n"
      "\"Multi\"=hex(7):41,00,00,00,00,00\n"
      "\n";
  Put(before + ours + after);
  ASSERT_TRUE(key.Open(false));
  EXPECT_EQ(key.ReadInteger("ComPort"), 1);
  key.WriteInteger("ComPort", 9);
  key.WriteString("New", "n");
  ASSERT_TRUE(key.Close());
  std::string expected = before + ours + after;
  expected.replace(expected.find("[hkey_current_user\\software\\corvistan\\mirapost]"),
                   std::string_view("[hkey_current_user\\software\\corvistan\\mirapost]").size(),
                   "[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]");
  expected.replace(expected.find("dword:00000001"), 14, "dword:00000009");
  expected.insert(expected.find("\n\n[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST\\Sub]") + 1,
                  "\"New\"=\"n\"\n");
  EXPECT_EQ(Get(), expected);
}

TEST_F(SettingsTest, UnreadableStoreIsMovedAsideNotOverwritten) {
  const std::string big_store = std::string(kHead) + "\"ComPort\"=dword:00000001\n" +
                                std::string(SettingsKey::kMaxFileSize, ';') + "\n";
  const std::string cases[] = {
      "",                                               // empty file
      "garbage\n" + std::string(kHead),                 // no header line
      std::string(kHead).substr(1),                     // damaged header
      std::string("\0\0\0\0", 4),                       // binary
      big_store,                                        // too big
  };
  for (const std::string& content : cases) {
    SCOPED_TRACE(content.substr(0, 40));
    fs::remove(path_ + ".bad");
    Put(content);
    SettingsKey key(path_);
    EXPECT_FALSE(key.Open(false));
    EXPECT_EQ(Get(), content);
    ASSERT_TRUE(key.Open(true));
    EXPECT_EQ(key.ReadInteger("ComPort"), std::nullopt);
    key.WriteInteger("ComPort", 7);
    ASSERT_TRUE(key.Close());
    EXPECT_EQ(Get(path_ + ".bad"), content);
    ASSERT_TRUE(key.Open(false));
    EXPECT_EQ(key.ReadInteger("ComPort"), 7);
  }
}

TEST_F(SettingsTest, FileWithoutReadPermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string content = std::string(kHead) + "\"ComPort\"=dword:00000001\n";
  Put(content);
  fs::permissions(path_, fs::perms::none);
  SettingsKey key(path_);
  EXPECT_FALSE(key.Open(false));
  ASSERT_TRUE(key.Open(true));
  key.WriteInteger("ComPort", 2);
  ASSERT_TRUE(key.Close());
  fs::permissions(path_ + ".bad", fs::perms::owner_read);
  EXPECT_EQ(Get(path_ + ".bad"), content);
}

TEST_F(SettingsTest, PathThatIsNotAFileIsLeftAlone) {
  fs::create_directories(path_ + "/inside");
  SettingsKey key(path_);
  EXPECT_FALSE(key.Open(false));
  EXPECT_FALSE(key.Open(true));
  fs::remove_all(path_);

  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);  // must not wait for a writer
  EXPECT_FALSE(key.Open(false));
  EXPECT_FALSE(key.Open(true));
  fs::remove(path_);

  // The folder is a file: the key cannot be created.
  SettingsKey under_file(path_ + "/MIRAPOST.reg");
  Put("x");
  EXPECT_FALSE(under_file.Open(true));

  // Replaced by a folder between Open and Close: nothing is written.
  fs::remove(path_);
  ASSERT_TRUE(key.Open(true));
  key.WriteInteger("ComPort", 1);
  fs::create_directories(path_ + "/inside");
  EXPECT_FALSE(key.Close());
  EXPECT_TRUE(fs::is_directory(path_ + "/inside"));
}

// Content of the key's section that is not well-formed: it never crashes or
// hangs, the good values around it are read, and a rewrite keeps them.
TEST_F(SettingsTest, MalformedLinesAreSkipped) {
  struct Case {
    std::string body;
    std::optional<std::int32_t> com_port;  // "ComPort" as read
  };
  const std::string ok = "\"ComPort\"=dword:00000004\n";
  const Case cases[] = {
      {"\"ComPort\"=dword:\n", std::nullopt},
      {"\"ComPort\"=dword:123456789\n", std::nullopt},
      {"\"ComPort\"=dword:0000000g\n", std::nullopt},
      {"\"ComPort\"=dword:-1\n", std::nullopt},
      {"\"ComPort\"=dword:00000004 junk\n", std::nullopt},
      {"\"ComPort\"=\"unterminated\n" + ok, 4},
      {"\"ComPort\"=\"a\"b\"\n", std::nullopt},
      {"\"ComPort=dword:00000001\n" + ok, 4},
      {"ComPort=dword:00000001\n" + ok, 4},
      {"\"ComPort\" dword:00000001\n" + ok, 4},
      {"\"ComPort\"\n" + ok, 4},
      {"\"\n\"\"\n\\\n=\n\"\"=\n" + ok, 4},
      {"  \"ComPort\" = dword:4  \r\n", 4},
      {"\"ComPort\"=dword:00000001\n\"COMPORT\"=dword:00000002\n", 2},
      {"\"Bin\"=hex:01,\\\n", std::nullopt},
      {"\"Bin\"=hex:01,\\\n\\\n\\\n" + ok, std::nullopt},  // continuation swallows it
      {"@=\"x\\\"\n" + ok, 4},
      {"\"Com\0Port\"=dword:00000001\n"s + ok, 4},
      {"\"ComPort\"=\"\0\"\n"s, std::nullopt},
      {"[\n" + ok, std::nullopt},  // a broken section header ends the key
      {"]\n[]\n[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST\n" + ok, std::nullopt},
      {"\r\r\r\n\t\n" + ok, 4},
      {std::string(300000, 'a') + "\n" + ok, 4},
      {"\"" + std::string(300000, '\\') + "\n" + ok, 4},
      {"\"ComPort\"=\"" + std::string(300000, '"') + "\n" + ok, 4},
      {"\xff\xfe\x00\n\x80\x81\n"s + ok, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.body.substr(0, 60)));
    Put(std::string(kHead) + c.body);
    {
      SettingsKey key(path_);
      ASSERT_TRUE(key.Open(false));
      EXPECT_EQ(key.ReadInteger("ComPort"), c.com_port);
      key.WriteString("Added", "yes");
      ASSERT_TRUE(key.Close());
    }
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(false));
    EXPECT_EQ(key.ReadInteger("ComPort"), c.com_port);
    EXPECT_EQ(key.ReadString("Added"), "yes");
  }
}

TEST_F(SettingsTest, ReadsRegeditExports) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]\r\n"
      "\"FontName\"=\"Syst\xc3\xa9m\"\r\n"
      "\"ComPort\"=dword:00000003\r\n\r\n";
  // UTF-16LE with a byte order mark, as regedit writes it.
  std::string utf16 = "\xff\xfe";
  const std::u16string wide = u"Windows Registry Editor Version 5.00\r\n\r\n"
                              u"[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]\r\n"
                              u"\"FontName\"=\"Syst\u00e9m\"\r\n"
                              u"\"ComPort\"=dword:00000003\r\n\r\n";
  for (char16_t c : wide) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  const std::string regedit4 =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvistan\\MIRAPOST]\n"
      "\"FontName\"=\"Syst\xc3\xa9m\"\n\"ComPort\"=dword:3\n";
  for (const std::string& content : {utf16, "\xef\xbb\xbf" + text, regedit4, text}) {
    Put(content);
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(false));
    EXPECT_EQ(key.ReadString("FontName"), "Syst\xc3\xa9m");
    EXPECT_EQ(key.ReadInteger("ComPort"), 3);
    key.WriteInteger("ComPort", 3);
    ASSERT_TRUE(key.Close());
  }
  // A file with CRLF line ends is rewritten with CRLF, unchanged here.
  EXPECT_EQ(Get(), text);
}

TEST_F(SettingsTest, KeysOpenedInTurnKeepEachOthersValues) {
  // The four windows read at creation and write at destruction, each with
  // its own accessor; a later window must not lose the earlier ones' values.
  SettingsKey main_win(path_), send_win(path_), coding_win(path_);
  ASSERT_TRUE(main_win.Open(true));
  main_win.WriteInteger("ComPort", 4);
  ASSERT_TRUE(main_win.Close());
  ASSERT_TRUE(send_win.Open(true));
  send_win.WriteString("Centre0", "+123");
  ASSERT_TRUE(send_win.Close());

  // Even open at the same time: each Close applies its writes to the file.
  ASSERT_TRUE(main_win.Open(true));
  ASSERT_TRUE(coding_win.Open(true));
  main_win.WriteInteger("ComPort", 5);
  coding_win.WriteInteger("Model", -1);
  ASSERT_TRUE(main_win.Close());
  ASSERT_TRUE(coding_win.Close());

  SettingsKey key(path_);
  ASSERT_TRUE(key.Open(false));
  EXPECT_EQ(key.ReadInteger("ComPort"), 5);
  EXPECT_EQ(key.ReadString("Centre0"), "+123");
  EXPECT_EQ(key.ReadInteger("Model"), -1);
}

TEST_F(SettingsTest, DestructorSavesAndUnchangedStoreIsNotRewritten) {
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(true));
    key.WriteInteger("FontSize", 12);
  }
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  struct stat before, after;
  ASSERT_EQ(::stat(path_.c_str(), &before), 0);
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(false));
    EXPECT_EQ(key.ReadInteger("FontSize"), 12);
    key.WriteInteger("fontsize", 12);  // same value
  }
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(false));
    key.WriteInteger("FontSize", 10);
  }
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ(after.st_mode & 0777, 0640u);  // the old file's mode is kept
}

TEST_F(SettingsTest, FailedWriteLeavesTheOldStore) {
  const std::string content = std::string(kHead) + "\"ComPort\"=dword:00000001\n\n";
  Put(content);
  SettingsKey key(path_);
  ASSERT_TRUE(key.Open(false));
  key.WriteString("Long", std::string(4096, 'x'));

  // A file size limit makes the write of the temporary file fail (works for
  // root too, unlike a read-only folder).
  rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool closed = key.Close();
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(closed);
  EXPECT_EQ(Get(), content);
  EXPECT_EQ(FilesInFolder(), 1u);  // no temporary file left behind
}

TEST_F(SettingsTest, ReadOnlyFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const std::string content = std::string(kHead) + "\"ComPort\"=dword:00000001\n\n";
  Put(content);
  fs::permissions(fs::path(path_).parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  SettingsKey key(path_);
  ASSERT_TRUE(key.Open(true));
  key.WriteInteger("ComPort", 2);
  EXPECT_FALSE(key.Close());
  EXPECT_EQ(Get(), content);
}

TEST_F(SettingsTest, LargeStoreIsReadInLinearTime) {
  std::string content = kHead;
  int n = 0;
  while (content.size() < SettingsKey::kMaxFileSize - 40)
    content += "\"V" + std::to_string(n++) + "\"=dword:00000001\n";
  Put(content);
  SettingsKey key(path_);
  ASSERT_TRUE(key.Open(false));
  EXPECT_EQ(key.ReadInteger("v" + std::to_string(n - 1)), 1);
  key.WriteInteger("V0", 2);
  ASSERT_TRUE(key.Close());
  ASSERT_TRUE(key.Open(false));
  EXPECT_EQ(key.ReadInteger("V0"), 2);
}

TEST(SettingsPath, FollowsXdgConfigHome) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string saved_xdg = xdg ? xdg : "", saved_home = home ? home : "";
  ::setenv("HOME", "/home/u", 1);
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(SettingsKey::DefaultPath(), "/cfg/Corvistan/MIRAPOST.reg");
  ::setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(SettingsKey::DefaultPath(), "/home/u/.config/Corvistan/MIRAPOST.reg");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // ignored, as the base directory rules say
  EXPECT_EQ(SettingsKey::DefaultPath(), "/home/u/.config/Corvistan/MIRAPOST.reg");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsKey::DefaultPath(), "/home/u/.config/Corvistan/MIRAPOST.reg");
  xdg ? ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  home ? ::setenv("HOME", saved_home.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace

namespace {

// A store that is a symbolic link is written through to its target; a
// read-only store is left alone with its notice; temporary files left by a
// crash go, those of a save in progress stay.
TEST_F(SettingsTest, LinkedReadOnlyAndLeftoverFiles) {
  Put(std::string(kHead) + "\"ComPort\"=dword:00000001\n");
  const std::string target = (dir_ / "real.reg").string();
  fs::rename(path_, target);
  fs::create_symlink(target, path_);
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(true));
    key.WriteInteger("ComPort", 7);
    EXPECT_TRUE(key.Close());
  }
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_NE(Get(target).find("\"ComPort\"=dword:00000007"), std::string::npos);

  // Read-only (for the mode bits, so also for root): untouched, Close false.
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
  const std::string before = Get(target);
  EXPECT_EQ(SettingsKey::ReadOnlyNotice(path_), "Settings were not saved: " + path_ + " is read-only.");
  EXPECT_EQ(SettingsKey::ReadOnlyWarning(path_), "Settings will not be saved: " + path_ + " is read-only.");
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(true));
    key.WriteInteger("ComPort", 3);
    EXPECT_FALSE(key.Close());
  }
  EXPECT_EQ(Get(target), before);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(SettingsKey::ReadOnlyNotice(path_), "");
  EXPECT_EQ(SettingsKey::ReadOnlyWarning(path_), "");

  // Leftovers: an old temporary goes; a young one, the .bad copy and other names stay.
  fs::remove(path_);
  const fs::path folder = fs::path(path_).parent_path();
  for (const char* name : {"MIRAPOST.reg.Ab12Cd", "MIRAPOST.reg.young1", "MIRAPOST.reg.bad", "MIRAPOST.reg.x"})
    std::ofstream(folder / name) << "x";
  fs::last_write_time(folder / "MIRAPOST.reg.Ab12Cd", fs::file_time_type::clock::now() - std::chrono::hours(1));
  {
    SettingsKey key(path_);
    ASSERT_TRUE(key.Open(true));
    key.WriteInteger("ComPort", 2);
    EXPECT_TRUE(key.Close());
  }
  EXPECT_FALSE(fs::exists(folder / "MIRAPOST.reg.Ab12Cd"));
  for (const char* name : {"MIRAPOST.reg.young1", "MIRAPOST.reg.bad", "MIRAPOST.reg.x", "MIRAPOST.reg"})
    EXPECT_TRUE(fs::exists(folder / name)) << name;
}

}  // namespace

// An unchanged store is opened and read once however often a key is opened;
// whatever another program does to it afterwards is read again, even when
// size and modification time stay the same, and even at once.
TEST_F(SettingsTest, UnchangedStoreIsOpenedOnceAndEveryChangeIsRead) {
  auto store = [](int value) { return std::string(kHead) + "\"ComPort\"=dword:0000000" + std::to_string(value) + "\n"; };
  auto sameTimes = [this](const struct stat& before) {
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
  };
  struct Case {
    const char* name;
    std::function<void(const struct stat&)> change;
    int expected;
  };
  const std::vector<Case> cases = {
      {"rewritten in place, same size and time", [&](const struct stat& st) { Put(store(5)); sameTimes(st); }, 5},
      {"replaced by another file, same size and time",
       [&](const struct stat& st) {
         const std::string other = path_ + ".new";
         std::ofstream(other, std::ios::binary) << store(6);
         fs::rename(other, path_);
         sameTimes(st);
       },
       6},
  };
  for (const Case& c : cases) {
    Put(store(4));
    // A version younger than the file times' grain is never kept: let it age.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    auto read = [this] {
      SettingsKey key(path_);
      EXPECT_TRUE(key.Open(false));
      return key.ReadInteger("ComPort").value_or(-1);
    };
    const int before = SettingsKey::FileReads();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(read(), 4) << c.name;
    EXPECT_EQ(SettingsKey::FileReads() - before, 1) << c.name;
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    c.change(st);
    EXPECT_EQ(read(), c.expected) << c.name;
    EXPECT_EQ(SettingsKey::FileReads() - before, 2) << c.name;
  }
}

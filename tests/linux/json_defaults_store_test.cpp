// The JSON defaults store on real files.
#include "linux/json_defaults_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config.h"
#include "linux/temp_dir.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::TempDir;

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(JsonDefaultsStore, ValuesKeepTheirTypesAcrossReopening) {
  TempDir dir;
  const std::string path = dir.file("nested/folder/com.example.json");
  sim::RecordingLog log;
  {
    JsonDefaultsStore store(path, log);
    EXPECT_FALSE(store.object("enabled"));
    store.setBool("enabled", false);
    store.setUnsigned("modifierFlags", 0xFFFFFFFFFFFFFFFF);
    store.setUnsigned("zero", 0);
    store.setBool("gone", true);
    store.remove("gone");
  }
  EXPECT_EQ(readText(path), "{\"enabled\":false,\"modifierFlags\":18446744073709551615,\"zero\":0}\n") << "compact";
  EXPECT_EQ(JsonDefaultsStore(path, log).object("modifierFlags"), PropertyValue(std::uint64_t{0xFFFFFFFFFFFFFFFF}));
  EXPECT_TRUE(log.lines.empty());
  // No temporary files are left behind.
  EXPECT_THAT(filesIn(dir.file("nested/folder")), ElementsAre("com.example.json"));
}

// What Config makes of each type is tested on the simulated store.
TEST(JsonDefaultsStore, HandWrittenValuesKeepTheirJsonTypes) {
  TempDir dir;
  const std::string path = dir.file("prefs.json");
  // With the object, 64 levels: the most that is read.
  writeText(path, R"({"enabled": "NO", "modifierFlags": true, "hide": 1, "neg": -3, "real": 2.5, "other": )" +
                      std::string(63, '[') + std::string(63, ']') + "}");
  sim::RecordingLog log;
  JsonDefaultsStore store(path, log);
  EXPECT_EQ(store.object("enabled"), PropertyValue(std::string("NO")));
  EXPECT_EQ(store.object("modifierFlags"), PropertyValue(true));
  EXPECT_EQ(store.object("hide"), PropertyValue(std::uint64_t{1}));
  EXPECT_EQ(store.object("other"), PropertyValue(std::monostate{}));
  EXPECT_EQ(store.object("neg"), PropertyValue(std::int64_t{-3}));
  EXPECT_EQ(store.object("real"), PropertyValue(2.5));
  EXPECT_TRUE(log.lines.empty());
}

TEST(JsonDefaultsStore, UnknownKeysOfTheFileSurviveAWrite) {
  TempDir dir;
  const std::string path = dir.file("prefs.json");
  writeText(path, R"({"SUEnableAutomaticChecks": true, "note": "kept"})");
  sim::RecordingLog log;
  JsonDefaultsStore store(path, log);
  store.setBool("enabled", true);
  JsonDefaultsStore reopened(path, log);
  EXPECT_EQ(reopened.object("note"), PropertyValue(std::string("kept")));
  EXPECT_EQ(reopened.object("SUEnableAutomaticChecks"), PropertyValue(true));
}

TEST(JsonDefaultsStore, UnreadableFileIsMovedAsideNotOverwritten) {
  alarm(60);  // a FIFO that blocked the start would hang the test instead
  const std::string fifo = "<a FIFO>";
  auto nested = [](int depth) { return "{\"x\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}"; };
  const std::pair<std::string, std::string> cases[] = {
      {"{\"enabled\": fals", "not valid JSON"},
      {"[true]", "not a JSON object"},
      {nested(65), "nested deeper than 64 levels"},
      {nested(4000), "nested deeper than 64 levels"},    // 8 KB that once grew to 32 MB when written
      {nested(100000), "nested deeper than 64 levels"},  // 200 KB that once took 5 GB
      {"{\"x\": \"" + std::string(1 << 20, ' ') + "\"}", "larger than 1048576 bytes"},
      {fifo, "not a regular file"},
  };
  for (const auto& [broken, reason] : cases) {
    TempDir dir;
    const std::string path = dir.file("prefs.json");
    if (broken == fifo) ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    else writeText(path, broken);
    sim::RecordingLog log;
    JsonDefaultsStore store(path, log);
    Config config(store);
    EXPECT_TRUE(config.enabled());
    EXPECT_THAT(log.lines, ElementsAre(testing::AllOf(HasSubstr("Quorvelle: preferences file " + path + " could not be read"),
                                             HasSubstr(reason))));
    std::vector<std::string> files = filesIn(dir.path());
    ASSERT_THAT(files, ElementsAre(testing::StartsWith("prefs.json.unreadable-")));
    if (broken == fifo) EXPECT_EQ(fs::status(dir.file(files[0])).type(), fs::file_type::fifo);
    else EXPECT_EQ(readText(dir.file(files[0])), broken) << "the user's file is kept as it was";
    // The next write starts a fresh file beside the one moved aside.
    config.setEnabled(false);
    EXPECT_EQ(filesIn(dir.path()).size(), 2u);
    EXPECT_EQ(JsonDefaultsStore(path, log).object("enabled"), PropertyValue(false));
  }
  alarm(0);
}

TEST(JsonDefaultsStore, FailedWriteIsLoggedAndTheValueKeptInMemory) {
  sim::RecordingLog log;
  // /proc/self refuses new files even to root.
  JsonDefaultsStore store("/proc/self/quorvelle-prefs.json", log);
  Config config(store);
  config.setEnabled(false);
  config.setModifiers(0x40000);
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_THAT(log.lines[0], testing::StartsWith("Quorvelle: failed to save preferences: /proc/self"));
  EXPECT_FALSE(config.enabled());
  EXPECT_EQ(store.object("modifierFlags"), PropertyValue(std::uint64_t{0x40000}));
}

TEST(JsonDefaultsStore, PathFollowsXdgConfigHome) {
  setenv("XDG_CONFIG_HOME", "/tmp/xdg-here", 1);
  EXPECT_EQ(JsonDefaultsStore::pathForDomain("com.quorvelle.Quorvelle"), "/tmp/xdg-here/com.quorvelle.Quorvelle.json");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(JsonDefaultsStore::pathForDomain("d"), "/home/someone/.config/d.json");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(JsonDefaultsStore::pathForDomain("d"), "/home/someone/.config/d.json");
}

}  // namespace
}  // namespace quorvelle

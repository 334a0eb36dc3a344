// The JSON defaults store on real files.
#include "linux/json_defaults_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config.h"
#include "linux/temp_dir.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

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
  JsonDefaultsStore reopened(path, log);
  EXPECT_EQ(reopened.object("enabled"), PropertyValue(false));
  EXPECT_EQ(reopened.object("modifierFlags"), PropertyValue(std::uint64_t{0xFFFFFFFFFFFFFFFF}));
  EXPECT_EQ(unsignedValue(*reopened.object("zero")), 0u);
  EXPECT_FALSE(reopened.object("gone"));
  EXPECT_TRUE(log.lines.empty());
  // No temporary files are left behind.
  EXPECT_THAT(filesIn(dir.file("nested/folder")), testing::ElementsAre("com.example.json"));
}

// What Config makes of each type is tested on the simulated store.
TEST(JsonDefaultsStore, HandWrittenValuesKeepTheirJsonTypes) {
  TempDir dir;
  const std::string path = dir.file("prefs.json");
  writeText(path, R"({"enabled": "NO", "modifierFlags": true, "hide": 1, "other": [1,2], "neg": -3, "real": 2.5})");
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
  for (const std::string& broken : {std::string("{\"enabled\": fals"), std::string("[true]"), std::string("\"x\"")}) {
    TempDir dir;
    const std::string path = dir.file("prefs.json");
    writeText(path, broken);
    sim::RecordingLog log;
    JsonDefaultsStore store(path, log);
    Config config(store);
    EXPECT_TRUE(config.enabled());
    ASSERT_EQ(log.lines.size(), 1u) << broken;
    EXPECT_THAT(log.lines[0], HasSubstr("Quorvelle: preferences file " + path));
    std::vector<std::string> files = filesIn(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_THAT(files[0], testing::StartsWith("prefs.json.unreadable-"));
    EXPECT_EQ(readText(dir.file(files[0])), broken) << "the user's file is kept as it was";
    // The next write starts a fresh file beside the one moved aside.
    config.setEnabled(false);
    EXPECT_EQ(filesIn(dir.path()).size(), 2u);
    EXPECT_EQ(JsonDefaultsStore(path, log).object("enabled"), PropertyValue(false));
  }
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

// The JSON defaults store, and the file helpers under it and the other
// writers of files, on real files.
#include "linux/files/json_defaults_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "config/config.h"
#include "linux/process_util.h"
#include "linux/session/autostart_login_items.h"
#include "linux/temp_dir.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::readText;
using testing_support::TempDir;
using testing_support::writeText;

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What Config makes of each type is tested on the simulated store.
TEST(JsonDefaultsStore, ValuesKeepTheirJsonTypesAcrossReopening) {
  TempDir dir;
  const std::string path = dir.file("nested/folder/com.example.json");
  // With the object, 64 levels: the most that is read.
  writeText(path, R"({"enabled": "NO", "modifierFlags": true, "hide": 1, "neg": -3, "real": 2.5, "other": )" +
                      std::string(63, '[') + std::string(63, ']') + "}");
  sim::RecordingLog log;
  {
    JsonDefaultsStore store(path, log);
    EXPECT_EQ(store.object("enabled"), PropertyValue(std::string("NO")));
    EXPECT_EQ(store.object("modifierFlags"), PropertyValue(true));
    EXPECT_EQ(store.object("hide"), PropertyValue(std::uint64_t{1}));
    EXPECT_EQ(store.object("other"), PropertyValue(std::monostate{}));
    EXPECT_EQ(store.object("neg"), PropertyValue(std::int64_t{-3}));
    EXPECT_EQ(store.object("real"), PropertyValue(2.5));
    EXPECT_FALSE(store.object("missing"));
    fs::remove_all(dir.file("nested"));  // made again on the first write
    store.setBool("enabled", false);
    store.setUnsigned("modifierFlags", 0xFFFFFFFFFFFFFFFF);
    store.setUnsigned("zero", 0);
    for (const char* key : {"hide", "neg", "real", "other"}) store.remove(key);
  }
  EXPECT_EQ(readText(path), "{\"enabled\":false,\"modifierFlags\":18446744073709551615,\"zero\":0}\n") << "compact";
  EXPECT_EQ(JsonDefaultsStore(path, log).object("modifierFlags"), PropertyValue(std::uint64_t{0xFFFFFFFFFFFFFFFF}));
  EXPECT_TRUE(log.lines.empty());
  EXPECT_THAT(filesIn(dir.file("nested/folder")), ElementsAre("com.example.json")) << "no temporary files left";
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

// Dotfiles kept elsewhere: the file at the end of a chain of relative links
// is replaced, the links stay, a dangling link gets its file. A link loop, or
// a link to no regular file, fails the write and is left as it is.
TEST(JsonDefaultsStore, ASymbolicLinkIsWrittenThroughAndStays) {
  TempDir dir;
  fs::create_directories(dir.file("dotfiles/q"));
  const std::string path = dir.file("prefs.json"), link = dir.file("dotfiles/current.json");
  const std::string file = dir.file("dotfiles/q/prefs.json");
  fs::create_symlink("dotfiles/current.json", path);
  fs::create_symlink("q/prefs.json", link);
  writeText(file, R"({"kept": 1})");
  sim::RecordingLog log;
  JsonDefaultsStore store(path, log);
  store.setBool("enabled", false);
  EXPECT_EQ(readText(file), "{\"enabled\":false,\"kept\":1}\n") << "a key of others survives";
  EXPECT_THAT(filesIn(dir.file("dotfiles/q")), ElementsAre("prefs.json"));
  fs::remove(file);
  store.setBool("enabled", true);
  EXPECT_EQ(readText(file), "{\"enabled\":true,\"kept\":1}\n");
  ASSERT_TRUE(fs::remove(file) && mkfifo(file.c_str(), 0600) == 0);
  store.setBool("enabled", false);
  fs::remove(link);
  fs::create_symlink("current.json", link);
  store.setBool("enabled", false);
  EXPECT_THAT(log.lines, ElementsAre(HasSubstr("not a regular file"), HasSubstr("Too many levels of symbolic links")));
  EXPECT_TRUE(fs::is_symlink(path) && fs::is_symlink(link));
  EXPECT_EQ(fs::symlink_status(file).type(), fs::file_type::fifo);
}

// A write that fails part-way (the file size limit makes write() fail with
// EFBIG) leaves the old file of every writer whole, nothing beside it, and
// says so naming the file.
TEST(WriteFileAtomically, AFailedWriteLeavesEveryWritersOldFileWhole) {
  sim::RecordingLog log;
  const std::pair<std::string, std::function<bool(const std::string&, std::string*)>> writers[] = {
      {"prefs.json", [&](auto& folder, auto* error) {
         JsonDefaultsStore store(folder + "/prefs.json", log);
         store.setBool("enabled", false);  // logged, and kept in memory
         *error = log.lines.empty() ? "" : log.lines[0];
         return log.lines.empty() || store.object("enabled") != PropertyValue(false);
       }},
      {"q.desktop",
       [](auto& folder, auto* error) { return AutostartLoginItems(folder, "q", "/bin/sh", "").registerItem(error); }},
  };
  for (const auto& [name, save] : writers) {
    TempDir dir;
    writeText(dir.file(name), "{}");
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{4, saved.rlim_max};
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    std::string error;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = save(dir.path(), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written) << name << " must report the failure";
    EXPECT_THAT(error, HasSubstr(dir.file(name) + ": File too large"));
    EXPECT_EQ(readText(dir.file(name)), "{}") << name;
    EXPECT_THAT(filesIn(dir.path()), ElementsAre(name));
  }
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

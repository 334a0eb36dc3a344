#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/defaults_store.h"
#include "platform/hid_system.h"
#include "platform/log.h"
#include "platform/process_launcher.h"
#include "sim/journal.h"

namespace quorvelle::sim {

// Records every launch; a launch fails with launchError when it is set.
class RecordingProcessLauncher : public ProcessLauncher {
 public:
  struct Launch {
    std::string executable;
    std::vector<std::string> arguments;
  };

  explicit RecordingProcessLauncher(Journal* journal = nullptr) : journal_(journal) {}

  bool launchAndWait(const std::string& executable, const std::vector<std::string>& arguments,
                     std::string* error) override {
    launches.push_back({executable, arguments});
    if (journal_) journal_->push_back("run " + executable + (launchError ? " (failed)" : ""));
    if (launchError) {
      *error = *launchError;
      return false;
    }
    return true;
  }

  std::vector<Launch> launches;
  std::optional<std::string> launchError;

 private:
  Journal* journal_;
};

class SimHidSystem : public HidSystem {
 public:
  explicit SimHidSystem(Journal* journal = nullptr) : journal_(journal) {}
  void setCapsLockStateOff() override {
    ++resets;
    if (journal_) journal_->push_back("caps lock off");
  }
  int resets = 0;

 private:
  Journal* journal_;
};

class RecordingLog : public Log {
 public:
  void write(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

// Defaults in memory, with a count of writes.
class MemoryDefaultsStore : public DefaultsStore {
 public:
  std::optional<PropertyValue> object(const std::string& key) const override {
    auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  void setBool(const std::string& key, bool value) override {
    values[key] = value;
    ++writes;
  }
  void setUnsigned(const std::string& key, std::uint64_t value) override {
    values[key] = value;
    ++writes;
  }
  void remove(const std::string& key) override {
    values.erase(key);
    ++writes;
  }

  std::map<std::string, PropertyValue> values;
  int writes = 0;
};

// Bundles in memory: information lists by bundle path.
class SimBundles : public Bundles {
 public:
  std::string mainBundlePath() const override { return mainPath; }
  std::optional<InfoDictionary> infoDictionary(const std::string& bundlePath) const override {
    auto it = infos.find(bundlePath);
    if (it == infos.end()) return std::nullopt;
    return it->second;
  }

  std::string mainPath = "/opt/Quorvelle.app";
  std::map<std::string, InfoDictionary> infos;
};

}  // namespace quorvelle::sim

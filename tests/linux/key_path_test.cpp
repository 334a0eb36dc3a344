// Runs the key path's fixtures (key_path/*.t) through the pipeline and the
// core's hyper key handler, as the engine service runs them. A fixture is the
// frames the keyboards send, one per line, a blank line, and the frames the
// virtual devices must send in return:
//
//   capslock down            a key press in a frame of its own
//   msc scan 0x7001e, a down the events of one frame, comma separated
//   2: a down                from (or, below the blank line, to) keyboard 2
//   2 pointer: rel x 5       to the virtual pointer of keyboard 2
//   dropped b                events were lost; the kernel says b is down now
//   enable off | enable on   the engine turned off or on
//   modifiers shift meta     the hyper set changed
//   map a b                  the keyboard's a now types b
//   unplug | release all | tap capslock | points
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "engine/hyper_key_handler.h"
#include "linux/tap/key_pipeline.h"

namespace quorvelle {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}
std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}
std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::uint16_t keyCode(const std::string& name) {
  int code = libevdev_event_code_from_name(EV_KEY, ("KEY_" + upper(name)).c_str());
  if (code < 0) code = libevdev_event_code_from_name(EV_KEY, upper(name).c_str());
  if (code < 0) throw std::runtime_error("no key " + name);
  return static_cast<std::uint16_t>(code);
}

// "a down", "rel x 5", "msc scan 0x7001e": one event.
input_event parseEvent(const std::string& text) {
  std::istringstream words(text);
  std::string first, second, third;
  words >> first >> second >> third;
  input_event event{};
  if (second == "down" || second == "up" || second == "repeat") {
    event.type = EV_KEY;
    event.code = keyCode(first);
    event.value = second == "down" ? 1 : second == "up" ? 0 : 2;
    return event;
  }
  const int type = libevdev_event_type_from_name(("EV_" + upper(first)).c_str());
  const int code = type < 0 ? -1 : libevdev_event_code_from_name(type, (upper(first) + "_" + upper(second)).c_str());
  if (code < 0) throw std::runtime_error("no event " + text);
  event.type = static_cast<std::uint16_t>(type);
  event.code = static_cast<std::uint16_t>(code);
  event.value = static_cast<std::int32_t>(std::stol(third, nullptr, 0));
  return event;
}

std::string eventText(const input_event& event) {
  const std::string code = lower(libevdev_event_code_get_name(event.type, event.code));
  if (event.type == EV_KEY) {
    const char* values[] = {" up", " down", " repeat"};
    return (code.rfind("key_", 0) == 0 ? code.substr(4) : code) + (event.value <= 2 ? values[event.value] : " ?");
  }
  if (event.type == EV_SYN && event.code == SYN_DROPPED) return "dropped";
  const std::string type = lower(libevdev_event_type_get_name(event.type)).substr(3);
  std::ostringstream text;
  text << type << " " << code.substr(type.size() + 1) << " ";
  if (event.type == EV_MSC && event.code == MSC_SCAN) text << "0x" << std::hex;
  text << event.value;
  return text.str();
}

// Reads what was written to a virtual device, as one line per frame.
class DeviceOutput {
 public:
  DeviceOutput() {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    read_ = ends[0];
    frames = std::make_unique<OutputFrames>(ends[1]);
  }
  ~DeviceOutput() {
    ::close(read_);
    ::close(frames->fd());
  }
  void collect(const std::string& prefix, std::vector<std::string>& lines) {
    frames->flush();
    input_event events[256];
    ssize_t length;
    while ((length = ::read(read_, events, sizeof events)) > 0) {
      for (std::size_t i = 0; i < static_cast<std::size_t>(length) / sizeof(input_event); ++i) {
        if (events[i].type == EV_SYN && events[i].code == SYN_REPORT) {
          lines.push_back(prefix + frame_);
          frame_.clear();
        } else {
          frame_ += (frame_.empty() ? "" : ", ") + eventText(events[i]);
        }
      }
    }
  }
  std::unique_ptr<OutputFrames> frames;

 private:
  int read_;
  std::string frame_;
};

// The handler asks whether the hyper key is still held; the pipeline knows.
class PipelineKeys : public EventTapSystem {
 public:
  std::unique_ptr<EventTap> createTap(std::uint64_t, EventTapCallback, void*) override { return nullptr; }
  bool isKeyPhysicallyDown(std::uint16_t code) const override { return pipeline->isKeyDown(code); }
  std::uint16_t hyperKeyCode() const override { return KEY_F18; }
  KeyPipeline* pipeline = nullptr;
};

struct Keyboard {
  explicit Keyboard(int id) : keys(id) { keys.setTranslations(translations); }
  KeyboardKeys keys;
  std::vector<KeyTranslation> translations{{KEY_CAPSLOCK, KEY_F18}};
  std::unique_ptr<DeviceOutput> pointer;
  std::optional<KeyBits> downAfterLoss;
};

class KeyPathRun {
 public:
  KeyPathRun() : handler_(keys_), pipeline_(HyperKeyHandler::tapCallback, &handler_, KEY_F18, *output_.frames) {
    keys_.pipeline = &pipeline_;
    pipeline_.setEnabled(true);
  }

  // Runs one input line.
  void input(const std::string& line) {
    int id = 1;
    std::string text = line;
    if (const auto colon = line.find(':'); colon != std::string::npos) {
      id = std::stoi(line.substr(0, colon));
      text = trim(line.substr(colon + 1));
    }
    Keyboard& keyboard = this->keyboard(id);
    std::istringstream words(text);
    std::string verb;
    words >> verb;
    if (verb == "enable") {
      std::string state;
      words >> state;
      pipeline_.setEnabled(state == "on");
    } else if (verb == "modifiers") {
      const std::map<std::string, ModifierFlags> flags = {
          {"ctrl", kControlFlag}, {"alt", kOptionFlag}, {"shift", kShiftFlag}, {"meta", kCommandFlag}};
      handler_.injectedFlags = 0;
      for (std::string name; words >> name;) handler_.injectedFlags |= flags.at(name);
    } else if (verb == "map") {
      std::string from, to;
      words >> from >> to;
      keyboard.translations.push_back({keyCode(from), keyCode(to)});
      keyboard.keys.setTranslations(keyboard.translations);
    } else if (verb == "points") {
      keyboard.pointer = std::make_unique<DeviceOutput>();
      keyboard.keys.setPointer(keyboard.pointer->frames.get());
    } else if (verb == "unplug") {
      pipeline_.releaseKeyboard(keyboard.keys);
    } else if (verb == "release") {
      pipeline_.releaseAll();
    } else if (verb == "tap") {
      pipeline_.tapCapsLock();
    } else {
      read(keyboard, text);
    }
    collect();
  }

  std::vector<std::string> output;

 private:
  Keyboard& keyboard(int id) {
    auto found = keyboards_.find(id);
    if (found == keyboards_.end()) found = keyboards_.emplace(id, std::make_unique<Keyboard>(id)).first;
    return *found->second;
  }

  // One frame, as one read() from the keyboard.
  void read(Keyboard& keyboard, const std::string& text) {
    std::vector<input_event> events;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
      part = trim(part);
      if (part.rfind("dropped", 0) == 0) {
        // The kernel's SYN_DROPPED, and what it says is down once the loss ends.
        events.push_back({{}, EV_SYN, SYN_DROPPED, 0});
        KeyBits down;
        std::istringstream names(part.substr(7));
        for (std::string name; names >> name;) down.set(keyCode(name));
        keyboard.downAfterLoss = down;
      } else {
        events.push_back(parseEvent(part));
      }
    }
    events.push_back({{}, EV_SYN, SYN_REPORT, 0});
    for (std::size_t done = 0; done < events.size();) {
      done += pipeline_.process(keyboard.keys, events.data() + done, events.size() - done);
      if (keyboard.keys.resyncDue()) pipeline_.resync(keyboard.keys, keyboard.downAfterLoss);
    }
  }

  void collect() {
    output_.collect("", output);
    for (auto& [id, keyboard] : keyboards_) {
      if (keyboard->pointer) keyboard->pointer->collect(std::to_string(id) + " pointer: ", output);
    }
  }

  PipelineKeys keys_;
  HyperKeyHandler handler_;
  DeviceOutput output_;
  KeyPipeline pipeline_;
  std::map<int, std::unique_ptr<Keyboard>> keyboards_;
};

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "  " + line + "\n";
  return text;
}

TEST(KeyPath, EveryFixture) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(QUORVELLE_KEY_PATH_FIXTURES)) {
    if (entry.path().extension() == ".t") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 10u);
  for (const auto& file : files) {
    std::ifstream in(file);
    std::vector<std::string> input, expected;
    bool below = false;
    for (std::string line; std::getline(in, line);) {
      line = trim(line);
      if (!line.empty() && line[0] == '#') continue;
      if (line.empty()) {
        below = below || !input.empty();
        continue;
      }
      (below ? expected : input).push_back(line);
    }
    KeyPathRun run;
    try {
      for (const std::string& line : input) run.input(line);
    } catch (const std::exception& error) {
      ADD_FAILURE() << file.filename() << ": " << error.what();
      continue;
    }
    // Keyboard lines in order; each pointer's lines in order among themselves.
    auto ordered = [](std::vector<std::string> lines) {
      std::stable_sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        return a.find("pointer:") == std::string::npos && b.find("pointer:") != std::string::npos;
      });
      return lines;
    };
    EXPECT_EQ(ordered(run.output), ordered(expected))
        << file.filename().string() << " gave\n" << joined(run.output) << "expected\n" << joined(expected);
  }
}

}  // namespace
}  // namespace quorvelle

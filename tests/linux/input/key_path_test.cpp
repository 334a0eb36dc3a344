// Runs the key path's fixtures (key_path/*.t) through the pipeline and the
// core's hyper key handler, as the engine service runs them. A fixture is the
// frames the keyboards send, one per line, a blank line, and the frames the
// virtual devices send in return:
//
//   capslock down            a key press in a frame of its own
//   msc scan 0x7001e, a down the events of one frame
//   2: a down                from keyboard 2 (keyboard 1 when not named)
//   1 pointer: rel x 5       (output) to the virtual pointer of keyboard 1
//   dropped b                events were lost; the kernel says b is down now
//   enable off, enable on, modifiers shift meta, map a b, points, unplug,
//   release all, tap capslock: what the service does to the pipeline
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/hyper_key_handler.h"
#include "linux/input/key_pipeline.h"

namespace quorvelle {
namespace {

std::string cased(std::string text, int (*change)(int)) {
  for (char& c : text) c = static_cast<char>(change(static_cast<unsigned char>(c)));
  return text;
}

std::uint16_t keyCode(const std::string& name) {
  int code = libevdev_event_code_from_name(EV_KEY, ("KEY_" + cased(name, toupper)).c_str());
  if (code < 0) code = libevdev_event_code_from_name(EV_KEY, cased(name, toupper).c_str());
  if (code < 0) throw std::runtime_error("no key " + name);
  return static_cast<std::uint16_t>(code);
}

// "a down", "rel x 5", "msc scan 0x7001e"
input_event parseEvent(const std::string& text) {
  std::istringstream words(text);
  std::string first, second, value;
  words >> first >> second >> value;
  const std::vector<std::string> keyValues = {"up", "down", "repeat"};
  const auto keyValue = std::find(keyValues.begin(), keyValues.end(), second);
  if (keyValue != keyValues.end()) return {{}, EV_KEY, keyCode(first), static_cast<int>(keyValue - keyValues.begin())};
  const std::string prefix = cased(first, toupper);
  const int type = libevdev_event_type_from_name(("EV_" + prefix).c_str());
  const int code = type < 0 ? -1 : libevdev_event_code_from_name(type, (prefix + "_" + cased(second, toupper)).c_str());
  if (code < 0) throw std::runtime_error("no event " + text);
  return {{}, static_cast<std::uint16_t>(type), static_cast<std::uint16_t>(code), std::stoi(value, nullptr, 0)};
}

std::string eventText(const input_event& event) {
  std::string code = cased(libevdev_event_code_get_name(event.type, event.code), tolower);
  if (event.type == EV_KEY) {
    const char* values[] = {" up", " down", " repeat"};
    return (code.rfind("key_", 0) == 0 ? code.substr(4) : code) + values[std::min(event.value, 2)];
  }
  std::ostringstream text;
  const bool scan = event.type == EV_MSC && event.code == MSC_SCAN;
  text << code.replace(code.find('_'), 1, " ") << " " << (scan ? "0x" : "") << (scan ? std::hex : std::dec)
       << event.value;
  return text.str();
}

// What the pipeline left for a virtual device, one line per frame; then
// written away as the tap would.
void collect(OutputFrames& frames, const std::string& prefix, std::vector<std::string>& lines, std::string& open) {
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const input_event& event = frames.data()[i];
    if (event.type == EV_SYN && event.code == SYN_REPORT) {
      lines.push_back(prefix + open);
      open.clear();
    } else {
      open += (open.empty() ? "" : ", ") + eventText(event);
    }
  }
  frames.flush();
}

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
  std::unique_ptr<OutputFrames> pointer;
  std::string openPointerFrame;
  std::optional<KeyBits> downAfterLoss;
};

class KeyPathRun {
 public:
  KeyPathRun() { keys_.pipeline = &pipeline_; pipeline_.setEnabled(true); }

  void input(const std::string& line) {
    const auto colon = line.find(':');
    Keyboard& keyboard = this->keyboard(colon == std::string::npos ? 1 : std::stoi(line));
    std::istringstream words(colon == std::string::npos ? line : line.substr(colon + 1));
    std::string verb, argument;
    words >> verb >> argument;
    if (verb == "enable") {
      pipeline_.setEnabled(argument == "on");
    } else if (verb == "modifiers") {
      const std::map<std::string, ModifierFlags> flags = {
          {"ctrl", kControlFlag}, {"alt", kOptionFlag}, {"shift", kShiftFlag}, {"meta", kCommandFlag}};
      handler_.injectedFlags = 0;
      for (std::string name = argument; !name.empty(); name.clear(), words >> name) handler_.injectedFlags |= flags.at(name);
    } else if (verb == "map") {
      std::string to;
      words >> to;
      keyboard.translations.push_back({keyCode(argument), keyCode(to)});
      keyboard.keys.setTranslations(keyboard.translations);
    } else if (verb == "points") {
      keyboard.pointer = std::make_unique<OutputFrames>(sink_);
      keyboard.keys.setPointer(keyboard.pointer.get());
    } else if (verb == "unplug") {
      pipeline_.releaseKeyboard(keyboard.keys);
    } else if (verb == "release") {
      pipeline_.releaseAll();
    } else if (verb == "tap") {
      pipeline_.tapCapsLock();
    } else {
      read(keyboard, colon == std::string::npos ? line : line.substr(colon + 1));
    }
    collect(*output_, "", output, openFrame_);
    for (auto& [id, other] : keyboards_) {
      if (other->pointer) collect(*other->pointer, std::to_string(id) + " pointer: ", output, other->openPointerFrame);
    }
  }

  std::vector<std::string> output;

 private:
  Keyboard& keyboard(int id) {
    std::unique_ptr<Keyboard>& keyboard = keyboards_[id];
    if (!keyboard) keyboard = std::make_unique<Keyboard>(id);
    return *keyboard;
  }

  // One frame, as one read() from the keyboard.
  void read(Keyboard& keyboard, const std::string& text) {
    std::vector<input_event> events;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
      std::istringstream words(part);
      std::string first;
      words >> first;
      if (first != "dropped") {
        events.push_back(parseEvent(part));
        continue;
      }
      events.push_back({{}, EV_SYN, SYN_DROPPED, 0});
      KeyBits down;
      for (std::string name; words >> name;) down.set(keyCode(name));
      keyboard.downAfterLoss = down;
    }
    events.push_back({{}, EV_SYN, SYN_REPORT, 0});
    for (std::size_t done = 0; done < events.size();) {
      done += pipeline_.process(keyboard.keys, events.data() + done, events.size() - done);
      if (keyboard.keys.resyncDue()) pipeline_.resync(keyboard.keys, keyboard.downAfterLoss);
    }
  }

  const int sink_ = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  std::unique_ptr<OutputFrames> output_ = std::make_unique<OutputFrames>(sink_);
  std::string openFrame_;
  PipelineKeys keys_;
  HyperKeyHandler handler_{keys_};
  KeyPipeline pipeline_{HyperKeyHandler::tapCallback, &handler_, KEY_F18, *output_};
  std::map<int, std::unique_ptr<Keyboard>> keyboards_;
};

// Keyboard lines in order, then each pointer's lines in order.
std::string text(std::vector<std::string> lines) {
  std::stable_partition(lines.begin(), lines.end(), [](const auto& line) { return line.find("pointer:") == line.npos; });
  std::string text;
  for (const std::string& line : lines) text += "  " + line + "\n";
  return text;
}

TEST(KeyPath, EveryFixture) {
  int fixtures = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QUORVELLE_KEY_PATH_FIXTURES)) {
    if (entry.path().extension() != ".t") continue;
    ++fixtures;
    std::ifstream in(entry.path());
    std::vector<std::string> input, expected;
    bool below = false;
    for (std::string line; std::getline(in, line);) {
      below = below || (line.empty() && !input.empty());
      if (!line.empty() && line[0] != '#') (below ? expected : input).push_back(line);
    }
    KeyPathRun run;
    try {
      for (const std::string& line : input) run.input(line);
    } catch (const std::exception& error) {
      ADD_FAILURE() << entry.path().filename() << ": " << error.what();
      continue;
    }
    EXPECT_EQ(text(run.output), text(expected)) << entry.path().filename();
  }
  EXPECT_GE(fixtures, 10);
}

}  // namespace
}  // namespace quorvelle

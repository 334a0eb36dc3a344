// Input devices of the test's own, made in the guest, and what the engine's
// virtual devices give for them. Run as root; prints one line:
//   device_probe listen NODE   "heard" when an event reaches a plain reader of NODE
//                              within 2 s (nobody grabbed it), "quiet" if not
//   device_probe keyboard      a uinput keyboard with no key map: Caps Lock held
//                              over A with five repeats, B, then 1,000 taps a..z
//   device_probe pointing      a keyboard that also points (uhid): Caps Lock
//                              held over A, B, then a click with a move; and
//                              whether a keypad of Caps Lock alone was left alone
// Keys come out as CODE:VALUE, with :MODIFIERS (C, A, M, S) when any is held.
#include <dirent.h>
#include <fcntl.h>
#include <linux/uhid.h>
#include <linux/uinput.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Type = std::function<void(int code, int value)>;

// The node of the input device named NAME, waited for up to 10 s.
int openNamed(const std::string& name) {
  for (const auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;
       usleep(20000)) {
    DIR* dir = opendir("/dev/input");
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
      if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
      const int fd = open(("/dev/input/" + std::string(entry->d_name)).c_str(), O_RDONLY | O_NONBLOCK);
      char found[256] = {};
      if (fd >= 0 && ioctl(fd, EVIOCGNAME(sizeof found - 1), found) >= 0 && name == found) {
        closedir(dir);
        return fd;
      }
      if (fd >= 0) close(fd);
    }
    if (dir) closedir(dir);
  }
  return -1;
}

// Reads NODE's key and pointer events until `until` returns true for one, or
// a silence of QUIET_MS.
std::vector<input_event> readUntil(int node, const std::function<bool(const input_event&)>& until,
                                   int quietMs = 5000) {
  std::vector<input_event> events;
  for (pollfd waiting{node, POLLIN, 0}; poll(&waiting, 1, quietMs) > 0;) {
    input_event event;
    while (read(node, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
      if (event.type != EV_KEY && event.type != EV_REL) continue;
      events.push_back(event);
      if (until(event)) return events;
    }
  }
  return events;
}

std::vector<input_event> keysUntilUp(int node, int code, int quietMs = 5000) {
  return readUntil(
      node, [code](const input_event& e) { return e.code == code && !e.value; }, quietMs);
}

// ":" and the modifiers of HELD in a fixed order, if any.
std::string sorted(const std::string& held) {
  std::string letters;
  for (char letter : std::string("CAMS"))
    letters += held.find(letter) == std::string::npos ? "" : std::string(1, letter);
  return letters.empty() ? "" : ":" + letters;
}

// The keys of EVENTS, the modifiers folded into the keys they were held over.
std::string describe(const std::vector<input_event>& events) {
  const std::pair<int, char> modifiers[] = {{KEY_LEFTCTRL, 'C'},  {KEY_RIGHTCTRL, 'C'}, {KEY_LEFTALT, 'A'},
                                            {KEY_RIGHTALT, 'A'},  {KEY_LEFTMETA, 'M'},  {KEY_RIGHTMETA, 'M'},
                                            {KEY_LEFTSHIFT, 'S'}, {KEY_RIGHTSHIFT, 'S'}};
  std::string held, text;
  for (const input_event& e : events) {
    char modifier = 0;
    for (auto [code, letter] : modifiers) modifier = e.code == code ? letter : modifier;
    if (modifier && e.value == 1) held += modifier;
    if (modifier && e.value == 0 && held.find(modifier) != std::string::npos)
      held.erase(held.find(modifier), 1);
    if (modifier) continue;
    text += (text.empty() ? "" : " ") + std::to_string(e.code) + ":" + std::to_string(e.value) + sorted(held);
  }
  return held.empty() ? text : text + " held" + sorted(held);
}

// Whether F13 is waiting on NODE. Typing on uinput and uhid delivers at once.
bool heardF13(int node) {
  bool heard = false;
  for (input_event e; read(node, &e, sizeof e) == static_cast<ssize_t>(sizeof e);)
    heard = heard || (e.type == EV_KEY && e.code == KEY_F13);
  return heard;
}

// Taps F13 on SOURCE until it comes out of the virtual keyboard and no plain
// reader of SOURCE heard it: the engine grabbed it. A tap typed before the
// grab never comes out: the engine drops what came before its grab.
bool taken(int source, int output, const Type& type) {
  for (const auto deadline = Clock::now() + std::chrono::seconds(20);
       source >= 0 && Clock::now() < deadline;) {
    heardF13(source);
    type(KEY_F13, 1);
    type(KEY_F13, 0);
    const bool direct = heardF13(source);
    const bool passedOn = !keysUntilUp(output, KEY_F13, direct ? 300 : 5000).empty();
    if (passedOn && !direct) return true;
    if (passedOn) return std::printf("not grabbed\n"), false;
    if (!direct) return std::printf("grabbed, but F13 did not come out\n"), false;
  }
  std::printf("not taken\n");
  return false;
}

int listen(const char* path) {
  const int node = open(path, O_RDONLY | O_NONBLOCK);
  if (node < 0) return 1;
  std::printf("listening\n");
  std::fflush(stdout);
  pollfd waiting{node, POLLIN, 0};
  std::printf(poll(&waiting, 1, 2000) > 0 ? "heard\n" : "quiet\n");
  return 0;
}

int keyboard(int output) {
  const int uinput = open("/dev/uinput", O_WRONLY);
  ioctl(uinput, UI_SET_EVBIT, EV_KEY);
  for (int code = KEY_ESC; code <= KEY_MICMUTE; ++code) ioctl(uinput, UI_SET_KEYBIT, code);
  uinput_setup setup{};
  setup.id = {BUS_USB, 0x1209, 0x0003, 1};
  std::strcpy(setup.name, "Probe Keyboard");
  if (ioctl(uinput, UI_DEV_SETUP, &setup) < 0 || ioctl(uinput, UI_DEV_CREATE) < 0) return 1;
  const Type type = [uinput](int code, int value) {
    input_event frame[2] = {};
    frame[0] = {{}, EV_KEY, static_cast<__u16>(code), value};
    frame[1].type = EV_SYN;
    if (write(uinput, frame, sizeof frame) != static_cast<ssize_t>(sizeof frame)) std::perror("uinput");
  };
  if (!taken(openNamed("Probe Keyboard"), output, type)) return 0;
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  // Held for longer than the kernel's repeat delay: a virtual keyboard that
  // repeated on its own would add repeats of its own.
  for (int i = 0; i < 5; ++i, usleep(100000)) type(KEY_A, 2);
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  type(KEY_B, 1);
  type(KEY_B, 0);
  std::printf("%s, ", describe(keysUntilUp(output, KEY_B)).c_str());
  // The burst, in chunks of five taps, each chunk sent at once.
  const int letters[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                         KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                         KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
  int tap = 0;
  for (std::string expected, got; tap < 1000; tap += 5) {
    expected.clear();
    for (int i = tap; i < tap + 5; ++i) {
      type(letters[i % 26], 1);
      type(letters[i % 26], 0);
      expected += std::to_string(letters[i % 26]) + ":1 " + std::to_string(letters[i % 26]) + ":0 ";
    }
    if ((got = describe(keysUntilUp(output, letters[(tap + 4) % 26])) + " ") != expected) {
      std::printf("taps from %d gave %s\n", tap, got.c_str());
      return 0;
    }
  }
  std::printf("%d taps in order\n", tap);
  return 0;
}

// A uhid device; its keys are HID usages: Caps Lock 0x39, A 4, B 5, F13 0x68.
struct HidDevice {
  HidDevice(const char* name, const std::vector<std::uint8_t>& descriptor) : fd(open("/dev/uhid", O_RDWR)) {
    uhid_event event{};
    event.type = UHID_CREATE2;
    std::strcpy(reinterpret_cast<char*>(event.u.create2.name), name);
    std::memcpy(event.u.create2.rd_data, descriptor.data(), descriptor.size());
    event.u.create2.rd_size = static_cast<__u16>(descriptor.size());
    event.u.create2.bus = BUS_USB;
    event.u.create2.vendor = 0x1209;
    event.u.create2.product = static_cast<__u32>(descriptor.size());
    if (write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) std::perror("uhid");
  }
  void report(const std::vector<std::uint8_t>& data) const {
    uhid_event event{};
    event.type = UHID_INPUT2;
    std::memcpy(event.u.input2.data, data.data(), data.size());
    event.u.input2.size = static_cast<__u16>(data.size());
    if (write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) std::perror("uhid");
  }
  int fd;
};

int pointing(int output) {
  // Report 1: Caps Lock, one bit.
  const HidDevice keypad(
      "Probe Caps Lock Keypad",
      {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0x39, 0x29, 0x39, 0x15, 0x00,
       0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0x75, 0x07, 0x95, 0x01, 0x81, 0x03, 0xC0});
  // Report 1: the modifiers and six keys; report 2, in a physical collection
  // of the same application (so one node): three buttons and a move.
  const HidDevice pad(
      "Probe Pointing Keyboard",
      {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25,
       0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x19, 0x00, 0x29, 0x73, 0x25, 0x73, 0x75, 0x08, 0x95, 0x06,
       0x81, 0x00, 0x85, 0x02, 0x05, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x25,
       0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x75, 0x05, 0x95, 0x01, 0x81, 0x03, 0x05, 0x01, 0x09, 0x30,
       0x09, 0x31, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0});
  const int keypadNode = openNamed("Probe Caps Lock Keypad");
  const auto keys = [&pad](std::vector<std::uint8_t> usages) {
    usages.resize(6);
    usages.insert(usages.begin(), {1, 0});
    pad.report(usages);
  };
  const Type tapF13 = [&keys](int, int value) {
    keys(value ? std::vector<std::uint8_t>{0x68} : std::vector<std::uint8_t>{});
  };
  if (!taken(openNamed("Probe Pointing Keyboard"), output, tapF13)) return 0;
  for (const auto& held : std::vector<std::vector<std::uint8_t>>{{0x39}, {0x39, 4}, {0x39}, {}, {5}, {}})
    keys(held);
  std::printf("%s, ", describe(keysUntilUp(output, KEY_B)).c_str());
  const int pointer = openNamed("Quorvelle Virtual Pointer");
  pad.report({2, 1, 5, static_cast<std::uint8_t>(-3)});
  pad.report({2, 0, 0, 0});
  std::string moved;
  for (const input_event& e : keysUntilUp(pointer, BTN_LEFT))
    moved += std::to_string(e.type) + ":" + std::to_string(e.code) + ":" + std::to_string(e.value) + " ";
  // The engine looked at the keypad before the keyboard made after it: it
  // must have left it to others, whose grab succeeds.
  const bool free = ioctl(keypadNode, EVIOCGRAB, 1) == 0;
  std::printf("pointer %s, keypad %s\n", moved.c_str(), free ? "free" : "grabbed");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "listen" && argc > 2) return listen(argv[2]);
  const int output = openNamed("Quorvelle Virtual Keyboard");
  if (output < 0) std::printf("no virtual keyboard\n");
  if (what == "keyboard" && output >= 0) return keyboard(output);
  if (what == "pointing" && output >= 0) return pointing(output);
  std::fprintf(stderr, "usage: device_probe listen NODE|keyboard|pointing\n");
  return 2;
}

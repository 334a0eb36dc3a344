#pragma once

#include <linux/input.h>

#include <bitset>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "linux/input/linux_event_tap_system.h"
#include "linux/input/input_directory_watch.h"
#include "linux/input/key_pipeline.h"
#include "linux/input/output_frames.h"

namespace quorvelle {

class LinuxRunLoopSource;

// One tap: the virtual keyboard, the grabbed keyboards (with a virtual
// pointer each for those that also point), the watch for new ones. Created
// grabbed but not reading; reads while its run-loop source is added; calls
// the handler while enabled.
class LinuxEventTap : public EventTap {
 public:
  // nullptr when the virtual keyboard cannot be created; the reason is logged.
  static std::unique_ptr<LinuxEventTap> create(LinuxEventTapSystem& system, EventTapCallback callback,
                                               void* userInfo);
  ~LinuxEventTap() override;

  void setEnabled(bool enabled) override;
  std::unique_ptr<RunLoopSource> createRunLoopSource() override;

  bool isKeyPhysicallyDown(std::uint16_t code) const { return pipeline_.isKeyDown(code); }
  bool isKeyPressedBySelf(std::uint16_t code) const { return pipeline_.isPressedBySelf(code); }
  void switchCapsLockOff();
  void refreshTranslations();

  // For LinuxRunLoopSource.
  void startReading();
  void stopReading();
  void sourceGone() { source_ = nullptr; }

 private:
  struct Keyboard {
    std::string name;  // in the folder
    std::string deviceName;
    KeyboardKeys keys;
    std::unique_ptr<FdWatcher::Watch> watch;
    std::unique_ptr<OutputFrames> pointer;  // its virtual pointer's, when it points
  };

  LinuxEventTap(LinuxEventTapSystem& system, int virtualFd, EventTapCallback callback, void* userInfo);

  void addKeyboards(const std::vector<std::string>& names);
  void watchKeyboard(Keyboard& keyboard);
  void readKeyboard(Keyboard& keyboard);
  void resync(Keyboard& keyboard);
  void removeKeyboard(Keyboard& keyboard);
  void closeKeyboard(Keyboard& keyboard);
  void readDirectory();
  void readLights();
  void copyLightsTo(int fd);
  Keyboard* findKeyboard(const std::string& name);
  static void beforeOutput(void* tap);

  LinuxEventTapSystem& system_;
  const int virtualFd_;
  OutputFrames out_;
  KeyPipeline pipeline_;
  std::vector<std::unique_ptr<Keyboard>> keyboards_;
  // Nodes that are not keyboards to grab, until they go away.
  std::set<std::string> ignored_;
  std::unique_ptr<InputDirectoryWatch> directory_;
  std::unique_ptr<FdWatcher::Watch> directoryWatch_;
  std::unique_ptr<FdWatcher::Watch> lightsWatch_;
  // The keyboard lights as the display server last set them on the virtual
  // keyboard, and which of them it has set at all.
  std::bitset<LED_CNT> lights_;
  std::bitset<LED_CNT> lightsKnown_;
  // The pressed-by-tap bits the listener last heard.
  unsigned pressedByTapReported_ = 0;
  bool reading_ = false;
  LinuxRunLoopSource* source_ = nullptr;
};

}  // namespace quorvelle

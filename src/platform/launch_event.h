#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace quorvelle {

// Four-character codes of the event that launched the application.
inline constexpr std::uint32_t kAEOpenApplication = 0x6F617070;        // 'oapp'
inline constexpr std::uint32_t kAEPropData = 0x70726474;               // 'prdt'
inline constexpr std::uint32_t kAELaunchedAsLogInItem = 0x6C676974;    // 'lgit'

// The event being handled while the launch finishes.
struct LaunchEventDescriptor {
  std::uint32_t eventID = 0;
  // Enumerated parameters by keyword.
  std::map<std::uint32_t, std::uint32_t> enumParameters;
};

class LaunchEvents {
 public:
  virtual ~LaunchEvents() = default;
  // nullopt when no event is being handled.
  virtual std::optional<LaunchEventDescriptor> currentEvent() const = 0;
};

}  // namespace quorvelle

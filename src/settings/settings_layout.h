#pragma once

namespace quorvelle::settings_layout {

// The settings column, in points.
inline constexpr int kRowSpacing = 14;
inline constexpr int kPadding = 20;
inline constexpr int kMinimumWidth = 420;

// The warning box: its padding, the spacing of its rows and beside the symbol,
// and between its title and explanation.
inline constexpr int kWarningPadding = 6;
inline constexpr int kWarningSpacing = 10;
inline constexpr int kWarningTextSpacing = 4;

// The shortcut row inside its box.
inline constexpr int kShortcutPadding = 6;
inline constexpr int kShortcutSpacing = 8;

// The reopening note and command button, set in under the checkbox above.
inline constexpr int kCommandIndent = 26;
inline constexpr int kCommandSpacing = 6;

// How often the content re-reads whether the process may filter keys.
inline constexpr double kTrustPollSeconds = 1.0;

}  // namespace quorvelle::settings_layout

#include "ui/linux_texts.h"

#include <utility>

namespace quorvelle {
namespace {

const std::pair<std::string_view, const char*> kRewordings[] = {
    {"Accessibility access required", "Input access required"},
    {"Quorvelle rewrites keyboard events, which macOS only allows for apps with Accessibility access. "
     "Enable Quorvelle in System Settings, then come back here.",
     "Quorvelle rewrites keyboard events, which Linux only allows for programs with access to the "
     "keyboard devices. Grant access, then come back here."},
    {"Open System Settings", "Grant Access…"},
    {"⚠︎ Grant Accessibility Access...", "⚠︎ Grant Input Access..."},
    {"To reopen this window, run “quorvelle” in Terminal or open Quorvelle again from Spotlight or Finder.",
     "To reopen this window, run “quorvelle” in a terminal or open Quorvelle again from your applications "
     "menu."},
    {"To reopen this window, open Quorvelle again from Spotlight or Finder.",
     "To reopen this window, open Quorvelle again from your applications menu."},
};

}  // namespace

QString linuxText(std::string_view key) {
  for (const auto& [from, to] : kRewordings) {
    if (from == key) return QString::fromUtf8(to);
  }
  return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace quorvelle

#pragma once

#include <QIcon>
#include <map>
#include <string>

#include "linux/temp_dir.h"

namespace quorvelle::testing_support {

// Stand-ins for the caps lock symbols: an outlined and a filled square, as SVG
// files in the folder.
inline std::map<std::string, QIcon> writeTestSymbols(const TempDir& dir) {
  const char* outline =
      "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
      "<rect x='2' y='2' width='12' height='12' fill='none' stroke='black' stroke-width='2'/></svg>";
  const char* filled =
      "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
      "<rect x='2' y='2' width='12' height='12' fill='black'/></svg>";
  std::map<std::string, QIcon> symbols;
  for (auto [name, svg] : {std::pair{"capslock", outline}, std::pair{"capslock.fill", filled}}) {
    const std::string path = dir.file(std::string(name) + ".svg");
    if (FILE* f = fopen(path.c_str(), "w")) {
      fputs(svg, f);
      fclose(f);
    }
    symbols[name] = QIcon(QString::fromStdString(path));
  }
  return symbols;
}

}  // namespace quorvelle::testing_support

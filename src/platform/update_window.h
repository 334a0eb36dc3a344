#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quorvelle {

struct UpdateLink {
  std::string title;
  std::string url;
};

// What the updater's window shows.
struct UpdateWindowContent {
  std::string windowTitle;
  std::string headline;
  std::string message;
  std::vector<UpdateLink> links;  // opened in the browser when clicked
  std::string buttonTitle;        // the one button; it closes the window
  bool busy = false;              // shows that work is under way
};

// The updater's own small, titled window.
class UpdateWindow {
 public:
  virtual ~UpdateWindow() = default;
  // Shows the content, replacing what was shown. With activate the window
  // comes forward and takes the focus; without, it appears without stealing it.
  virtual void show(const UpdateWindowContent& content, bool activate) = 0;
  // onAttention runs when the user brings the shown window forward, onClosed
  // when the user closes it (by its button or the title bar).
  virtual void setHandlers(std::function<void()> onAttention, std::function<void()> onClosed) = 0;
};

}  // namespace quorvelle

// The test's own X client. "keylog": a full-screen window that prints every
// key press (+) and release (-) it receives as KEYSYM:STATE, the keysym of the
// key's first level and the modifier state in hex, one line each.
// "keylog state": the keys the server holds down and Caps Lock's lock state.
// "keylog yellow WINDOW": how many pixels of the window have the warning's yellow.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static int state(Display* display) {
  char keys[32];
  XQueryKeymap(display, keys);
  std::printf("down:");
  for (int code = 8; code < 256; ++code) {
    if (keys[code / 8] & (1 << (code % 8))) {
      std::printf(" %s", XKeysymToString(XkbKeycodeToKeysym(display, code, 0, 0)));
    }
  }
  Window root, child;
  int x, y;
  unsigned mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &x, &y, &mask);
  std::printf("\ncaps: %s\n", (mask & LockMask) ? "on" : "off");
  return 0;
}

static int yellow(Display* display, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return 1;
  XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (!image) return 1;
  int count = 0;
  for (int y = 0; y < attributes.height; ++y) {
    for (int x = 0; x < attributes.width; ++x) count += XGetPixel(image, x, y) == 0xF5C211;
  }
  std::printf("%d\n", count);
  return 0;
}

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  if (argc > 1 && std::strcmp(argv[1], "state") == 0) return state(display);
  if (argc > 2 && std::strcmp(argv[1], "yellow") == 0) return yellow(display, std::strtoul(argv[2], nullptr, 0));
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  int screen = DefaultScreen(display);
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, DisplayWidth(display, screen),
                                      DisplayHeight(display, screen), 0, 0, WhitePixel(display, screen));
  XStoreName(display, window, "keylog");
  XSelectInput(display, window, KeyPressMask | KeyReleaseMask);
  XMapWindow(display, window);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != KeyPress && event.type != KeyRelease) continue;
    const char* name = XKeysymToString(XLookupKeysym(&event.xkey, 0));
    std::printf("%c%s:%x\n", event.type == KeyPress ? '+' : '-', name ? name : "?", event.xkey.state & 0xff);
  }
}

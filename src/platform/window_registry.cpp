#include "window_registry.h"

#include <algorithm>
#include <deque>
#include <string>

struct PlatformInstance {};

namespace {

struct ClassRecord {
  std::string name;
  PlatformWindowProc procedure;
};

PlatformInstance theInstance;
std::vector<ClassRecord> classes;
std::vector<PlatformWindow*> windows;
std::vector<PlatformDevice*> devices;  // windows[i]'s device is devices[i]
std::vector<PlatformGlContext*> contexts;
std::deque<PlatformMessage> queue;
std::set<unsigned> pressedSinceIdle;

const ClassRecord* findClass(const char* name) {
  for (const ClassRecord& c : classes)
    if (c.name == name) return &c;
  return nullptr;
}

PlatformDevice* deviceOf(PlatformWindow* window) {
  for (size_t i = 0; i < windows.size(); ++i)
    if (windows[i] == window) return devices[i];
  return nullptr;
}

}  // namespace

PlatformWindowProc registeredClassProcedure(const char* className) {
  const ClassRecord* windowClass = className ? findClass(className) : nullptr;
  return windowClass ? windowClass->procedure : nullptr;
}

void queueMessage(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  queue.push_back(PlatformMessage{window, message, wParam, lParam});
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) pressedSinceIdle.insert(unsigned(wParam));
}

bool takeQueuedMessage(PlatformMessage* message) {
  while (!queue.empty()) {
    const PlatformMessage next = queue.front();
    queue.pop_front();
    if (next.window && !isWindow(next.window)) continue;  // its window is gone
    *message = next;
    return true;
  }
  pressedSinceIdle.clear();
  return false;
}

bool messagesQueued() { return !queue.empty(); }

const std::set<unsigned>& keysPressedSinceIdle() { return pressedSinceIdle; }

void addWindow(PlatformWindow* window, PlatformDevice* device) {
  windows.push_back(window);
  devices.push_back(device);
}

void removeWindow(PlatformWindow* window) {
  for (size_t i = 0; i < windows.size(); ++i) {
    if (windows[i] == window) {
      windows.erase(windows.begin() + long(i));
      devices.erase(devices.begin() + long(i));
      return;
    }
  }
}

const std::vector<PlatformWindow*>& liveWindows() { return windows; }

bool isWindow(PlatformWindow* window) {
  return std::find(windows.begin(), windows.end(), window) != windows.end();
}

bool isDevice(PlatformDevice* device) {
  return std::find(devices.begin(), devices.end(), device) != devices.end();
}

void addContext(PlatformGlContext* context) { contexts.push_back(context); }

void removeContext(PlatformGlContext* context) {
  contexts.erase(std::remove(contexts.begin(), contexts.end(), context), contexts.end());
}

bool isContext(PlatformGlContext* context) {
  return std::find(contexts.begin(), contexts.end(), context) != contexts.end();
}

bool platformTranslateMessage(const PlatformMessage*) { return false; }

void platformPostQuitMessage(int exitCode) { queueMessage(nullptr, WM_QUIT, uintptr_t(exitCode), 0); }

PlatformInstance* platformModuleHandle() { return &theInstance; }

bool platformRegisterClass(const PlatformWindowClass* windowClass) {
  if (!windowClass || !windowClass->name || !windowClass->procedure) return false;
  if (findClass(windowClass->name)) return false;
  classes.push_back(ClassRecord{windowClass->name, windowClass->procedure});
  return true;
}

bool platformUnregisterClass(const char* name, PlatformInstance*) {
  if (!name) return false;
  for (size_t i = 0; i < classes.size(); ++i) {
    if (classes[i].name == name) {
      classes.erase(classes.begin() + long(i));
      return true;
    }
  }
  return false;
}

void platformAdjustWindowRect(PlatformRect*, uint32_t, uint32_t) {}

PlatformDevice* platformGetDevice(PlatformWindow* window) { return deviceOf(window); }

bool platformReleaseDevice(PlatformWindow* window, PlatformDevice* device) {
  return device && deviceOf(window) == device;
}

bool platformSetPixelFormat(PlatformDevice* device, int format, const PlatformPixelFormat* request) {
  if (!isDevice(device) || format != 1 || !request) return false;
  if (device->pixelFormat != 0 && device->pixelFormat != format) return false;
  device->pixelFormat = format;
  return true;
}

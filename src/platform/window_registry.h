// Bookkeeping every window-system layer keeps the same way: the registered
// window classes, the message queue with the keys pressed since it was last
// found empty, and which windows, devices and GL contexts exist.
// window_registry.cpp also answers the platform calls that are nothing but
// this bookkeeping (classes, the instance, posting WM_QUIT, devices and their
// pixel format). Main thread only.
#pragma once

#include "platform.h"

#include <set>
#include <vector>

// A window's drawing device, kept inside its window.
struct PlatformDevice {
  PlatformWindow* window;
  int pixelFormat;  // 0 until set
};

// The window procedure of the class registered under `className`, or null.
PlatformWindowProc registeredClassProcedure(const char* className);

// Appends a message to the queue; a key press is remembered until the queue
// is next found empty.
void queueMessage(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// Removes the oldest queued message whose window still exists (or that has
// none) into `message`. When none is left, forgets the keys pressed since the
// queue was last found empty and returns false.
bool takeQueuedMessage(PlatformMessage* message);

bool messagesQueued();

// Virtual keys whose press was queued since the queue was last found empty;
// their release waits until then.
const std::set<unsigned>& keysPressedSinceIdle();

// The windows that exist, oldest first, each with its device.
void addWindow(PlatformWindow* window, PlatformDevice* device);
void removeWindow(PlatformWindow* window);
const std::vector<PlatformWindow*>& liveWindows();
bool isWindow(PlatformWindow* window);
bool isDevice(PlatformDevice* device);

// The GL contexts that exist.
void addContext(PlatformGlContext* context);
void removeContext(PlatformGlContext* context);
bool isContext(PlatformGlContext* context);

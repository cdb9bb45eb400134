#include "display_snapshot.h"

#include <X11/extensions/Xrandr.h>

ScreenSnapshot readScreen(Display* display) {
  ScreenSnapshot s;
  const Window root = DefaultRootWindow(display);
  Window rootReturn = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(display, root, &rootReturn, &x, &y, &width, &height, &border, &depth);
  s.width = int32_t(width);
  s.height = int32_t(height);
  s.widthMm = DisplayWidthMM(display, DefaultScreen(display));
  s.heightMm = DisplayHeightMM(display, DefaultScreen(display));
  int eventBase = 0, errorBase = 0;
  XRRScreenResources* resources = XRRQueryExtension(display, &eventBase, &errorBase)
                                      ? XRRGetScreenResourcesCurrent(display, root)
                                      : nullptr;
  for (int i = 0; resources && i < resources->ncrtc; ++i) {
    XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, resources->crtcs[i]);
    if (!info) continue;
    s.crtcs.push_back(CrtcSnapshot{uint32_t(resources->crtcs[i]), info->x, info->y, uint32_t(info->mode),
                                   info->rotation,
                                   std::vector<uint32_t>(info->outputs, info->outputs + info->noutput)});
    XRRFreeCrtcInfo(info);
  }
  if (resources) XRRFreeScreenResources(resources);
  return s;
}

bool sameMode(const ScreenSnapshot& now, const ScreenSnapshot& set) {
  if (now.width != set.width || now.height != set.height || now.crtcs.size() != set.crtcs.size())
    return false;
  for (size_t i = 0; i < set.crtcs.size(); ++i) {
    const CrtcSnapshot &a = now.crtcs[i], &b = set.crtcs[i];
    if (a.crtc != b.crtc || a.mode != b.mode || a.x != b.x || a.y != b.y || a.rotation != b.rotation)
      return false;
  }
  return true;
}

void applyScreen(Display* display, const ScreenSnapshot& target) {
  const Window root = DefaultRootWindow(display);
  XGrabServer(display);  // the switch is seen whole or not at all
  const ScreenSnapshot now = readScreen(display);
  const bool resize = now.width != target.width || now.height != target.height;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (resources) {
    // CRTCs that would not fit the target's screen are turned off first.
    if (resize) {
      for (const CrtcSnapshot& c : target.crtcs)
        XRRSetCrtcConfig(display, resources, c.crtc, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
      XRRSetScreenSize(display, root, target.width, target.height, target.widthMm, target.heightMm);
    }
    for (const CrtcSnapshot& c : target.crtcs) {
      std::vector<RROutput> outputs(c.outputs.begin(), c.outputs.end());
      XRRSetCrtcConfig(display, resources, c.crtc, CurrentTime, c.x, c.y, c.mode, Rotation(c.rotation),
                       outputs.data(), int(outputs.size()));
    }
    XRRFreeScreenResources(resources);
  }
  XUngrabServer(display);
  XSync(display, False);
}

void giveBack(Display* display, const ScreenSnapshot& desktop, const ScreenSnapshot& set) {
  if (desktop.width == 0) return;
  if (set.width != 0 && !sameMode(readScreen(display), set)) return;
  applyScreen(display, desktop);
}

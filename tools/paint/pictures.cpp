#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "font.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kViewW = 640, kViewH = 480;  // drawing space of the backdrop pictures

// How a block of lettering is shaded.
struct LetterLook {
  float yTop, yBottom;  // band of the chrome gradient, drawing units
  Rgb sky, horizon, earth, glint;
  float bevel;   // width of the rounded edge, drawing units
  float relief;  // steepness of that edge for the lighting
  Rgb outline;
  float outlineWidth;  // drawing units
  Rgb glow;
  float glowRadius;
  float shadowDx, shadowDy, shadowSoft, shadowAlpha;
};

float heightAt(const DistanceField& f, int x, int y, float bevel) {
  float t = clamp01(-f.at(x, y) / bevel);
  return std::sqrt(1 - (1 - t) * (1 - t));
}

Rgb chrome(const LetterLook& look, float t) {
  // Sky fading down to a dark horizon line, then a bright earth below it.
  if (t < 0.52f) return mixRgb(look.sky, look.horizon, smoothStep(0.0f, 0.52f, t));
  return mixRgb(look.horizon, look.earth,
                smoothStep(0.52f, 0.62f, t) * 0.7f + smoothStep(0.62f, 1.0f, t) * 0.3f);
}

// Three box blurs of `radius` pixels in x and y (close to a Gaussian), with
// the edges clamped.
void blurMap(std::vector<float>& m, int w, int h, int radius) {
  std::vector<float> tmp(m.size());
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float sum = 0;
        for (int k = -radius; k <= radius; ++k)
          sum += m[static_cast<size_t>(y) * w + std::clamp(x + k, 0, w - 1)];
        tmp[static_cast<size_t>(y) * w + x] = sum / (2 * radius + 1);
      }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float sum = 0;
        for (int k = -radius; k <= radius; ++k)
          sum += tmp[static_cast<size_t>(std::clamp(y + k, 0, h - 1)) * w + x];
        m[static_cast<size_t>(y) * w + x] = sum / (2 * radius + 1);
      }
  }
}

// Shades the strokes of field `f` over the canvas (field cells are canvas
// pixels; one pixel spans unitX x unitY drawing units).
void shadeLetters(Canvas& c, const DistanceField& f, float unitX, float unitY, const LetterLook& look) {
  float pixel = std::sqrt(unitX * unitY);
  const float lx = -0.45f, ly = -0.65f, lz = 0.62f;  // light from the upper left
  // The glow is the letters' coverage, blurred: smooth where letters meet.
  std::vector<float> glow(static_cast<size_t>(c.width) * c.height, 0.0f);
  if (look.glowRadius > 0) {
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        glow[static_cast<size_t>(y) * c.width + x] = clamp01(0.5f - (f.at(x, y) - look.outlineWidth) / pixel);
    blurMap(glow, c.width, c.height, std::max(1, static_cast<int>(look.glowRadius / pixel / 1.5f)));
  }
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      Rgb& p = at(c, x, y);
      // Drop shadow, then glow.
      int sx = x - static_cast<int>(std::lround(look.shadowDx / unitX));
      int sy = y - static_cast<int>(std::lround(look.shadowDy / unitY));
      float sd = f.at(sx, sy);
      float shadow = look.shadowAlpha * (1 - smoothStep(-look.shadowSoft, look.shadowSoft, sd));
      p = scaleRgb(p, 1 - shadow);
      float d = f.at(x, y);
      p = addRgb(p, scaleRgb(look.glow, 1.8f * glow[static_cast<size_t>(y) * c.width + x]));
      // Outline ring.
      float outer = clamp01(0.5f - (d - look.outlineWidth) / pixel);
      p = mixRgb(p, look.outline, outer);
      float cover = clamp01(0.5f - d / pixel);
      if (cover <= 0) continue;
      // Bevelled face.
      float hx = (heightAt(f, x + 1, y, look.bevel) - heightAt(f, x - 1, y, look.bevel)) / (2 * unitX);
      float hy = (heightAt(f, x, y + 1, look.bevel) - heightAt(f, x, y - 1, look.bevel)) / (2 * unitY);
      float nx = -hx * look.relief, ny = -hy * look.relief, nz = 1;
      float len = std::sqrt(nx * nx + ny * ny + nz * nz);
      nx /= len;
      ny /= len;
      nz /= len;
      float diffuse = std::max(0.0f, nx * lx + ny * ly + nz * lz);
      // Reflection of the view ray (0, 0, -1) about n, against the light.
      float rx = 2 * nz * nx, ry = 2 * nz * ny, rz = 2 * nz * nz - 1;
      float spec = std::pow(std::max(0.0f, rx * lx + ry * ly + rz * lz), 24.0f);
      float py = (y + 0.5f) * unitY;
      float t = (py - look.yTop) / (look.yBottom - look.yTop) + ny * 0.35f;
      Rgb base = chrome(look, std::clamp(t, 0.0f, 1.0f));
      Rgb face = addRgb(scaleRgb(base, 0.45f + 0.75f * diffuse), scaleRgb(look.glint, spec));
      p = mixRgb(p, face, cover);
    }
}

// Drawing-space position of canvas pixel centres.
float viewX(const Canvas& c, int x) { return (x + 0.5f) * kViewW / c.width; }
float viewY(const Canvas& c, int y) { return (y + 0.5f) * kViewH / c.height; }

// Draws a line of text centred on `cx` at baseline `baseline` with the given
// letter height (capitals) and look.
void drawTitle(Canvas& c, const std::string& text, float cx, float baseline, float capHeight, float slant,
               float halfStroke, const LetterLook& look) {
  TextStyle st;
  st.scaleY = capHeight / 10;
  st.scaleX = st.scaleY;
  st.slant = slant;
  st.spacing = 2.6f;
  st.x = cx - textWidth(text, st.spacing) * st.scaleX / 2 - slant * 5 * st.scaleX;
  st.y = baseline;
  float unitX = kViewW / c.width, unitY = kViewH / c.height;
  DistanceField f =
      strokeField(layoutText(text, st), c.width, c.height, unitX, unitY, halfStroke * st.scaleY, 80);
  shadeLetters(c, f, unitX, unitY, look);
}

// Flat (unbevelled) text with a soft glow, for small print.
void drawPlainText(Canvas& c, const std::string& text, float x, float baseline, float capHeight, float slant,
                   float halfStroke, Rgb colour, Rgb glow, float glowRadius, bool centred) {
  TextStyle st;
  st.scaleY = capHeight / 10;
  st.scaleX = st.scaleY;
  st.slant = slant;
  st.spacing = 2.4f;
  float w = textWidth(text, st.spacing) * st.scaleX;
  st.x = centred ? x - w / 2 : x;
  st.y = baseline;
  float unitX = kViewW / c.width, unitY = kViewH / c.height;
  float pixel = std::sqrt(unitX * unitY);
  DistanceField f =
      strokeField(layoutText(text, st), c.width, c.height, unitX, unitY, halfStroke * st.scaleY, 40);
  if (glowRadius > 0) {
    std::vector<float> halo(static_cast<size_t>(c.width) * c.height);
    for (int y = 0; y < c.height; ++y)
      for (int x2 = 0; x2 < c.width; ++x2)
        halo[static_cast<size_t>(y) * c.width + x2] = clamp01(0.5f - f.at(x2, y) / pixel);
    blurMap(halo, c.width, c.height, std::max(1, static_cast<int>(glowRadius / pixel / 1.5f)));
    for (int y = 0; y < c.height; ++y)
      for (int x2 = 0; x2 < c.width; ++x2)
        at(c, x2, y) =
            addRgb(at(c, x2, y), scaleRgb(glow, 2.5f * halo[static_cast<size_t>(y) * c.width + x2]));
  }
  for (int y = 0; y < c.height; ++y)
    for (int x2 = 0; x2 < c.width; ++x2)
      at(c, x2, y) = mixRgb(at(c, x2, y), colour, clamp01(0.5f - f.at(x2, y) / pixel));
}

void drawStars(Canvas& c, int count, uint32_t seed, float brightness) {
  for (int i = 0; i < count; ++i) {
    float x = hash01(i, 1, seed) * c.width;
    float y = hash01(i, 2, seed) * c.height;
    float m = hash01(i, 3, seed);
    float b = brightness * (0.15f + 0.85f * m * m * m);
    float tint = hash01(i, 4, seed);
    Rgb col = tint < 0.3f ? Rgb{0.75f, 0.85f, 1.0f} : (tint > 0.85f ? Rgb{1.0f, 0.85f, 0.7f} : Rgb{1, 1, 1});
    int r = b > 0.7f ? 3 : 1;
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) {
        int px = static_cast<int>(x) + dx, py = static_cast<int>(y) + dy;
        if (px < 0 || py < 0 || px >= c.width || py >= c.height) continue;
        float fx = px + 0.5f - x, fy = py + 0.5f - y;
        float core = std::exp(-(fx * fx + fy * fy) / 0.5f);
        // Bright stars get a faint cross glint.
        float cross = b > 0.7f ? 0.25f * (std::exp(-fy * fy * 4) * std::exp(-std::fabs(fx)) +
                                          std::exp(-fx * fx * 4) * std::exp(-std::fabs(fy)))
                               : 0;
        at(c, px, py) = addRgb(at(c, px, py), scaleRgb(col, b * (core + cross)));
      }
  }
}

// Pale chrome brackets in the four corners. Besides framing the picture they
// matter to the show: the opening scene's cubes carry no texture coordinates
// of their own and are drawn with this texture at coordinate (0, 1), which
// linear filtering with repeat wrapping turns into the mean of the four
// corner texels. Light lilac corners give the lit cube swarm its colour.
void drawCornerBrackets(Canvas& c) {
  const int arm = c.width / 10;    // length of each bracket arm, pixels
  const int thick = c.width / 64;  // arm thickness, pixels
  for (int y = 0; y < arm; ++y)
    for (int x = 0; x < arm; ++x) {
      if (x >= thick && y >= thick) continue;
      // Brightest at the very corner, fading along the arm.
      float along = static_cast<float>(std::max(x, y)) / arm;
      float edge = static_cast<float>(std::min(x, y)) / thick;
      Rgb chrome = mixRgb({0.72f, 0.64f, 0.88f}, {0.55f, 0.45f, 0.75f}, along);
      chrome = scaleRgb(chrome, 1.0f - 0.25f * edge);
      float alpha = 1.0f - smoothStep(0.8f, 1.0f, along);
      blendPixel(c, x, y, chrome, alpha);
      blendPixel(c, c.width - 1 - x, y, chrome, alpha);
      blendPixel(c, x, c.height - 1 - y, chrome, alpha);
      blendPixel(c, c.width - 1 - x, c.height - 1 - y, chrome, alpha);
    }
}

}  // namespace

Canvas paintLogo(int size) {
  Canvas c = makeCanvas(size, size, {0, 0, 0});
  // Night sky over a receding grid floor, a sun-like glow on the horizon
  // where the cube swarm spins.
  const float horizon = 300;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float vx = viewX(c, x), vy = viewY(c, y);
      Rgb p;
      if (vy < horizon) {
        float t = vy / horizon;
        p = mixRgb({0.01f, 0.01f, 0.05f}, {0.22f, 0.05f, 0.30f}, t * t * t);
        float n = tileFbm(vx / 60, vy / 60, 64, 5, 7);
        p = addRgb(p, scaleRgb({0.10f, 0.05f, 0.16f}, smoothStep(0.45f, 0.8f, n) * t));
      } else {
        // Floor: perspective grid lines fading into the haze at the horizon.
        float depth = 1 / std::max(0.004f, (vy - horizon) / (kViewH - horizon));
        float gx = (vx - kViewW / 2) * depth / 60;
        float gz = depth * 1.6f;
        float lineX = std::fabs(gx - std::round(gx));
        float lineZ = std::fabs(gz - std::round(gz));
        float w = 0.02f * depth;
        float grid = std::max(1 - smoothStep(0, w + 0.02f, lineX), 1 - smoothStep(0, w + 0.03f, lineZ));
        float haze = std::exp(-(vy - horizon) / 40);
        p = mixRgb({0.03f, 0.0f, 0.06f}, {0.30f, 0.06f, 0.32f}, haze);
        p = addRgb(p, scaleRgb({0.2f, 0.55f, 0.95f}, grid * (1 - haze) * 0.8f));
      }
      // Glow where the cubes spin, centred a little above the horizon.
      float gx = (vx - kViewW / 2) / 170, gy = (vy - 250) / 120;
      float glow = std::exp(-(gx * gx + gy * gy));
      p = addRgb(p, scaleRgb({0.55f, 0.18f, 0.35f}, glow * 0.6f));
      // Horizon line.
      p = addRgb(p, scaleRgb({0.9f, 0.45f, 0.7f}, std::exp(-std::fabs(vy - horizon) / 2.5f) * 0.8f));
      at(c, x, y) = p;
    }
  // Stars only in the sky.
  Canvas stars = makeCanvas(size, size, {0, 0, 0});
  drawStars(stars, 260, 11, 0.9f);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float fade = 1 - smoothStep(horizon - 60, horizon, viewY(c, y));
      at(c, x, y) = addRgb(at(c, x, y), scaleRgb(at(stars, x, y), fade));
    }

  LetterLook top{};
  top.yTop = 48;
  top.yBottom = 104;
  top.sky = {0.80f, 0.92f, 1.0f};
  top.horizon = {0.10f, 0.12f, 0.35f};
  top.earth = {1.0f, 0.78f, 0.45f};
  top.glint = {1, 1, 1};
  top.bevel = 5;
  top.relief = 4;
  top.outline = {0.02f, 0.01f, 0.05f};
  top.outlineWidth = 3;
  top.glow = {0.35f, 0.12f, 0.45f};
  top.glowRadius = 9;
  top.shadowDx = 6;
  top.shadowDy = 7;
  top.shadowSoft = 6;
  top.shadowAlpha = 0.7f;
  drawTitle(c, "QUENDALOOP", kViewW / 2, 104, 56, 0.18f, 1.4f, top);

  LetterLook bottom = top;
  bottom.yTop = 398;
  bottom.yBottom = 446;
  bottom.sky = {1.0f, 0.95f, 0.75f};
  bottom.horizon = {0.55f, 0.12f, 0.05f};
  bottom.earth = {1.0f, 0.55f, 0.15f};
  bottom.bevel = 4;
  bottom.glow = {0.5f, 0.15f, 0.05f};
  bottom.glowRadius = 7;
  bottom.shadowDx = 4;
  bottom.shadowDy = 5;
  drawTitle(c, "BRAKKELGRUSK", kViewW / 2, 446, 48, 0.18f, 1.3f, bottom);
  drawCornerBrackets(c);
  return c;
}

Canvas paintBackdrop(int size) {
  Canvas c = makeCanvas(size, size, {0, 0, 0});
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float vx = viewX(c, x), vy = viewY(c, y);
      float u = vx / 640, v = vy / 480;
      // Two layers of nebula: a violet veil and teal filaments.
      float n1 = tileFbm(u * 6, v * 4.5f, 64, 6, 21);
      float n2 = tileFbm(u * 9 + 3, v * 7, 64, 6, 33);
      float veil = smoothStep(0.42f, 0.78f, n1);
      float fil = std::pow(1 - std::fabs(n2 * 2 - 1), 6.0f) * smoothStep(0.3f, 0.7f, n1);
      // Darker in the middle, where the tube turns.
      float cx = (vx - 320) / 260, cy = (vy - 240) / 200;
      float middle = std::exp(-(cx * cx + cy * cy));
      Rgb p = mixRgb({0.0f, 0.0f, 0.02f}, {0.02f, 0.02f, 0.08f}, v);
      p = addRgb(p, scaleRgb({0.32f, 0.08f, 0.42f}, veil * (1 - 0.6f * middle)));
      p = addRgb(p, scaleRgb({0.05f, 0.45f, 0.55f}, fil * 0.8f * (1 - 0.5f * middle)));
      // A distant galaxy core, lower left.
      float gx = (vx - 150) / 70, gy = (vy - 360) / 28;
      float rot = 0.35f;
      float ax = gx * std::cos(rot) - gy * std::sin(rot), ay = gx * std::sin(rot) + gy * std::cos(rot);
      p = addRgb(p, scaleRgb({1.0f, 0.8f, 0.6f}, std::exp(-(ax * ax + ay * ay) * 1.5f) * 0.7f));
      at(c, x, y) = p;
    }
  drawStars(c, 420, 5, 1.0f);
  // A ringed planet at the upper right with a lit limb.
  const float px = 478, py = 112, pr = 68;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float dx = (viewX(c, x) - px) / pr, dy = (viewY(c, y) - py) / pr;
      float r2 = dx * dx + dy * dy;
      Rgb& p = at(c, x, y);
      // Ring behind the planet (upper half of the ellipse).
      float rx = dx * 0.93f + dy * 0.37f, ry = (-dx * 0.37f + dy * 0.93f) * 4.2f;
      float rr = std::sqrt(rx * rx + ry * ry);
      float ring = smoothStep(1.35f, 1.45f, rr) * (1 - smoothStep(1.9f, 2.05f, rr)) *
                   (0.6f + 0.4f * std::sin(rr * 40));
      bool front = ry > 0;
      if (!front) p = addRgb(p, scaleRgb({0.75f, 0.62f, 0.5f}, ring * 0.55f));
      if (r2 < 1.05f) {
        float cover = clamp01((1 - std::sqrt(r2)) * pr / 1.2f);
        float nz = std::sqrt(std::max(0.0f, 1 - r2));
        float light = std::max(0.0f, -0.75f * dx + 0.45f * dy + 0.5f * nz);
        float bands = tileFbm(dx * 2, dy * 14 + 40, 64, 4, 9);
        Rgb surface = mixRgb({0.45f, 0.25f, 0.20f}, {0.85f, 0.65f, 0.45f}, bands);
        Rgb lit = scaleRgb(surface, 0.03f + light * 0.95f);
        // Atmosphere rim.
        lit = addRgb(lit, scaleRgb({0.4f, 0.6f, 1.0f}, std::pow(1 - nz, 3.0f) * light * 0.8f));
        p = mixRgb(p, lit, cover);
      }
      if (front) p = addRgb(p, scaleRgb({0.75f, 0.62f, 0.5f}, ring * 0.55f));
    }
  // The picture floats in black behind the tube: a darkened margin and a
  // thin rim make it a window onto the sky.
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float vx = viewX(c, x), vy = viewY(c, y);
      float edge = std::min(std::min(vx, kViewW - vx), std::min(vy, kViewH - vy));
      Rgb& p = at(c, x, y);
      p = scaleRgb(p, 0.55f + 0.45f * smoothStep(4, 40, edge));
      float rim = std::exp(-std::pow((edge - 7) / 1.1f, 2.0f));
      p = addRgb(p, scaleRgb({0.35f, 0.55f, 0.85f}, rim * 0.8f));
    }
  return c;
}

Canvas paintCredits(int size) {
  Canvas c = makeCanvas(size, size, {0, 0, 0});
  // A vertical gradient only, so rows stay uniform and pack well.
  for (int y = 0; y < size; ++y) {
    float v = viewY(c, y) / kViewH;
    Rgb row = mixRgb({0.02f, 0.03f, 0.10f}, {0.10f, 0.02f, 0.12f}, v);
    row = addRgb(row, scaleRgb({0.10f, 0.05f, 0.18f}, std::exp(-std::pow((v - 0.32f) / 0.15f, 2.0f))));
    for (int x = 0; x < size; ++x) at(c, x, y) = row;
  }
  // Thin rules above and below the roles.
  auto rule = [&](float vy, float half) {
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        float dy = std::fabs(viewY(c, y) - vy);
        float dx = std::fabs(viewX(c, x) - 320) / half;
        float a = (1 - smoothStep(0.5f, 1.5f, dy)) * (1 - smoothStep(0.6f, 1.0f, dx));
        blendPixel(c, x, y, {0.85f, 0.6f, 0.25f}, a);
      }
  };

  LetterLook title{};
  title.yTop = 62;
  title.yBottom = 100;
  title.sky = {0.80f, 0.92f, 1.0f};
  title.horizon = {0.10f, 0.12f, 0.35f};
  title.earth = {1.0f, 0.78f, 0.45f};
  title.glint = {1, 1, 1};
  title.bevel = 3;
  title.relief = 4;
  title.outline = {0.01f, 0.01f, 0.03f};
  title.outlineWidth = 2;
  title.shadowDx = 3;
  title.shadowDy = 4;
  title.shadowSoft = 3;
  title.shadowAlpha = 0.6f;
  drawTitle(c, "QUENDALOOP", kViewW / 2, 100, 38, 0.18f, 1.3f, title);
  LetterLook title2 = title;
  title2.yTop = 116;
  title2.yBottom = 142;
  title2.sky = {1.0f, 0.95f, 0.75f};
  title2.horizon = {0.55f, 0.12f, 0.05f};
  title2.earth = {1.0f, 0.55f, 0.15f};
  drawTitle(c, "BRAKKELGRUSK", kViewW / 2, 142, 26, 0.18f, 1.3f, title2);

  drawPlainText(c, "Ravnel demoengine", kViewW / 2, 196, 22, 0.2f, 0.85f, {1.0f, 0.82f, 0.45f},
                {0.25f, 0.12f, 0.02f}, 5, true);
  rule(228, 190);
  const char* roles[3][2] = {{"code", "Zirn"}, {"music", "Pelvor"}, {"graphics", "Brakkel"}};
  for (int i = 0; i < 3; ++i) {
    float baseline = 285 + i * 48;
    // Role right-aligned left of the centre, handle left-aligned right of it.
    float w = textWidth(roles[i][0], 2.4f) * 2.0f;
    drawPlainText(c, roles[i][0], 300 - w, baseline, 20, 0.0f, 0.7f, {0.55f, 0.65f, 0.95f}, {0, 0, 0}, 0,
                  false);
    drawPlainText(c, roles[i][1], 340, baseline, 26, 0.15f, 0.9f, {1.0f, 0.97f, 0.9f}, {0.15f, 0.2f, 0.45f},
                  6, false);
  }
  rule(408, 190);
  drawPlainText(c, "a Ravnel demoengine production", kViewW / 2, 442, 13, 0.0f, 0.8f, {0.5f, 0.45f, 0.6f},
                {0, 0, 0}, 0, true);
  return c;
}

Canvas paintCrate(int size) {
  Canvas c = makeCanvas(size, size, {0, 0, 0});
  const float s = size / 256.0f;
  // Broad boards and coarse grain: on the tube the picture repeats several
  // times across a small area, so fine detail would only shimmer.
  const float frame = 36 * s;  // width of the frame boards
  const int planks = 3;
  auto grain = [&](float along, float across, uint32_t seed) {
    float warp = tileFbm(along / (90 * s), across / (30 * s), 64, 3, seed) * 5;
    float rings = std::sin(across / (5.5f * s) + warp) * 0.5f + 0.5f;
    float fine = tileFbm(along / (6 * s), across / (40 * s), 256, 2, seed + 5);
    return 0.8f * rings + 0.2f * fine;
  };
  const Rgb pale{0.82f, 0.60f, 0.34f}, dark{0.50f, 0.31f, 0.14f};
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float fx = x + 0.5f, fy = y + 0.5f;
      float edge;  // distance to the nearest board edge, for the bevel
      float g;
      float shade = 1;
      bool inFrame = fx < frame || fy < frame || fx > size - frame || fy > size - frame;
      // Diagonal brace from lower left to upper right across the panel.
      float diag = std::fabs(fx + fy - size) / std::sqrt(2.0f);
      bool inBrace = !inFrame && diag < frame * 0.6f;
      if (inFrame) {
        // Mitred corners: the horizontal boards end on the diagonal.
        float cxd = std::min(fx, size - fx), cyd = std::min(fy, size - fy);
        bool horizontal = cyd < frame && cyd <= cxd;
        if (horizontal) {
          g = grain(fx, fy + (fy > size / 2 ? 97 * s : 0), 3);
          edge = std::min(cyd, frame - cyd);
          edge = std::min(edge, cxd - cyd + 1);  // the mitre seam
        } else {
          g = grain(fy, fx + (fx > size / 2 ? 53 * s : 0), 4);
          edge = std::min(cxd, frame - cxd);
          edge = std::min(edge, std::fabs(cyd - cxd) + 1);
        }
        shade = 1.05f;
      } else if (inBrace) {
        float along = (fx - fy) / std::sqrt(2.0f);
        g = grain(along, diag + 200, 8);
        edge = frame * 0.6f - diag;
        shade = 1.12f;
      } else {
        float pw = (size - 2 * frame) / planks;
        float local = fx - frame;
        int k = static_cast<int>(local / pw);
        float inPlank = local - k * pw;
        g = grain(fy + k * 77 * s, inPlank + k * 31 * s, 12 + k);
        edge = std::min(inPlank, pw - inPlank);
        // The planks lie behind frame and brace: shadow near them.
        float toFrame = std::min(std::min(fx, size - fx), std::min(fy, size - fy)) - frame;
        float toBrace = diag - frame * 0.6f;
        float occl = std::min(toFrame, toBrace);
        shade = 0.62f + 0.3f * smoothStep(0, 10 * s, occl);
        // Lit from the upper left: the brace's shadow falls down and right.
        if (toBrace > 0 && fx + fy > size) shade *= 0.85f + 0.15f * smoothStep(0, 14 * s, toBrace);
      }
      Rgb p = mixRgb(dark, pale, g);
      float bevel = smoothStep(0, 5 * s, edge);
      p = scaleRgb(p, shade * (0.25f + 0.75f * bevel));
      // Grime in the gaps and near the corners.
      float grime = tileFbm(fx / (24 * s), fy / (24 * s), 64, 4, 90);
      p = scaleRgb(p, 0.85f + 0.25f * grime);
      at(c, x, y) = p;
    }
  // Nails on the frame at the corners and in the middle of each side.
  for (int side = 0; side < 4; ++side)
    for (float t : {0.07f, 0.5f, 0.93f}) {
      float nx = side < 2 ? t * size : (side == 2 ? frame / 2 : size - frame / 2);
      float ny = side < 2 ? (side == 0 ? frame / 2 : size - frame / 2) : t * size;
      for (int y = static_cast<int>(ny - 5 * s); y <= ny + 5 * s; ++y)
        for (int x = static_cast<int>(nx - 5 * s); x <= nx + 5 * s; ++x) {
          float dx = (x + 0.5f - nx) / (3.2f * s), dy = (y + 0.5f - ny) / (3.2f * s);
          float r2 = dx * dx + dy * dy;
          if (r2 > 1.4f) continue;
          float cover = clamp01((1 - std::sqrt(r2)) * 3.2f * s + 0.5f);
          float nz = std::sqrt(std::max(0.0f, 1 - r2));
          float light = std::max(0.0f, -0.5f * dx - 0.6f * dy + 0.6f * nz);
          Rgb metal = addRgb(scaleRgb({0.45f, 0.45f, 0.5f}, 0.3f + light),
                             scaleRgb({1, 1, 1}, std::pow(light, 12.0f)));
          blendPixel(c, x, y, metal, cover);
        }
    }
  return c;
}

Canvas paintGravel(int size) {
  Canvas c = makeCanvas(size, size, {0, 0, 0});
  // Cellular stones on a grid of `cells` x `cells` jittered points that wraps
  // around, so the picture tiles seamlessly.
  const int cells = 10;
  const float cell = static_cast<float>(size) / cells;
  std::vector<float> height(static_cast<size_t>(size) * size);
  std::vector<int> owner(static_cast<size_t>(size) * size);
  std::vector<float> seam(static_cast<size_t>(size) * size);  // 1 in the gaps, 0 on stone
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float fx = (x + 0.5f) / cell, fy = (y + 0.5f) / cell;
      int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
      float d1 = 1e9f, d2 = 1e9f;
      int best = 0;
      for (int oy = -2; oy <= 2; ++oy)
        for (int ox = -2; ox <= 2; ++ox) {
          int gx = ix + ox, gy = iy + oy;
          int wx = (gx % cells + cells) % cells, wy = (gy % cells + cells) % cells;
          float px = gx + 0.15f + 0.7f * hash01(wx, wy, 71);
          float py = gy + 0.15f + 0.7f * hash01(wx, wy, 72);
          // Stones are slightly elongated, each in its own direction.
          float ang = hash01(wx, wy, 73) * kPi;
          float dx = fx - px, dy = fy - py;
          float ax = dx * std::cos(ang) + dy * std::sin(ang);
          float ay = (-dx * std::sin(ang) + dy * std::cos(ang)) * 1.3f;
          float d = std::sqrt(ax * ax + ay * ay);
          if (d < d1) {
            d2 = d1;
            d1 = d;
            best = wy * cells + wx;
          } else if (d < d2) {
            d2 = d;
          }
        }
      float gap = (d2 - d1);  // 0 on the border between two stones
      float dome = smoothStep(0.0f, 0.35f, gap);
      float rough = tileFbm(x / (cell * 0.25f), y / (cell * 0.25f), cells * 4, 3, 75);
      height[static_cast<size_t>(y) * size + x] = std::sqrt(dome) * (0.85f + 0.3f * rough);
      owner[static_cast<size_t>(y) * size + x] = best;
      seam[static_cast<size_t>(y) * size + x] = 1 - smoothStep(0.0f, 0.12f, gap);
    }
  auto h = [&](int x, int y) {
    x = (x % size + size) % size;
    y = (y % size + size) % size;
    return height[static_cast<size_t>(y) * size + x];
  };
  const Rgb tones[] = {{0.50f, 0.52f, 0.60f}, {0.70f, 0.52f, 0.32f}, {0.28f, 0.50f, 0.58f},
                       {0.74f, 0.68f, 0.58f}, {0.55f, 0.33f, 0.26f}, {0.30f, 0.46f, 0.40f}};
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float nx = (h(x - 1, y) - h(x + 1, y)) * 3.5f;
      float ny = (h(x, y - 1) - h(x, y + 1)) * 3.5f;
      float len = std::sqrt(nx * nx + ny * ny + 1);
      float light = std::max(0.0f, (-0.5f * nx - 0.6f * ny + 0.65f) / len);
      int o = owner[static_cast<size_t>(y) * size + x];
      Rgb tone = tones[static_cast<int>(hash01(o, 0, 74) * 6) % 6];
      float grey = (tone.r + tone.g + tone.b) / 3;
      tone = mixRgb(tone, {grey, grey, grey}, 0.3f);  // stone, not glazed tile
      // Grain on the stones; the lattice period divides the picture so it tiles.
      float speck = tileNoise(x * 0.5f, y * 0.5f, size / 2, 77);
      Rgb p = scaleRgb(tone, 0.75f + 0.3f * speck);
      float hh = h(x, y);
      p = scaleRgb(p, (0.25f + 1.05f * light) * (0.35f + 0.65f * smoothStep(0.0f, 0.4f, hh)));
      // Embers glowing in the gaps, brighter in some places than others.
      float heat = tileFbm(x / (cell * 2), y / (cell * 2), cells / 2, 3, 78);
      float ember = seam[static_cast<size_t>(y) * size + x] * smoothStep(0.3f, 0.7f, heat);
      p = mixRgb(p, {1.0f, 0.55f, 0.12f}, ember * 0.9f);
      at(c, x, y) = p;
    }
  return c;
}

Canvas paintIcon(int size, std::vector<float>* alpha) {
  // The logo's design in a square: its night sky, glowing horizon and grid
  // floor, its chrome lettering reduced to the initial, and its lilac corner
  // brackets. Drawn in a 256 x 256 unit space.
  const float space = 256, horizon = 168;
  const float unit = space / size;
  Canvas c = makeCanvas(size, size, {0, 0, 0});
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float vx = (x + 0.5f) * unit, vy = (y + 0.5f) * unit;
      Rgb p;
      if (vy < horizon) {
        float t = vy / horizon;
        p = mixRgb({0.01f, 0.01f, 0.05f}, {0.22f, 0.05f, 0.30f}, t * t * t);
      } else {
        float depth = 1 / std::max(0.004f, (vy - horizon) / (space - horizon));
        float gx = (vx - space / 2) * depth / 40;
        float gz = depth * 1.2f;
        float lineX = std::fabs(gx - std::round(gx));
        float lineZ = std::fabs(gz - std::round(gz));
        float w = 0.02f * depth;
        float grid = std::max(1 - smoothStep(0, w + 0.04f, lineX), 1 - smoothStep(0, w + 0.05f, lineZ));
        float haze = std::exp(-(vy - horizon) / 30);
        p = mixRgb({0.03f, 0.0f, 0.06f}, {0.30f, 0.06f, 0.32f}, haze);
        p = addRgb(p, scaleRgb({0.2f, 0.55f, 0.95f}, grid * (1 - haze) * 0.9f));
      }
      float gx = (vx - space / 2) / 90, gy = (vy - 130) / 70;
      p = addRgb(p, scaleRgb({0.55f, 0.18f, 0.35f}, std::exp(-(gx * gx + gy * gy)) * 0.7f));
      p = addRgb(p, scaleRgb({0.9f, 0.45f, 0.7f}, std::exp(-std::fabs(vy - horizon) / 2.0f) * 0.8f));
      at(c, x, y) = p;
    }

  LetterLook look{};
  look.yTop = 44;
  look.yBottom = 200;
  look.sky = {0.80f, 0.92f, 1.0f};
  look.horizon = {0.10f, 0.12f, 0.35f};
  look.earth = {1.0f, 0.78f, 0.45f};
  look.glint = {1, 1, 1};
  look.bevel = 8;
  look.relief = 4;
  look.outline = {0.02f, 0.01f, 0.05f};
  look.outlineWidth = 5;
  look.glow = {0.35f, 0.12f, 0.45f};
  look.glowRadius = 14;
  look.shadowDx = 8;
  look.shadowDy = 9;
  look.shadowSoft = 8;
  look.shadowAlpha = 0.7f;
  TextStyle st;
  st.scaleY = 150.0f / 10;
  st.scaleX = st.scaleY;
  st.slant = 0.12f;
  st.x = space / 2 - textWidth("Q", st.spacing) * st.scaleX / 2 - st.slant * 5 * st.scaleX;
  st.y = 196;
  DistanceField f = strokeField(layoutText("Q", st), size, size, unit, unit, 1.25f * st.scaleY, 120);
  shadeLetters(c, f, unit, unit, look);

  // The brackets, inside the rounded corners of the tile.
  const float inset = 22, arm = 40, thick = 7;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float vx = (x + 0.5f) * unit, vy = (y + 0.5f) * unit;
      float dx = std::min(vx, space - vx) - inset, dy = std::min(vy, space - vy) - inset;
      if (dx < 0 || dy < 0 || dx > arm || dy > arm || (dx > thick && dy > thick)) continue;
      float along = std::max(dx, dy) / arm;
      Rgb chrome = mixRgb({0.72f, 0.64f, 0.88f}, {0.55f, 0.45f, 0.75f}, along);
      chrome = scaleRgb(chrome, 1.0f - 0.25f * std::min(dx, dy) / thick);
      blendPixel(c, x, y, chrome, 1.0f - smoothStep(0.8f, 1.0f, along));
    }

  // A tile with rounded corners: coverage of a rounded square.
  const float radius = 40;
  alpha->assign(static_cast<size_t>(size) * size, 1.0f);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      float vx = (x + 0.5f) * unit, vy = (y + 0.5f) * unit;
      float qx = std::max(0.0f, radius - std::min(vx, space - vx));
      float qy = std::max(0.0f, radius - std::min(vy, space - vy));
      float outside = std::sqrt(qx * qx + qy * qy) - radius;  // > 0 beyond the edge
      (*alpha)[static_cast<size_t>(y) * size + x] = clamp01(0.5f - outside / unit);
    }
  return c;
}

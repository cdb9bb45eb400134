#include "font.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace {

struct Glyph {
  char ch;
  float width;       // advance without the spacing, font units
  const char* path;  // M x y: new stroke; L x y: line to; A cx cy rx ry a0 a1: arc
                     // (degrees, counter-clockwise, y up); O x0 y0 x1 y1 r: closed
                     // rounded rectangle
};

// Round corners use radius 2.5 on capitals and 2 on lower case.
const Glyph kGlyphs[] = {
    {' ', 3.5f, ""},
    {'A', 7, "M0 0 L0 7.5 A2.5 7.5 2.5 2.5 180 90 L4.5 10 A4.5 7.5 2.5 2.5 90 0 L7 0 M0 4.5 L7 4.5"},
    {'B', 7,
     "M0 0 L0 10 L4 10 A4 7.75 2.25 2.25 90 -90 L0 5.5 M0 5.5 L4.5 5.5 A4.5 2.75 2.5 2.75 90 -90 "
     "L0 0"},
    {'C', 7, "M7 10 L2.5 10 A2.5 7.5 2.5 2.5 90 180 L0 2.5 A2.5 2.5 2.5 2.5 180 270 L7 0"},
    {'D', 7, "M0 0 L0 10 L4.5 10 A4.5 7.5 2.5 2.5 90 0 L7 2.5 A4.5 2.5 2.5 2.5 0 -90 L0 0"},
    {'E', 6.5f, "M6.5 10 L0 10 L0 0 L6.5 0 M0 5.25 L5.2 5.25"},
    {'F', 6.5f, "M6.5 10 L0 10 L0 0 M0 5.25 L5.2 5.25"},
    {'G', 7,
     "M7 10 L2.5 10 A2.5 7.5 2.5 2.5 90 180 L0 2.5 A2.5 2.5 2.5 2.5 180 270 L4.5 0 A4.5 2.5 2.5 "
     "2.5 270 360 L7 5 L3.8 5"},
    {'H', 7, "M0 0 L0 10 M7 0 L7 10 M0 5.25 L7 5.25"},
    {'I', 0, "M0 0 L0 10"},
    {'J', 6, "M6 10 L6 2.5 A3.5 2.5 2.5 2.5 0 -90 L2.5 0 A2.5 2.5 2.5 2.5 270 180"},
    {'K', 7, "M0 0 L0 10 M6.8 10 L0 4.2 M2.6 6.4 L7 0"},
    {'L', 6.5f, "M0 10 L0 0 L6.5 0"},
    {'M', 8.5f, "M0 0 L0 10 L4.25 4.2 L8.5 10 L8.5 0"},
    {'N', 7, "M0 0 L0 10 L7 0 L7 10"},
    {'O', 7, "O0 0 7 10 2.5"},
    {'P', 7, "M0 0 L0 10 L4.5 10 A4.5 7.5 2.5 2.5 90 0 L7 7.25 A4.5 7.25 2.5 2.5 0 -90 L0 4.75"},
    {'Q', 7, "O0 0 7 10 2.5 M4.2 2.6 L7.6 -1.2"},
    {'R', 7,
     "M0 0 L0 10 L4.5 10 A4.5 7.5 2.5 2.5 90 0 L7 7.25 A4.5 7.25 2.5 2.5 0 -90 L0 4.75 M3.6 4.75 "
     "L7 0"},
    {'S', 7, "M7 10 L2.5 10 A2.5 7.625 2.5 2.375 90 270 L4.5 5.25 A4.5 2.625 2.5 2.625 90 -90 L0 0"},
    {'T', 7, "M0 10 L7 10 M3.5 10 L3.5 0"},
    {'U', 7, "M0 10 L0 2.5 A2.5 2.5 2.5 2.5 180 270 L4.5 0 A4.5 2.5 2.5 2.5 270 360 L7 10"},
    {'V', 7, "M0 10 L3.5 0 L7 10"},
    {'W', 9.5f, "M0 10 L2.2 0 L4.75 7 L7.3 0 L9.5 10"},
    {'X', 7, "M0 0 L7 10 M0 10 L7 0"},
    {'Y', 7, "M0 10 L3.5 5 L7 10 M3.5 5 L3.5 0"},
    {'Z', 7, "M0 10 L7 10 L0 0 L7 0"},
    {'a', 5.5f, "M0.5 7 L3.5 7 A3.5 5 2 2 90 0 L5.5 0 M5.5 4 L2 4 A2 2 2 2 90 270 L5.5 0"},
    {'b', 5.5f, "M0 10 L0 0 L3.5 0 A3.5 2 2 2 270 360 L5.5 5 A3.5 5 2 2 0 90 L0 7"},
    {'c', 5.5f, "M5.5 7 L2 7 A2 5 2 2 90 180 L0 2 A2 2 2 2 180 270 L5.5 0"},
    {'d', 5.5f, "M5.5 10 L5.5 0 L2 0 A2 2 2 2 270 180 L0 5 A2 5 2 2 180 90 L5.5 7"},
    {'e', 5.5f, "M0 3.6 L5.5 3.6 L5.5 5 A3.5 5 2 2 0 90 L2 7 A2 5 2 2 90 180 L0 2 A2 2 2 2 180 270 L5.5 0"},
    {'f', 4.5f, "M4.5 10 L3 10 A3 8.5 1.5 1.5 90 180 L1.5 0 M0 7 L4.2 7"},
    {'g', 5.5f,
     "M5.5 7 L5.5 -1 A3.5 -1 2 2 0 -90 L0.5 -3 M5.5 7 L2 7 A2 5 2 2 90 180 L0 2 A2 2 2 2 180 270 "
     "L5.5 0"},
    {'h', 5.5f, "M0 10 L0 0 M0 7 L3.5 7 A3.5 5 2 2 90 0 L5.5 0"},
    {'i', 0, "M0 0 L0 7 M0 9.4 L0 9.5"},
    {'j', 2, "M2 7 L2 -1 A0 -1 2 2 0 -90 L-1 -3 M2 9.4 L2 9.5"},
    {'k', 5.5f, "M0 0 L0 10 M5.3 7 L0 2.8 M2 4.4 L5.5 0"},
    {'l', 1.8f, "M0 10 L0 1.5 A1.5 1.5 1.5 1.5 180 270 L1.8 0"},
    {'m', 8.5f, "M0 0 L0 7 L6.5 7 A6.5 5 2 2 90 0 L8.5 0 M4.25 7 L4.25 0"},
    {'n', 5.5f, "M0 0 L0 7 L3.5 7 A3.5 5 2 2 90 0 L5.5 0"},
    {'o', 5.5f, "O0 0 5.5 7 2"},
    {'p', 5.5f, "M0 -3 L0 7 L3.5 7 A3.5 5 2 2 90 0 L5.5 2 A3.5 2 2 2 0 -90 L0 0"},
    {'q', 5.5f, "M5.5 -3 L5.5 7 L2 7 A2 5 2 2 90 180 L0 2 A2 2 2 2 180 270 L5.5 0"},
    {'r', 4.5f, "M0 0 L0 7 M0 5 A2 5 2 2 180 90 L4.5 7"},
    {'s', 5.5f, "M5.5 7 L1.75 7 A1.75 5.25 1.75 1.75 90 270 L3.75 3.5 A3.75 1.75 1.75 1.75 90 -90 L0 0"},
    {'t', 4.5f, "M1.5 10 L1.5 1.5 A3 1.5 1.5 1.5 180 270 L4.5 0 M0 7 L4.5 7"},
    {'u', 5.5f, "M0 7 L0 2 A2 2 2 2 180 270 L5.5 0 L5.5 7"},
    {'v', 5.5f, "M0 7 L2.75 0 L5.5 7"},
    {'w', 8, "M0 7 L1.8 0 L4 5 L6.2 0 L8 7"},
    {'x', 5.5f, "M0 0 L5.5 7 M0 7 L5.5 0"},
    {'y', 5.5f, "M0 7 L0 2 A2 2 2 2 180 270 L5.5 0 M5.5 7 L5.5 -1 A3.5 -1 2 2 0 -90 L0.5 -3"},
    {'z', 5.5f, "M0 7 L5.5 7 L0 0 L5.5 0"},
    {'0', 6, "O0 0 6 10 2"},
    {'1', 3, "M0.5 8 L3 10 L3 0"},
    {'2', 6, "M0 10 L6 10 L6 5 L0 5 L0 0 L6 0"},
    {'3', 6, "M0 10 L6 10 L6 0 L0 0 M1.5 5 L6 5"},
    {'4', 6, "M0 10 L0 5 L6 5 M6 10 L6 0"},
    {'5', 6, "M6 10 L0 10 L0 5 L6 5 L6 0 L0 0"},
    {'6', 6, "M6 10 L0 10 L0 0 L6 0 L6 5 L0 5"},
    {'7', 6, "M0 10 L6 10 L2.5 0"},
    {'8', 6, "O0 0 6 10 2 M0 5 L6 5"},
    {'9', 6, "M6 5 L0 5 L0 10 L6 10 L6 0 L0 0"},
    {'.', 0, "M0 0 L0 0.1"},
    {',', 1, "M1 0.5 L0 -2"},
    {'-', 4, "M0 4 L4 4"},
    {':', 0, "M0 0 L0 0.1 M0 6 L0 6.1"},
    {'!', 0, "M0 3 L0 10 M0 0 L0 0.1"},
    {'/', 5, "M0 -1 L5 11"},
    {'\'', 0, "M0 10 L0 7.5"},
};

const Glyph* findGlyph(char c) {
  for (const Glyph& g : kGlyphs)
    if (g.ch == c) return &g;
  return nullptr;
}

using Polyline = std::vector<std::pair<float, float>>;

void appendArc(Polyline& p, float cx, float cy, float rx, float ry, float a0, float a1) {
  int steps = std::max(2, static_cast<int>(std::fabs(a1 - a0) / 7.5f));
  for (int i = 0; i <= steps; ++i) {
    float a = (a0 + (a1 - a0) * i / steps) * 3.14159265f / 180.0f;
    p.emplace_back(cx + rx * std::cos(a), cy + ry * std::sin(a));
  }
}

// Parses a glyph path into polylines in font units.
std::vector<Polyline> parsePath(const char* path) {
  std::vector<Polyline> lines;
  std::istringstream in(path);
  std::string cmd;
  while (in >> cmd) {
    char op = cmd[0];
    float v[6] = {0, 0, 0, 0, 0, 0};
    const char* num = cmd.c_str() + 1;
    int count = op == 'A' ? 6 : (op == 'O' ? 5 : 2);
    v[0] = std::strtof(num, nullptr);
    for (int i = 1; i < count; ++i) in >> v[i];
    if (op == 'M') {
      lines.push_back({{v[0], v[1]}});
    } else if (op == 'L') {
      if (lines.empty()) lines.emplace_back();
      lines.back().emplace_back(v[0], v[1]);
    } else if (op == 'A') {
      if (lines.empty()) lines.emplace_back();
      appendArc(lines.back(), v[0], v[1], v[2], v[3], v[4], v[5]);
    } else if (op == 'O') {
      float x0 = v[0], y0 = v[1], x1 = v[2], y1 = v[3], r = v[4];
      Polyline p;
      p.emplace_back(x0 + r, y0);
      appendArc(p, x1 - r, y0 + r, r, r, 270, 360);
      appendArc(p, x1 - r, y1 - r, r, r, 0, 90);
      appendArc(p, x0 + r, y1 - r, r, r, 90, 180);
      appendArc(p, x0 + r, y0 + r, r, r, 180, 270);
      lines.push_back(p);
    }
  }
  return lines;
}

}  // namespace

float textWidth(const std::string& text, float spacing) {
  float w = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const Glyph* g = findGlyph(text[i]);
    w += (g ? g->width : 4) + (i + 1 < text.size() ? spacing : 0);
  }
  return w;
}

std::vector<Segment> layoutText(const std::string& text, const TextStyle& style) {
  std::vector<Segment> segs;
  float pen = 0;
  for (char c : text) {
    const Glyph* g = findGlyph(c);
    if (!g) {
      pen += 4 + style.spacing;
      continue;
    }
    for (const Polyline& line : parsePath(g->path)) {
      auto map = [&](std::pair<float, float> p, float& x, float& y) {
        x = style.x + (pen + p.first + style.slant * p.second) * style.scaleX;
        y = style.y - p.second * style.scaleY;
      };
      for (size_t i = 0; i + 1 < line.size(); ++i) {
        Segment s;
        map(line[i], s.x0, s.y0);
        map(line[i + 1], s.x1, s.y1);
        segs.push_back(s);
      }
    }
    pen += g->width + style.spacing;
  }
  return segs;
}

static float segmentDistance(const Segment& s, float x, float y) {
  float dx = s.x1 - s.x0, dy = s.y1 - s.y0;
  float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((x - s.x0) * dx + (y - s.y0) * dy) / len2 : 0;
  t = std::clamp(t, 0.0f, 1.0f);
  float px = s.x0 + dx * t - x, py = s.y0 + dy * t - y;
  return std::sqrt(px * px + py * py);
}

float DistanceField::at(int x, int y) const {
  x = std::clamp(x, 0, width - 1);
  y = std::clamp(y, 0, height - 1);
  return d[static_cast<size_t>(y) * width + x];
}

DistanceField strokeField(const std::vector<Segment>& segs, int width, int height, float unitX, float unitY,
                          float halfWidth, float limit) {
  DistanceField f;
  f.width = width;
  f.height = height;
  f.d.assign(static_cast<size_t>(width) * height, limit + halfWidth);
  float reach = limit + halfWidth;
  for (const Segment& s : segs) {
    int x0 = std::max(0, static_cast<int>((std::min(s.x0, s.x1) - reach) / unitX) - 1);
    int x1 = std::min(width - 1, static_cast<int>((std::max(s.x0, s.x1) + reach) / unitX) + 1);
    int y0 = std::max(0, static_cast<int>((std::min(s.y0, s.y1) - reach) / unitY) - 1);
    int y1 = std::min(height - 1, static_cast<int>((std::max(s.y0, s.y1) + reach) / unitY) + 1);
    for (int cy = y0; cy <= y1; ++cy)
      for (int cx = x0; cx <= x1; ++cx) {
        float dist = segmentDistance(s, (cx + 0.5f) * unitX, (cy + 0.5f) * unitY);
        float& cell = f.d[static_cast<size_t>(cy) * width + cx];
        cell = std::min(cell, dist);
      }
  }
  for (float& v : f.d) v = std::min(v, reach) - halfWidth;
  return f;
}

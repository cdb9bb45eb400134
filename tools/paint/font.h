// The generator's lettering: a geometric stroke font (straight strokes and
// round corners) for A-Z, a-z, the digits and a little punctuation, laid out
// into line segments and rendered as a signed distance field, from which the
// pictures shade bevelled, outlined and glowing letters.
//
// Font units: baseline at 0, capitals 10 high, lower case 7, descenders -3.
#pragma once

#include <string>
#include <vector>

struct Segment {
  float x0, y0, x1, y1;
};

// Where and how large a line of text is laid out. Positions are in the
// caller's drawing space (y grows downwards); `scale` is drawing units per
// font unit in x and y separately (a squeezed x keeps letters upright after
// a 4:3 stretch); `slant` shears the letters to the right per unit of height.
struct TextStyle {
  float x = 0;  // left edge of the first letter
  float y = 0;  // baseline
  float scaleX = 1, scaleY = 1;
  float slant = 0;
  float spacing = 2.2f;  // font units between letters
};

// The strokes of `text` as segments in drawing space.
std::vector<Segment> layoutText(const std::string& text, const TextStyle& style);
// The advance of `text` in font units (multiply by scaleX for drawing units).
float textWidth(const std::string& text, float spacing);

// A distance field over a grid: value(x, y) is the distance from the centre
// of cell (x, y), mapped to drawing space by `toSpace`, to the strokes,
// minus the half stroke width (negative inside a letter).
struct DistanceField {
  int width = 0, height = 0;
  std::vector<float> d;
  float at(int x, int y) const;
};

// Computes the field of `segs` thickened to `halfWidth`; cells farther than
// `limit` from any stroke hold `limit`. Cell (cx, cy) lies at drawing
// position (cx + 0.5) * unitX, (cy + 0.5) * unitY.
DistanceField strokeField(const std::vector<Segment>& segs, int width, int height, float unitX, float unitY,
                          float halfWidth, float limit);

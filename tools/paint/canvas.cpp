#include "canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

Canvas makeCanvas(int width, int height, Rgb fill) {
  Canvas c;
  c.width = width;
  c.height = height;
  c.pixels.assign(static_cast<size_t>(width) * height, fill);
  return c;
}

Rgb& at(Canvas& c, int x, int y) { return c.pixels[static_cast<size_t>(y) * c.width + x]; }

Rgb mixRgb(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb scaleRgb(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }
Rgb addRgb(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float smoothStep(float e0, float e1, float v) {
  float t = clamp01((v - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

void blendPixel(Canvas& c, int x, int y, Rgb colour, float alpha) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height || alpha <= 0) return;
  Rgb& p = at(c, x, y);
  p = mixRgb(p, colour, clamp01(alpha));
}

float hash01(int x, int y, uint32_t seed) {
  uint32_t h =
      static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<float>(h & 0xffffff) / static_cast<float>(0xffffff);
}

static int wrap(int v, int period) {
  int m = v % period;
  return m < 0 ? m + period : m;
}

float tileNoise(float x, float y, int period, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  int x0 = wrap(ix, period), x1 = wrap(ix + 1, period);
  int y0 = wrap(iy, period), y1 = wrap(iy + 1, period);
  float a = hash01(x0, y0, seed), b = hash01(x1, y0, seed);
  float c = hash01(x0, y1, seed), d = hash01(x1, y1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float tileFbm(float x, float y, int period, int octaves, uint32_t seed) {
  float sum = 0, weight = 1, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += tileNoise(x, y, period, seed + o * 101) * weight;
    total += weight;
    weight *= 0.5f;
    x *= 2;
    y *= 2;
    period *= 2;
  }
  return sum / total;
}

namespace {

struct Box {
  size_t begin, end;  // range in the sample array
};

using Sample = std::array<uint8_t, 3>;

uint8_t toByte(float v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0f)); }

int widestChannel(const std::vector<Sample>& s, Box b, int& range) {
  int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  for (size_t i = b.begin; i < b.end; ++i)
    for (int ch = 0; ch < 3; ++ch) {
      lo[ch] = std::min<int>(lo[ch], s[i][ch]);
      hi[ch] = std::max<int>(hi[ch], s[i][ch]);
    }
  int best = 0;
  range = -1;
  for (int ch = 0; ch < 3; ++ch)
    if (hi[ch] - lo[ch] > range) {
      range = hi[ch] - lo[ch];
      best = ch;
    }
  return best;
}

}  // namespace

IndexedImage quantize(const Canvas& c, int colours) {
  std::vector<Sample> samples(c.pixels.size());
  for (size_t i = 0; i < c.pixels.size(); ++i)
    samples[i] = {toByte(c.pixels[i].r), toByte(c.pixels[i].g), toByte(c.pixels[i].b)};
  std::vector<Sample> sorted = samples;

  // Split the box with the widest channel range (weighted by its pixel count)
  // at its median until there are enough boxes.
  std::vector<Box> boxes{{0, sorted.size()}};
  while (static_cast<int>(boxes.size()) < colours) {
    size_t pick = boxes.size();
    double bestScore = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) continue;
      int range = 0;
      widestChannel(sorted, boxes[i], range);
      double score = range * std::sqrt(static_cast<double>(boxes[i].end - boxes[i].begin));
      if (range > 0 && score > bestScore) {
        bestScore = score;
        pick = i;
      }
    }
    if (pick == boxes.size()) break;
    Box b = boxes[pick];
    int range = 0;
    int ch = widestChannel(sorted, b, range);
    std::sort(sorted.begin() + b.begin, sorted.begin() + b.end,
              [ch](const Sample& x, const Sample& y) { return x[ch] < y[ch]; });
    size_t mid = (b.begin + b.end) / 2;
    boxes[pick] = {b.begin, mid};
    boxes.push_back({mid, b.end});
  }

  IndexedImage out;
  out.width = c.width;
  out.height = c.height;
  for (Box b : boxes) {
    double sum[3] = {0, 0, 0};
    for (size_t i = b.begin; i < b.end; ++i)
      for (int ch = 0; ch < 3; ++ch) sum[ch] += sorted[i][ch];
    double n = static_cast<double>(b.end - b.begin);
    out.palette.push_back({static_cast<float>(sum[0] / n / 255.0), static_cast<float>(sum[1] / n / 255.0),
                           static_cast<float>(sum[2] / n / 255.0)});
  }

  std::unordered_map<uint32_t, uint8_t> nearest;
  out.indices.resize(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    uint32_t key = (s[0] << 16) | (s[1] << 8) | s[2];
    auto it = nearest.find(key);
    if (it == nearest.end()) {
      int best = 0;
      float bestDist = 1e9f;
      for (size_t p = 0; p < out.palette.size(); ++p) {
        float dr = out.palette[p].r * 255 - s[0];
        float dg = out.palette[p].g * 255 - s[1];
        float db = out.palette[p].b * 255 - s[2];
        float dist = dr * dr * 0.3f + dg * dg * 0.59f + db * db * 0.11f;
        if (dist < bestDist) {
          bestDist = dist;
          best = static_cast<int>(p);
        }
      }
      it = nearest.emplace(key, static_cast<uint8_t>(best)).first;
    }
    out.indices[i] = it->second;
  }
  return out;
}

// The BMP loader on pictures the tests build byte by byte: every accepted
// layout against expectations worked out here, and every refusal with its
// exact message, a null result and nothing left open.
#include "bmp_loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <sys/stat.h>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

#include "bmp_builder.h"
#include "recorded_boxes.h"
#include "texture_set.h"

namespace {

struct ImageDeleter {
  void operator()(RgbImage* image) const {
    if (!image) return;
    std::free(image->pixels);
    std::free(image);
  }
};
using ImagePtr = std::unique_ptr<RgbImage, ImageDeleter>;

// R, G, B bytes, bottom row first, of a picture whose pixel (x, y) is
// colour(x, y) as 0xRRGGBB.
template <typename F>
Bytes expectedRgb(int width, int height, F colour) {
  Bytes b;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t c = colour(x, y);
      b.push_back((c >> 16) & 0xff);
      b.push_back((c >> 8) & 0xff);
      b.push_back(c & 0xff);
    }
  return b;
}

Bytes pixelsOf(const RgbImage* image) {
  return Bytes(image->pixels, image->pixels + static_cast<size_t>(image->width) * image->height * 3);
}

bool isMapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream all;
  all << maps.rdbuf();
  return all.str().find(path) != std::string::npos;
}

uint32_t pattern(int x, int y) { return (x * 37 + 11) << 16 | (y * 53 + 7) << 8 | ((x + y) * 29 + 3); }

class Loader : public ::testing::Test {
 protected:
  void SetUp() override { clearBoxes(); }

  // Loads `bytes` written to a file and checks that nothing stays open.
  ImagePtr load(const Bytes& bytes, const std::string& name = "picture.bmp") {
    std::string path = dir.write(name, bytes);
    return loadPath(path);
  }
  ImagePtr loadPath(const std::string& path) {
    clearBoxes();
    int before = openDescriptorCount();
    ImagePtr image(loadBitmapImage(path.c_str()));
    EXPECT_EQ(openDescriptorCount(), before) << path;
    EXPECT_FALSE(isMapped(path)) << path;
    return image;
  }
  // A picture that must decode without any box.
  ImagePtr loadGood(const Bytes& bytes) {
    ImagePtr image = load(bytes);
    EXPECT_TRUE(recordedBoxes().empty()) << (recordedBoxes().empty() ? "" : recordedBoxes()[0].text);
    return image;
  }
  // A picture that must be refused with exactly one box showing `message`.
  void expectRefused(const Bytes& bytes, const std::string& message) {
    ImagePtr image = load(bytes);
    EXPECT_EQ(image, nullptr);
    expectOneBox(message);
  }
  void expectOneBox(const std::string& message) {
    ASSERT_EQ(recordedBoxes().size(), 1u);
    const RecordedBox& box = recordedBoxes()[0];
    EXPECT_EQ(box.text, message);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.style, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(box.owner, fakeFocusWindow());
  }

  TempDir dir;
};

TEST(ColourCount, FollowsTheHeaderKindBitCountAndColoursUsed) {
  auto core = [](uint16_t bits) {
    DibSpec s;
    s.fileHeader = false;
    s.headerSize = 12;
    s.bits = bits;
    return dibColorCount(buildDib(s).data());
  };
  EXPECT_EQ(core(1), 2);
  EXPECT_EQ(core(4), 16);
  EXPECT_EQ(core(8), 256);
  EXPECT_EQ(core(24), 0);
  EXPECT_EQ(core(2), 0);
  auto info = [](uint16_t bits, uint32_t used) {
    DibSpec s;
    s.fileHeader = false;
    s.bits = bits;
    s.colorsUsed = used;
    return dibColorCount(buildDib(s).data());
  };
  EXPECT_EQ(info(8, 0), 256);
  EXPECT_EQ(info(8, 20), 20);
  EXPECT_EQ(info(4, 0), 16);
  EXPECT_EQ(info(1, 0), 2);
  EXPECT_EQ(info(16, 0), 0);
  EXPECT_EQ(info(32, 0), 0);
  EXPECT_EQ(info(24, 16), 16);
  EXPECT_EQ(info(8, 65536), 0);  // only the low 16 bits count
  EXPECT_EQ(info(8, 65537), 1);
}

TEST_F(Loader, TwentyFourBitRowsLoseTheirPaddingAndBecomeRgb) {
  for (bool fileHeader : {true, false})
    for (int width = 1; width <= 9; ++width)
      for (int height = 1; height <= 3; ++height) {
        DibSpec s;
        s.fileHeader = fileHeader;
        s.width = width;
        s.height = height;
        s.pixels = rows24(width, height, pattern);
        ImagePtr image = loadGood(buildDib(s));
        ASSERT_NE(image, nullptr) << width << "x" << height;
        EXPECT_EQ(image->width, width);
        EXPECT_EQ(image->height, height);
        EXPECT_EQ(pixelsOf(image.get()), expectedRgb(width, height, pattern))
            << width << "x" << height << (fileHeader ? " file" : " bare");
      }
}

TEST_F(Loader, WidthFiveHeightTwoGivesThirtyTightBytes) {
  DibSpec s;
  s.width = 5;
  s.height = 2;
  // Each row: 15 bytes B, G, R, then one byte of padding.
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 15; ++i) s.pixels.push_back(static_cast<uint8_t>(row * 100 + i));
    s.pixels.push_back(0xAA);
  }
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  Bytes want;
  for (int row = 0; row < 2; ++row)
    for (int px = 0; px < 5; ++px)
      for (int ch : {2, 1, 0}) want.push_back(static_cast<uint8_t>(row * 100 + px * 3 + ch));
  EXPECT_EQ(pixelsOf(image.get()), want);
}

TEST_F(Loader, DirectColourDepths) {
  // 32 bits: blue, green, red, unused.
  DibSpec s32;
  s32.bits = 32;
  s32.width = 3;
  s32.pixels = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99};
  ImagePtr image = loadGood(buildDib(s32));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7}));

  // 16 bits, 5-5-5: channels widen by repeating their top bits.
  DibSpec s16;
  s16.bits = 16;
  s16.width = 4;
  s16.fileHeader = false;
  auto px = [](uint16_t v) { return Bytes{static_cast<uint8_t>(v & 0xff), static_cast<uint8_t>(v >> 8)}; };
  for (uint16_t v : {0x7fff, 0x7c00, (16 << 10) | (1 << 5) | 31, 0x8000}) {
    Bytes b = px(v);
    s16.pixels.insert(s16.pixels.end(), b.begin(), b.end());
  }
  image = loadGood(buildDib(s16));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), (Bytes{255, 255, 255, 255, 0, 0, 132, 8, 255, 0, 0, 0}));
}

TEST_F(Loader, BitFieldMasksAreHonoured) {
  for (bool fileHeader : {true, false}) {
    // 16 bits, 5-6-5.
    DibSpec s16;
    s16.fileHeader = fileHeader;
    s16.bits = 16;
    s16.compression = 3;
    s16.width = 2;
    s16.masks = {0xf800, 0x07e0, 0x001f};
    s16.pixels = {0xff, 0xff, 0x20, 0x00};  // white; green 1 of 63
    ImagePtr image = loadGood(buildDib(s16));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixelsOf(image.get()), (Bytes{255, 255, 255, 0, 4, 0}));

    // 32 bits stored R, G, B, unused.
    DibSpec s32;
    s32.fileHeader = fileHeader;
    s32.bits = 32;
    s32.compression = 3;
    s32.width = 2;
    s32.masks = {0x000000ff, 0x0000ff00, 0x00ff0000};
    s32.pixels = {10, 20, 30, 0, 200, 100, 50, 0};
    image = loadGood(buildDib(s32));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixelsOf(image.get()), (Bytes{10, 20, 30, 200, 100, 50}));
  }
}

TEST_F(Loader, IndexedDepthsGoThroughTheColourTable) {
  std::vector<uint32_t> palette16;
  for (uint32_t i = 0; i < 16; ++i) palette16.push_back(i * 0x100f03 + 0x010203);
  // Indices of a 9 x 2 picture, bottom row first.
  auto index = [](int x, int y, int levels) { return (x * 3 + y * 5) % levels; };
  for (int bits : {1, 4, 8}) {
    int levels = 1 << std::min(bits, 4);
    DibSpec s;
    s.bits = static_cast<uint16_t>(bits);
    s.width = 9;
    s.height = 2;
    s.palette.assign(palette16.begin(), palette16.begin() + levels);
    s.colorsUsed = static_cast<uint32_t>(levels);
    for (int y = 0; y < 2; ++y) {
      Bytes row((9 * bits + 7) / 8, 0);
      for (int x = 0; x < 9; ++x) {
        int bit = x * bits;
        row[bit / 8] |= static_cast<uint8_t>(index(x, y, levels) << (8 - bits - bit % 8));
      }
      while (row.size() % 4) row.push_back(0);
      s.pixels.insert(s.pixels.end(), row.begin(), row.end());
    }
    ImagePtr image = loadGood(buildDib(s));
    ASSERT_NE(image, nullptr) << bits;
    EXPECT_EQ(pixelsOf(image.get()),
              expectedRgb(9, 2, [&](int x, int y) { return palette16[index(x, y, levels)]; }))
        << bits << " bits";
  }
}

TEST_F(Loader, IndexPastTheColourTableIsBlack) {
  DibSpec s;
  s.bits = 8;
  s.width = 5;
  s.colorsUsed = 3;
  s.palette = {0x112233, 0x445566, 0x778899};
  s.pixels = {0, 1, 2, 3, 255, 0, 0, 0};
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()),
            (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Loader, CoreHeaderLayouts) {
  // A bare 8-bit core DIB: 256 three-byte entries, pixels from byte 780.
  DibSpec s;
  s.fileHeader = false;
  s.headerSize = 12;
  s.bits = 8;
  s.width = 4;
  s.height = 2;
  for (uint32_t i = 0; i < 256; ++i) s.palette.push_back(i << 16 | (255 - i) << 8 | (i * 7 & 0xff));
  s.pixels = {0, 1, 254, 255, 10, 20, 30, 40};
  Bytes bytes = buildDib(s);
  ASSERT_EQ(bytes.size(), 780u + 8u);
  ImagePtr image = loadGood(bytes);
  ASSERT_NE(image, nullptr);
  const uint8_t idx[8] = {0, 1, 254, 255, 10, 20, 30, 40};
  EXPECT_EQ(pixelsOf(image.get()),
            expectedRgb(4, 2, [&](int x, int y) { return s.palette[idx[y * 4 + x]]; }));

  // A 24-bit core BMP file and a 1-bit one.
  DibSpec c24;
  c24.headerSize = 12;
  c24.width = 3;
  c24.height = 2;
  c24.pixels = rows24(3, 2, pattern);
  image = loadGood(buildDib(c24));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), expectedRgb(3, 2, pattern));

  DibSpec c1;
  c1.headerSize = 12;
  c1.bits = 1;
  c1.width = 3;
  c1.palette = {0x0000ff, 0xffff00};
  c1.pixels = {0xA0, 0, 0, 0};  // 1, 0, 1
  image = loadGood(buildDib(c1));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), (Bytes{255, 255, 0, 0, 0, 255, 255, 255, 0}));
}

TEST_F(Loader, BareDibPixelsStartBehindTheColourTable) {
  // 24 bits with colours used 16: the table is skipped, pixels at byte 104.
  DibSpec s;
  s.fileHeader = false;
  s.width = 2;
  s.colorsUsed = 16;
  s.palette.assign(16, 0xffffff);
  s.pixels = rows24(2, 1, pattern);
  Bytes bytes = buildDib(s);
  ASSERT_EQ(bytes.size(), 104u + 8u);
  ImagePtr image = loadGood(bytes);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), expectedRgb(2, 1, pattern));

  // 8 bits with colours used 20: pixels at byte 120.
  DibSpec s8;
  s8.fileHeader = false;
  s8.bits = 8;
  s8.width = 4;
  s8.colorsUsed = 20;
  for (uint32_t i = 0; i < 20; ++i) s8.palette.push_back(i * 0x0a0b0c);
  s8.pixels = {19, 0, 7, 12};
  bytes = buildDib(s8);
  ASSERT_EQ(bytes.size(), 124u);
  image = loadGood(bytes);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), expectedRgb(4, 1, [&](int x, int) { return s8.palette[s8.pixels[x]]; }));
}

TEST_F(Loader, FileHeaderOffsetSkipsAGapAfterTheTable) {
  DibSpec s;
  s.bits = 8;
  s.width = 4;
  s.colorsUsed = 2;
  s.palette = {0x102030, 0x405060};
  s.gap = 10;
  s.pixels = {1, 0, 1, 1};
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()),
            (Bytes{0x40, 0x50, 0x60, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x40, 0x50, 0x60}));
}

TEST_F(Loader, TopDownPicturesComeOutBottomUp) {
  // 24 bits, 3 rows stored top row first.
  DibSpec s;
  s.width = 3;
  s.height = -3;
  s.pixels = rows24(3, 3, [](int x, int y) { return pattern(x, 2 - y); });
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->height, 3);
  EXPECT_EQ(pixelsOf(image.get()), expectedRgb(3, 3, pattern));

  // 8 bits, 2 rows stored top row first.
  DibSpec s8;
  s8.bits = 8;
  s8.width = 2;
  s8.height = -2;
  s8.colorsUsed = 2;
  s8.palette = {0x000000, 0xffffff};
  s8.pixels = {1, 1, 0, 0, 0, 1, 0, 0};  // top row white, bottom row black-white
  image = loadGood(buildDib(s8));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(pixelsOf(image.get()), (Bytes{0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255}));
}

// Colour of index i in the run-length pictures below.
uint32_t rleColour(uint32_t i) { return (i * 20 + 5) << 16 | (i * 3) << 8 | (255 - i * 9); }

TEST_F(Loader, Rle8RunsAbsoluteRunsDeltasAndEnds) {
  DibSpec s;
  s.bits = 8;
  s.compression = 1;
  s.width = 6;
  s.height = 4;
  s.colorsUsed = 16;
  for (uint32_t i = 0; i < 16; ++i) s.palette.push_back(rleColour(i));
  s.pixels = {
      3, 1, 0, 3, 2, 3,  4, 0,  // row 0: three 1s, absolute 2 3 4 and its pad byte
      0, 0,                     // end of line
      0, 2, 2, 1,               // delta right 2, up 1: row 1 stays black
      2, 5, 0, 0,               // row 2 from x = 2: two 5s, end of line
      0, 4, 7, 8, 9, 10,        // row 3: absolute 7 8 9 10, even, no pad
      8, 6,                     // a run of eight 6s, cut at the right edge
      0, 1,                     // end of bitmap
  };
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  const int want[4][6] = {
      {1, 1, 1, 2, 3, 4}, {-1, -1, -1, -1, -1, -1}, {-1, -1, 5, 5, -1, -1}, {7, 8, 9, 10, 6, 6}};
  EXPECT_EQ(pixelsOf(image.get()), expectedRgb(6, 4, [&](int x, int y) {
              return want[y][x] < 0 ? 0u : rleColour(static_cast<uint32_t>(want[y][x]));
            }));
}

TEST_F(Loader, Rle8DeltaLeavesSkippedPixelsBlack) {
  DibSpec s;
  s.bits = 8;
  s.compression = 1;
  s.width = 4;
  s.height = 3;
  s.colorsUsed = 4;
  for (uint32_t i = 0; i < 4; ++i) s.palette.push_back(rleColour(i));
  s.pixels = {1, 3, 0, 2, 2, 1, 1, 2, 0, 1};  // (0,0)=3, jump to (3,1)=2, end of bitmap
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), expectedRgb(4, 3, [](int x, int y) {
              if (x == 0 && y == 0) return rleColour(3);
              if (x == 3 && y == 1) return rleColour(2);
              return 0u;
            }));
}

TEST_F(Loader, Rle4AlternatesNibblesAndPadsAbsoluteRuns) {
  DibSpec s;
  s.bits = 4;
  s.compression = 2;
  s.width = 5;
  s.height = 2;
  for (uint32_t i = 0; i < 16; ++i) s.palette.push_back(rleColour(i));
  s.pixels = {
      3, 0x12, 0,    3,    0x34, 0x50, 0, 0,  // row 0: 1 2 1, absolute 3 4 5 (clipped after 4)
      0, 5,    0xAB, 0xCD, 0xE0, 0,           // row 1: absolute A B C D E, three bytes + pad
      0, 1,
  };
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  const int want[2][5] = {{1, 2, 1, 3, 4}, {10, 11, 12, 13, 14}};
  EXPECT_EQ(pixelsOf(image.get()),
            expectedRgb(5, 2, [&](int x, int y) { return rleColour(static_cast<uint32_t>(want[y][x])); }));
}

TEST_F(Loader, RunLengthDataMayEndByFillingEveryRow) {
  DibSpec s;
  s.bits = 8;
  s.compression = 1;
  s.width = 2;
  s.height = 2;
  s.colorsUsed = 2;
  s.palette = {0x0000ff, 0x00ff00};
  s.pixels = {2, 1, 0, 0, 2, 0, 0, 0};  // two full rows, each ended by end of line
  ImagePtr image = loadGood(buildDib(s));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(pixelsOf(image.get()), (Bytes{0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255}));
}

TEST_F(Loader, OpenFailuresNameTheFile) {
  std::string missing = dir.path + "/nothing.bmp";
  EXPECT_EQ(loadPath(missing), nullptr);
  expectOneBox("Failed to open DIB file " + missing + ".\n");

  std::string empty = dir.write("empty.bmp", {});
  EXPECT_EQ(loadPath(empty), nullptr);
  expectOneBox("Failed to open DIB file " + empty + ".\n");

  // A folder, a FIFO with no writer (whose open must not wait for one) and a
  // device are not pictures.
  EXPECT_EQ(loadPath(dir.path), nullptr);
  expectOneBox("Failed to open DIB file " + dir.path + ".\n");
  const std::string fifo = dir.path + "/fifo.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(loadPath(fifo), nullptr);
  expectOneBox("Failed to open DIB file " + fifo + ".\n");
  EXPECT_EQ(loadPath("/dev/zero"), nullptr);
  expectOneBox("Failed to open DIB file /dev/zero.\n");
  clearBoxes();
  EXPECT_EQ(loadImageIfPresent(fifo.c_str()), nullptr);
  EXPECT_TRUE(recordedBoxes().empty()) << "quiet, as a missing picture is";

  clearBoxes();
  EXPECT_EQ(loadBitmapImage(nullptr), nullptr);
  EXPECT_EQ(recordedBoxes().size(), 1u);
}

TEST_F(Loader, LongFileNameIsCutToTheMessageBuffer) {
  std::string name = dir.path + "/" + std::string(400, 'n') + ".bmp";
  EXPECT_EQ(loadPath(name), nullptr);
  std::string full = "Failed to open DIB file " + name + ".\n";
  expectOneBox(full.substr(0, 255));
}

TEST_F(Loader, HeaderSizesOtherThanTwelveOrFortyAreUnknown) {
  for (uint32_t size : {108u, 124u, 64u, 16u}) {
    DibSpec s;
    s.headerSize = size;
    s.pixels = rows24(1, 1, pattern);
    expectRefused(buildDib(s), "Unknown DIB file format.");
  }
  expectRefused(Bytes{0, 0, 0, 0, 1, 2, 3, 4}, "Unknown DIB file format.");
}

TEST_F(Loader, LayoutsTheConversionDoesNotKnowAreRefused) {
  struct Case {
    uint16_t bits;
    uint32_t compression;
  };
  for (Case c : {Case{2, 0}, Case{64, 0}, Case{0, 0}, Case{24, 4}, Case{24, 5}, Case{8, 2}, Case{4, 1},
                 Case{24, 1}, Case{24, 3}, Case{8, 3}, Case{8, 99}}) {
    DibSpec s;
    s.bits = c.bits;
    s.compression = c.compression;
    s.width = 2;
    s.height = 2;
    if (c.compression == 3) s.masks = {0xff0000, 0xff00, 0xff};
    s.pixels.assign(64, 0);
    SCOPED_TRACE(testing::Message() << c.bits << " bits, compression " << c.compression);
    expectRefused(buildDib(s), "Image file conversion error.");
  }
  // A bit-field mask with a hole in it.
  DibSpec holes;
  holes.bits = 16;
  holes.compression = 3;
  holes.masks = {0xf00f, 0x0ff0, 0};
  holes.pixels = {0, 0, 0, 0};
  expectRefused(buildDib(holes), "Image file conversion error.");
  // Run-length data cannot be top-down.
  DibSpec rle;
  rle.bits = 8;
  rle.compression = 1;
  rle.height = -1;
  rle.colorsUsed = 1;
  rle.palette = {0};
  rle.pixels = {1, 0, 0, 1};
  expectRefused(buildDib(rle), "Image file conversion error.");
}

TEST_F(Loader, ShortFilesAreRefusedNotOverread) {
  DibSpec good;
  good.width = 4;
  good.height = 4;
  good.pixels = rows24(4, 4, pattern);
  Bytes full = buildDib(good);
  // Cut anywhere: in the file header, the DIB header or the pixel rows.
  for (size_t len :
       {size_t{1}, size_t{10}, size_t{17}, size_t{30}, size_t{53}, size_t{54}, size_t{60}, full.size() - 1}) {
    SCOPED_TRACE(len);
    expectRefused(Bytes(full.begin(), full.begin() + len), "Truncated DIB file.");
  }
  // The colour table cut short.
  DibSpec indexed;
  indexed.fileHeader = false;
  indexed.bits = 8;
  indexed.palette.assign(256, 0x123456);
  indexed.pixels = {0, 0, 0, 0};
  Bytes dib = buildDib(indexed);
  expectRefused(Bytes(dib.begin(), dib.begin() + 40 + 4 * 100), "Truncated DIB file.");
  // Rows of an indexed picture cut short.
  indexed.width = 8;
  indexed.height = 2;
  indexed.pixels.assign(12, 0);
  expectRefused(buildDib(indexed), "Truncated DIB file.");
  // A pixel offset past the end of the file.
  Bytes offset = full;
  offset[10] = 0xff;
  offset[11] = 0xff;
  expectRefused(offset, "Truncated DIB file.");
  // Bit-field masks missing from a bare DIB.
  DibSpec masks;
  masks.fileHeader = false;
  masks.bits = 32;
  masks.compression = 3;
  masks.masks = {0xff0000};  // one of three
  expectRefused(buildDib(masks), "Truncated DIB file.");
}

TEST_F(Loader, RunLengthDataCutShortIsRefused) {
  DibSpec s;
  s.bits = 8;
  s.compression = 1;
  s.width = 4;
  s.height = 2;
  s.colorsUsed = 1;
  s.palette = {0xffffff};
  for (Bytes data : {Bytes{4, 0, 0, 0},        // one row, then nothing: no end of bitmap
                     Bytes{4, 0, 0},           // a code cut in half
                     Bytes{0, 2, 1},           // a delta without its second byte
                     Bytes{0, 4, 0, 0, 0},     // an absolute run missing a byte
                     Bytes{0, 3, 0, 0, 0}}) {  // an absolute run missing its padding
    s.pixels = data;
    SCOPED_TRACE(data.size());
    expectRefused(buildDib(s), "Truncated DIB file.");
  }
}

TEST_F(Loader, EmptyAndNegativeSizesAreRefused) {
  struct Case {
    int32_t width, height;
  };
  for (Case c : {Case{0, 4}, Case{4, 0}, Case{-4, 4}, Case{4, INT32_MIN}}) {
    DibSpec s;
    s.width = c.width;
    s.height = c.height;
    s.pixels.assign(64, 0);
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    expectRefused(buildDib(s), "Invalid DIB image size.");
  }
  DibSpec core;
  core.headerSize = 12;
  core.width = 0;
  expectRefused(buildDib(core), "Invalid DIB image size.");
}

TEST_F(Loader, OversizedPicturesAreRefusedBeforeAllocation) {
  // Sizes whose pixel block would wrap in 32 bits, or exceed memory.
  struct Case {
    int32_t width, height;
    uint16_t bits;
    uint32_t compression;
  };
  for (Case c : {Case{0x7fffffff, 0x7fffffff, 24, 0}, Case{65536, 65536, 8, 1}, Case{40000, -40000, 24, 0},
                 Case{0x55555556, 1, 8, 0}}) {
    DibSpec s;
    s.width = c.width;
    s.height = c.height;
    s.bits = c.bits;
    s.compression = c.compression;
    s.pixels = {0, 1};
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    expectRefused(buildDib(s), "DIB image too large.");
  }
}

TEST_F(Loader, ShowsPicturesFromTheRepository) {
  struct Asset {
    const char* name;
    int size;
  };
  for (Asset a : {Asset{"bkgrnd2", 512}, Asset{"creds", 512}, Asset{"crate", 256}, Asset{"logotyp", 512},
                  Asset{"grusk4", 256}}) {
    std::string path = std::string(QUENDALOOP_DATA_DIR) + "/Data/" + a.name + ".bmp";
    ImagePtr image = loadPath(path);
    ASSERT_NE(image, nullptr) << path;
    EXPECT_TRUE(recordedBoxes().empty());
    EXPECT_EQ(image->width, a.size);
    EXPECT_EQ(image->height, a.size);
    // Pictures, not black frames: a good spread of brightness.
    long sum = 0;
    for (int i = 0; i < a.size * a.size * 3; ++i) sum += image->pixels[i];
    EXPECT_GT(sum / (a.size * a.size * 3), 20) << a.name;
  }
}

TEST(RepositoryPictures, UseSeveralLayoutsAndPowerOfTwoSizes) {
  std::set<std::tuple<uint32_t, uint16_t, uint32_t>> layouts;  // header size, bits, compression
  for (const char* name : {"bkgrnd2", "creds", "crate", "logotyp", "grusk4"}) {
    std::ifstream in(std::string(QUENDALOOP_DATA_DIR) + "/Data/" + name + ".bmp", std::ios::binary);
    Bytes head(54, 0);
    in.read(reinterpret_cast<char*>(head.data()), 54);
    ASSERT_TRUE(in.gcount() >= 26) << name;
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(head[at] | head[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16; };
    size_t dib = u16(0) == 0x4D42 ? 14 : 0;
    uint32_t size = u32(dib);
    bool core = size == 12;
    uint32_t width = core ? u16(dib + 4) : u32(dib + 4);
    uint32_t height = core ? u16(dib + 6) : u32(dib + 8);
    layouts.insert({size, core ? u16(dib + 10) : u16(dib + 14), core ? 0 : u32(dib + 16)});
    EXPECT_GE(width, 256u) << name;
    EXPECT_EQ(width & (width - 1), 0u) << name;
    EXPECT_EQ(height & (height - 1), 0u) << name;
  }
  EXPECT_GE(layouts.size(), 3u);
}

// ImageMagick's reading of a picture as R, G, B rows, bottom row first, or
// empty when ImageMagick is not installed.
Bytes imageMagickRgb(const std::string& path, int& width, int& height) {
  std::string command = "convert '" + path + "' ppm:- 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  int maxval = 0;
  Bytes rows;
  if (std::fscanf(pipe, "P6 %d %d %d", &width, &height, &maxval) == 3 && maxval == 255) {
    std::fgetc(pipe);  // the one whitespace byte before the samples
    Bytes top(static_cast<size_t>(width) * height * 3);
    if (std::fread(top.data(), 1, top.size(), pipe) == top.size())
      for (int y = height - 1; y >= 0; --y)
        rows.insert(rows.end(), top.begin() + static_cast<long>(y) * width * 3,
                    top.begin() + static_cast<long>(y + 1) * width * 3);
  }
  pclose(pipe);
  return rows;
}

TEST_F(Loader, RepositoryPicturesMatchAnotherDecoder) {
  for (const char* name : {"bkgrnd2", "creds", "crate", "logotyp", "grusk4"}) {
    std::string path = std::string(QUENDALOOP_DATA_DIR) + "/Data/" + name + ".bmp";
    int width = 0, height = 0;
    Bytes theirs = imageMagickRgb(path, width, height);
    if (theirs.empty()) GTEST_SKIP() << "ImageMagick's convert is not available";
    ImagePtr image = loadPath(path);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_EQ(image->width, width);
    EXPECT_EQ(image->height, height);
    EXPECT_TRUE(pixelsOf(image.get()) == theirs) << name << " differs from ImageMagick's reading";
  }
}

TEST(ImageIfPresent, NullOrUnopenableNamesGiveNullWithoutABox) {
  clearBoxes();
  EXPECT_EQ(loadImageIfPresent(nullptr), nullptr);
  EXPECT_EQ(loadImageIfPresent("/nonexistent/quendaloop/picture.bmp"), nullptr);
  EXPECT_TRUE(recordedBoxes().empty());
}

TEST(ImageIfPresent, ExistingFilesGoThroughTheLoader) {
  TempDir dir;
  DibSpec s;
  s.width = 2;
  s.pixels = rows24(2, 1, pattern);
  std::string good = dir.write("good.bmp", buildDib(s));
  std::string broken =
      dir.write("broken.bmp", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 108, 0, 0, 0});
  clearBoxes();
  ImagePtr image(loadImageIfPresent(good.c_str()));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 2);
  EXPECT_TRUE(recordedBoxes().empty());
  EXPECT_EQ(loadImageIfPresent(broken.c_str()), nullptr);
  ASSERT_EQ(recordedBoxes().size(), 1u);
  EXPECT_EQ(recordedBoxes()[0].text, "Unknown DIB file format.");
}

}  // namespace

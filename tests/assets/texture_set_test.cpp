// The texture set in a real offscreen GL context (llvmpipe), run in a
// temporary working directory whose Data/ folder each test fills.
#include "texture_set.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "bmp_builder.h"
#include "offscreen_gl.h"
#include "recorded_boxes.h"

namespace {

const char* const kNames[5] = {"bkgrnd2", "creds", "crate", "logotyp", "grusk4"};
// Sizes of the test pictures, one with a width whose rows need no padding
// only at an unpack alignment of 1.
const int kSizes[5][2] = {{8, 4}, {5, 3}, {16, 16}, {2, 2}, {4, 8}};

uint32_t colourOf(int slot, int x, int y) {
  return static_cast<uint32_t>((slot * 50 + x * 9) & 0xff) << 16 | ((y * 31 + 7) & 0xff) << 8 |
         ((x * y + slot) & 0xff);
}

Bytes picture(int slot) {
  DibSpec s;
  s.width = kSizes[slot][0];
  s.height = kSizes[slot][1];
  s.pixels = rows24(s.width, s.height, [slot](int x, int y) { return colourOf(slot, x, y); });
  return buildDib(s);
}

class TextureSet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(offscreenGlOpen(64, 64)); }
  static void TearDownTestSuite() { offscreenGlClose(); }

  void SetUp() override {
    char* cwd = getcwd(nullptr, 0);
    oldDir = cwd;
    std::free(cwd);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    writeAll();
  }
  // All five good pictures, an empty texture table and no boxes yet.
  void writeAll() {
    for (int i = 0; i < 5; ++i) writePicture(i, picture(i));
    std::memset(textures, 0, sizeof textures);
    clearBoxes();
  }
  void TearDown() override { ASSERT_EQ(chdir(oldDir.c_str()), 0); }

  void writePicture(int slot, const Bytes& bytes) {
    dir.write(std::string("Data/") + kNames[slot] + ".bmp", bytes);
  }
  void removePicture(int slot) { std::filesystem::remove(dir.path + "/Data/" + kNames[slot] + ".bmp"); }

  static GLint texParam(GLenum name) {
    GLint v = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
    return v;
  }
  static GLint levelParam(GLenum name) {
    GLint v = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &v);
    return v;
  }

  TempDir dir;
  std::string oldDir;
};

TEST_F(TextureSet, FiveLinearTexturesOfThePictureSizes) {
  ASSERT_TRUE(loadTextureSet());
  EXPECT_TRUE(recordedBoxes().empty());
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(kNames[i]);
    ASSERT_NE(textures[i], 0u);
    for (int j = 0; j < i; ++j) EXPECT_NE(textures[i], textures[j]);
    glBindTexture(GL_TEXTURE_2D, textures[i]);
    EXPECT_EQ(texParam(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(texParam(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(levelParam(GL_TEXTURE_WIDTH), kSizes[i][0]);
    EXPECT_EQ(levelParam(GL_TEXTURE_HEIGHT), kSizes[i][1]);
    EXPECT_EQ(levelParam(GL_TEXTURE_RED_SIZE), 8);
    EXPECT_EQ(levelParam(GL_TEXTURE_ALPHA_SIZE), 0);  // internal format 3: RGB
    // The texels are the picture's pixels, rows bottom first.
    int w = kSizes[i][0], h = kSizes[i][1];
    Bytes texels(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    Bytes want;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint32_t c = colourOf(i, x, y);
        want.insert(want.end(),
                    {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
      }
    EXPECT_EQ(texels, want);
  }
  EXPECT_EQ(textures[5], 0u);
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureSet, MissingPictureMakesNoTextureAndNoBox) {
  for (int slot : {0, 2, 4}) {
    SCOPED_TRACE(kNames[slot]);
    writeAll();
    removePicture(slot);
    EXPECT_FALSE(loadTextureSet());
    EXPECT_TRUE(recordedBoxes().empty());
    for (GLuint name : textures) EXPECT_EQ(name, 0u);
  }
}

TEST_F(TextureSet, FailedSetKeepsTheNamesOfTheLastContext) {
  ASSERT_TRUE(loadTextureSet());
  GLuint before[6];
  std::memcpy(before, textures, sizeof before);
  removePicture(3);
  EXPECT_FALSE(loadTextureSet());
  EXPECT_EQ(std::memcmp(before, textures, sizeof before), 0);
}

TEST_F(TextureSet, BrokenPictureShowsItsBoxAndStopsTheLoading) {
  Bytes unknown = picture(3);
  unknown[14] = 108;  // a later header version
  writePicture(3, unknown);
  // The file after it is broken too, but it is never read.
  writePicture(4, Bytes{'B', 'M', 1});
  EXPECT_FALSE(loadTextureSet());
  ASSERT_EQ(recordedBoxes().size(), 1u);
  EXPECT_EQ(recordedBoxes()[0].text, "Unknown DIB file format.");
  EXPECT_EQ(recordedBoxes()[0].caption, "Error");
  for (GLuint name : textures) EXPECT_EQ(name, 0u);
}

TEST_F(TextureSet, ThePicturesOfTheRepository) {
  ASSERT_EQ(chdir(QUENDALOOP_DATA_DIR), 0);
  ASSERT_TRUE(loadTextureSet());
  EXPECT_TRUE(recordedBoxes().empty());
  const int sizes[5] = {512, 512, 256, 512, 256};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(kNames[i]);
    glBindTexture(GL_TEXTURE_2D, textures[i]);
    EXPECT_EQ(levelParam(GL_TEXTURE_WIDTH), sizes[i]);
    EXPECT_EQ(levelParam(GL_TEXTURE_HEIGHT), sizes[i]);
  }
  EXPECT_EQ(textures[5], 0u);
}

}  // namespace

// Checks of the pictures this generator makes, decoded with libpng as the game decodes
// them: their formats, the sprite sheet's layout, and checks that catch pictures gone
// wrong. Run by build.sh after every generation.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Png {
  bool ok = false;
  std::string error;
  png_uint_32 w = 0, h = 0;
  int depth = 0, colour_type = -1;
  bool has_trns = false;
  std::vector<uint8_t> rgb;

  const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
  bool Black(int x, int y) const {
    const uint8_t* p = At(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
  }
};

Png Load(const std::string& name) {
  Png out;
  const std::string path = std::string(WHIRLBAT_SOURCE_DIR) + "/assets/" + name;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    out.error = "cannot open " + path;
    return out;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    out.ok = false;
    out.error = "libpng failed on " + path;
    return out;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &out.w, &out.h, &out.depth, &out.colour_type, &interlace, nullptr,
               nullptr);
  out.has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (out.depth == 8 && out.colour_type == PNG_COLOR_TYPE_RGB) {
    out.rgb.resize(size_t(out.w) * out.h * 3);
    std::vector<png_bytep> rows(out.h);
    for (png_uint_32 y = 0; y < out.h; ++y) rows[y] = &out.rgb[size_t(y) * out.w * 3];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    out.ok = true;
  } else {
    out.error = "not 8-bit RGB: " + path;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return out;
}

// Each picture is decoded once for the whole run.
const Png& Sheet() {
  static const Png png = Load("whirlbat_01.png");
  return png;
}

struct Rect {
  int x, y, w, h;
};

Rect HeliFrame(int i) { return {1 + 19 * i, 1, 18, 49}; }
Rect BladeFrame(int i) { return {155 + 57 * i, 1, 56, 4}; }
Rect RocketFrame(int i) { return {155 + 19 * i, 8, 18, 8}; }
Rect TileFrame(int i) { return {1 + 33 * i, 53, 32, 32}; }
const Rect kLogo{0, 87, 378, 145};
const Rect kHud{0, 240, 640, 32};

std::vector<Rect> AllFrames() {
  std::vector<Rect> all;
  for (int i = 0; i < 8; ++i) all.push_back(HeliFrame(i));
  for (int i = 0; i < 2; ++i) all.push_back(BladeFrame(i));
  for (int i = 0; i < 4; ++i) all.push_back(RocketFrame(i));
  for (int i = 0; i < 10; ++i) all.push_back(TileFrame(i));
  all.push_back(kLogo);
  all.push_back(kHud);
  return all;
}

bool Contains(const Rect& r, int x, int y) {
  return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h;
}

// Sums over the shown (non-black) pixels of a rectangle.
struct Stats {
  int shown = 0;
  double r = 0, g = 0, b = 0, luma = 0, luma2 = 0;
  double Mean(double v) const { return shown ? v / shown : 0.0; }
  double LumaSpread() const {
    const double m = Mean(luma);
    return std::sqrt(std::max(0.0, Mean(luma2) - m * m));
  }
};

Stats Measure(const Png& png, const Rect& r) {
  Stats s;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) {
      if (png.Black(x, y)) continue;
      const uint8_t* p = png.At(x, y);
      const double l = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
      ++s.shown;
      s.r += p[0];
      s.g += p[1];
      s.b += p[2];
      s.luma += l;
      s.luma2 += l * l;
    }
  return s;
}

// Pixels whose colour clearly leans to red or to blue.
int CountLeaning(const Png& png, const Rect& r, bool red) {
  int n = 0;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) {
      const uint8_t* p = png.At(x, y);
      if (red ? (p[0] > p[2] + 40 && p[0] > p[1] + 30) : (p[2] > p[0] + 40 && p[2] > p[1] + 10))
        ++n;
    }
  return n;
}

// Mean column (0 = the frame's left edge) of the shown pixels in columns [from, to).
double ColumnCentre(const Png& png, const Rect& r, int from, int to) {
  double sum = 0;
  int n = 0;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = from; x < to; ++x)
      if (!png.Black(r.x + x, y)) sum += x, ++n;
  return n ? sum / n : -100.0;
}

bool SamePixels(const Png& png, const Rect& a, const Rect& b, int row0, int row1) {
  for (int y = row0; y < row1; ++y)
    for (int x = 0; x < a.w; ++x)
      if (!std::equal(png.At(a.x + x, a.y + y), png.At(a.x + x, a.y + y) + 3,
                      png.At(b.x + x, b.y + y)))
        return false;
  return true;
}

// Black pixels of a rectangle that cannot be reached from its border through other black
// pixels: holes inside a sprite, where the ground would show through.
int Holes(const Png& png, const Rect& r) {
  std::vector<char> seen(size_t(r.w) * r.h, 0);
  std::vector<std::pair<int, int>> todo;
  auto visit = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= r.w || y >= r.h) return;
    char& v = seen[size_t(y) * r.w + x];
    if (v || !png.Black(r.x + x, r.y + y)) return;
    v = 1;
    todo.push_back({x, y});
  };
  for (int x = 0; x < r.w; ++x) visit(x, 0), visit(x, r.h - 1);
  for (int y = 0; y < r.h; ++y) visit(0, y), visit(r.w - 1, y);
  while (!todo.empty()) {
    const auto [x, y] = todo.back();
    todo.pop_back();
    visit(x + 1, y), visit(x - 1, y), visit(x, y + 1), visit(x, y - 1);
  }
  int holes = 0;
  for (int y = 0; y < r.h; ++y)
    for (int x = 0; x < r.w; ++x)
      holes += png.Black(r.x + x, r.y + y) && !seen[size_t(y) * r.w + x];
  return holes;
}

void ExpectFormat(const Png& png, png_uint_32 w, png_uint_32 h) {
  ASSERT_TRUE(png.ok) << png.error;
  EXPECT_EQ(png.w, w);
  EXPECT_EQ(png.h, h);
  EXPECT_EQ(png.depth, 8);
  EXPECT_EQ(png.colour_type, PNG_COLOR_TYPE_RGB);
  EXPECT_FALSE(png.has_trns) << "black is the mask colour; no transparency chunk";
}

TEST(PictureFormat, EveryPictureIsEightBitRgbOfItsSize) {
  ExpectFormat(Sheet(), 640, 278);
  ExpectFormat(Load("whirlbat_02.png"), 640, 480);
  ExpectFormat(Load("dmpointer.png"), 18, 18);
  ExpectFormat(Load("owlogo.png"), 420, 236);
}

TEST(SpriteSheet, EveryFrameHasPixelsAndEverythingBetweenIsBlack) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const std::vector<Rect> frames = AllFrames();
  for (size_t i = 0; i < frames.size(); ++i) {
    const Rect& r = frames[i];
    const int shown = Measure(s, r).shown;
    EXPECT_GT(shown, r.w * r.h / 8)
        << "frame " << i << " at (" << r.x << ", " << r.y << ") is nearly empty";
  }
  int stray = 0;
  for (int y = 0; y < 278; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool inFrame = std::any_of(frames.begin(), frames.end(),
                                       [&](const Rect& r) { return Contains(r, x, y); });
      if (!inFrame && !s.Black(x, y)) {
        if (stray < 5) ADD_FAILURE() << "gutter pixel not black at (" << x << ", " << y << ")";
        ++stray;
      }
    }
  EXPECT_EQ(stray, 0);
}

TEST(SpriteSheet, OpaqueTilesAndHudHaveNoMaskedHoles) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  for (int t : {1, 2, 3, 4, 5, 6, 7})
    EXPECT_EQ(Measure(s, TileFrame(t)).shown, 32 * 32)
        << "tile " << t << " has a black (see-through) pixel";
  EXPECT_EQ(Measure(s, kHud).shown, 640 * 32);
}

TEST(Helicopter, FramesZeroToThreeAreBlueAndFourToSevenRed) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  for (int i = 0; i < 8; ++i) {
    const int red = CountLeaning(s, HeliFrame(i), true),
              blue = CountLeaning(s, HeliFrame(i), false);
    // The canopy glass is bluish on both, so Red's margin is the smaller one.
    if (i < 4)
      EXPECT_GT(blue, 3 * std::max(red, 20)) << "frame " << i;
    else
      EXPECT_GT(red, 3 * std::max(blue, 20)) << "frame " << i;
  }
}

TEST(Helicopter, OnlyTheTailRotorTurnsFromFrameToFrame) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const int tail = 40;  // the tail rotor lies in the rows from here down
  for (int colour = 0; colour < 2; ++colour)
    for (int i = 0; i < 4; ++i) {
      const Rect a = HeliFrame(colour * 4 + i), b = HeliFrame(colour * 4 + (i + 1) % 4);
      EXPECT_TRUE(SamePixels(s, a, b, 0, tail))
          << "frames " << colour * 4 + i << " and next differ above the tail";
      EXPECT_FALSE(SamePixels(s, a, b, tail, 49))
          << "tail rotor of frame " << colour * 4 + i << " does not move";
    }
}

TEST(Helicopter, SilhouetteIsCentredOnTheHubWithTheNoseUp) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const Rect f = HeliFrame(0);
  // The body above the tail is mirror-symmetric about the hub's column, x = 9.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 9; ++x)
      EXPECT_EQ(s.Black(f.x + x, f.y + y), s.Black(f.x + 17 - x, f.y + y))
          << "at (" << x << ", " << y << ")";
  EXPECT_FALSE(s.Black(f.x + 8, f.y + 24));
  EXPECT_FALSE(s.Black(f.x + 9, f.y + 23));
  // Wide in the cabin, narrow along the tail boom.
  auto width = [&](int y) {
    int n = 0;
    for (int x = 0; x < 18; ++x) n += !s.Black(f.x + x, f.y + y);
    return n;
  };
  EXPECT_GE(width(20), 12);
  EXPECT_LE(width(36), 4);
  EXPECT_GE(width(36), 2);
}

TEST(Rotor, BladesSpanTheFrameWithTheirSideColourAtTheTips) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  for (int i = 0; i < 2; ++i) {
    const Rect f = BladeFrame(i);
    const Rect leftTip{f.x, f.y, 6, 4}, rightTip{f.x + 50, f.y, 6, 4};
    const bool red = i == 1;
    EXPECT_GE(CountLeaning(s, leftTip, red), 4) << "blade " << i;
    EXPECT_GE(CountLeaning(s, rightTip, red), 4) << "blade " << i;
    EXPECT_EQ(CountLeaning(s, f, !red), 0) << "blade " << i << " carries the other side's colour";
    // The hub, at the frame centre, is solid over all four rows.
    for (int y = 0; y < 4; ++y) EXPECT_FALSE(s.Black(f.x + 28, f.y + y));
  }
}

TEST(Rockets, MissilePairsAreSixteenPixelsApartWithColouredTips) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  for (int i = 0; i < 2; ++i) {
    const Rect f = RocketFrame(i);
    const double left = ColumnCentre(s, f, 0, 9), right = ColumnCentre(s, f, 9, 18);
    EXPECT_NEAR(right - left, 16.0, 0.01) << "frame " << i;
    EXPECT_NEAR((left + right) / 2.0, 8.5, 0.01) << "frame " << i << " is not centred";
    const Rect tips{f.x, f.y, 18, 2};
    const bool red = i == 0;
    EXPECT_GE(CountLeaning(s, tips, red), 4) << "frame " << i << " tips";
    EXPECT_EQ(CountLeaning(s, tips, !red), 0) << "frame " << i << " tips";
    for (int x = 2; x < 16; ++x)
      for (int y = 0; y < 8; ++y) EXPECT_TRUE(s.Black(f.x + x, f.y + y)) << "between the missiles";
  }
}

TEST(Rockets, TrailPuffsLineUpWithTheMissiles) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const double missile = ColumnCentre(s, RocketFrame(0), 0, 9);
  for (int i = 2; i < 4; ++i) {
    const Rect f = RocketFrame(i);
    const double left = ColumnCentre(s, f, 0, 9), right = ColumnCentre(s, f, 9, 18);
    EXPECT_NEAR(left, missile, 1.0) << "frame " << i;
    EXPECT_NEAR(left + right, 17.0, 0.01) << "frame " << i << " puffs are not a mirrored pair";
  }
  const Stats flame = Measure(s, RocketFrame(2)), smoke = Measure(s, RocketFrame(3));
  EXPECT_GT(flame.Mean(flame.r), 200.0);
  EXPECT_GT(flame.Mean(flame.r) - flame.Mean(flame.b), 60.0) << "flame should be orange and yellow";
  EXPECT_LT(std::fabs(smoke.Mean(smoke.r) - smoke.Mean(smoke.b)), 16.0) << "smoke should be grey";
  EXPECT_GT(smoke.Mean(smoke.luma), 90.0);
}

TEST(Tiles, FloorHasContrastAndTheGradientIsDark) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const Stats floor = Measure(s, TileFrame(1));
  EXPECT_GT(floor.LumaSpread(), 18.0) << "joints must show at half alpha";
  EXPECT_GT(floor.Mean(floor.luma), 100.0);
  const Stats dark = Measure(s, TileFrame(2));
  EXPECT_LT(dark.Mean(dark.luma), 80.0);
  const Rect t = TileFrame(2);
  EXPECT_GT(s.At(t.x, t.y)[2], s.At(t.x + 31, t.y + 31)[2] + 20) << "no gradient across tile 2";
}

TEST(Tiles, CrateHasYellowAndNearBlackHazardStripes) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const Rect t = TileFrame(3);
  int yellow = 0, stripe = 0;
  for (int y = t.y; y < t.y + 32; ++y)
    for (int x = t.x; x < t.x + 32; ++x) {
      const uint8_t* p = s.At(x, y);
      if (p[0] > 180 && p[1] > 140 && p[2] < 90) ++yellow;
      if (std::max({p[0], p[1], p[2]}) < 45) ++stripe;
    }
  EXPECT_GT(yellow, 80);
  EXPECT_GT(stripe, 80);
  // The lid's right and bottom edges become the block's sides when the tile is stacked.
  const Stats side = Measure(s, {t.x + 30, t.y, 2, 32});
  EXPECT_GT(side.Mean(side.luma), 60.0) << "stacked sides would vanish under the dark tints";
}

TEST(Tiles, PadsCarryTheirSideColour) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  for (int t = 4; t <= 7; ++t) {
    const bool red = t == 4 || t == 6;
    EXPECT_GT(CountLeaning(s, TileFrame(t), red), 150) << "tile " << t;
    EXPECT_EQ(CountLeaning(s, TileFrame(t), !red), 0) << "tile " << t;
  }
  // Pads of one side are told apart by their marking.
  EXPECT_FALSE(SamePixels(s, TileFrame(4), TileFrame(6), 0, 32));
  EXPECT_FALSE(SamePixels(s, TileFrame(5), TileFrame(7), 0, 32));
}

TEST(Tiles, DustIsASolidGreyCloudAndTheFireballIsHotInTheMiddle) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const Rect dust = TileFrame(8), fire = TileFrame(9);
  EXPECT_EQ(Holes(s, dust), 0);
  EXPECT_EQ(Holes(s, fire), 0);
  const Stats d = Measure(s, dust);
  EXPECT_LT(std::fabs(d.Mean(d.r) - d.Mean(d.b)), 20.0);
  EXPECT_GT(d.Mean(d.luma), 110.0);
  EXPECT_TRUE(s.Black(dust.x, dust.y)) << "dust corners must be masked";
  const uint8_t* core = s.At(fire.x + 16, fire.y + 16);
  EXPECT_GT(core[0], 230);
  EXPECT_GT(core[1], 200);
  EXPECT_TRUE(s.Black(fire.x, fire.y)) << "fireball corners must be masked";
  // Fading outwards: the ring near the edge is darker and redder than the core.
  const Stats rim = Measure(s, {fire.x + 2, fire.y + 14, 3, 4});
  EXPECT_LT(rim.Mean(rim.g), core[1] - 80.0);
}

TEST(TitleArt, LogoAndHudBarAreDrawnLight) {
  const Png& s = Sheet();
  ASSERT_TRUE(s.ok) << s.error;
  const Stats logo = Measure(s, kLogo);
  EXPECT_GT(logo.shown, 378 * 145 / 4);
  EXPECT_GT(logo.Mean(logo.luma), 90.0);
  const Stats hud = Measure(s, kHud);
  EXPECT_GT(hud.Mean(hud.luma), 170.0)
      << "the bar is tinted grey by the game, so it must start light";
  EXPECT_LT(hud.LumaSpread(), 30.0) << "the bar carries text and must stay plain";
}

TEST(Background, OpaqueCalmAndMuted) {
  const Png bg = Load("whirlbat_02.png");
  ASSERT_TRUE(bg.ok) << bg.error;
  const Stats s = Measure(bg, {0, 0, 640, 480});
  EXPECT_EQ(s.shown, 640 * 480) << "black would be see-through";
  EXPECT_GT(s.Mean(s.luma), 70.0);
  EXPECT_LT(s.Mean(s.luma), 170.0);
  double step = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 1; x < 640; ++x)
      for (int c = 0; c < 3; ++c) step += std::abs(int(bg.At(x, y)[c]) - int(bg.At(x - 1, y)[c]));
  EXPECT_LT(step / (480.0 * 639.0 * 3.0), 8.0)
      << "too noisy to keep tiles and helicopters readable";
}

TEST(Pointer, ArrowStartsAtTheHotSpot) {
  const Png p = Load("dmpointer.png");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_FALSE(p.Black(0, 0)) << "the top-left pixel is the hot spot";
  for (int y = 0; y < 12; ++y) EXPECT_FALSE(p.Black(0, y)) << "arrow edge broken at row " << y;
  for (int x = 0; x < 8; ++x) EXPECT_FALSE(p.Black(x, x)) << "arrow diagonal broken at " << x;
  EXPECT_TRUE(p.Black(17, 0));
  EXPECT_TRUE(p.Black(0, 17));
}

TEST(StudioLogo, EmblemAndNameStandOnBlack) {
  const Png p = Load("owlogo.png");
  ASSERT_TRUE(p.ok) << p.error;
  for (int x : {0, 419})
    for (int y : {0, 235}) EXPECT_TRUE(p.Black(x, y));
  const Stats all = Measure(p, {0, 0, 420, 236});
  EXPECT_GT(all.shown, 420 * 236 / 8);
  EXPECT_LT(all.shown, 420 * 236 * 3 / 4);
  // Emblem in the upper part, lettering in the lower.
  EXPECT_GT(Measure(p, {150, 30, 120, 100}).shown, 6000);
  EXPECT_GT(Measure(p, {60, 150, 300, 70}).shown, 2000);
}

}  // namespace

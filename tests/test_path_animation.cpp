// linkmotion-path --gif and --animated-svg: the GIF decoded back with
// giflib shows the motion frame by frame where the still picture puts the
// mechanism, in the drawing's colours, looping; the animated SVG played in
// a browser shows the posture of its time.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/test_support.h"
#include "tests/window_support.h"

namespace {

program_run run_tool(const std::string &args) {
  return run_program("'" + program_path("linkmotion-path") + "' " + args, "", source_path("mechanisms"));
}

// a01, the double rocker: fixed joints 3 (0, 0) and 2 (120, 0), input
// 3-4 turned by the drive, coupler plate 4-1-5, traced joint 5.  Over 120
// steps the input swings up to its dead point, back down to the other
// and up again; the still picture and every frame of the run then have
// the same extent, so the same map.
constexpr int a01_pin = 4, a01_traced = 5, a01_steps = 120;

// Numbers of an attribute after `key="` in text from `from`, NAN if none.
double attribute(const std::string &text, size_t from, const std::string &key) {
  const size_t at = text.find(" " + key + "=\"", from);
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + key.size() + 3);
}

// Joint pixels by number from the joint labels in text[from, to) (a label
// stands 8 pixels right of and above its joint).
std::map<int, point> label_pixels(const std::string &text, size_t from = 0, size_t to = std::string::npos) {
  std::map<int, point> at;
  const std::string tag = "<text class=\"joint-label\"";
  for (size_t p = text.find(tag, from); p < to && p != std::string::npos; p = text.find(tag, p + 1)) {
    const size_t j = text.find(">J", p);
    at[std::atoi(text.c_str() + j + 2)] = {attribute(text, p, "x") - 8.0, attribute(text, p, "y") + 8.0};
  }
  return at;
}

// A GIF read back whole, with every frame composed as a viewer shows it.
struct decoded_gif {
  int width = 0, height = 0, frames = 0;
  bool loops_forever = false;
  std::vector<int> delay_cs;
  std::vector<rgb> palette;
  std::vector<std::vector<unsigned char>> shown;  // per frame: rgb rows, top first
};

decoded_gif decode(const std::string &path) {
  decoded_gif d;
  int error = 0;
  GifFileType *gif = DGifOpenFileName(path.c_str(), &error);
  EXPECT_NE(gif, nullptr) << GifErrorString(error);
  if (!gif) return d;
  EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  d.width = gif->SWidth, d.height = gif->SHeight, d.frames = gif->ImageCount;
  for (int c = 0; gif->SColorMap && c < gif->SColorMap->ColorCount; c++) {
    const GifColorType &e = gif->SColorMap->Colors[c];
    d.palette.push_back({e.Red, e.Green, e.Blue});
  }
  std::vector<int> canvas(static_cast<size_t>(d.width) * d.height, 0);
  for (int i = 0; i < gif->ImageCount; i++) {
    const SavedImage &im = gif->SavedImages[i];
    for (int e = 0; e + 1 < im.ExtensionBlockCount; e++) {
      const ExtensionBlock &b = im.ExtensionBlocks[e], &next = im.ExtensionBlocks[e + 1];
      if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 && memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0)
        d.loops_forever = next.ByteCount == 3 && next.Bytes[0] == 1 && next.Bytes[1] == 0 && next.Bytes[2] == 0;
    }
    GraphicsControlBlock gcb;
    EXPECT_EQ(DGifSavedExtensionToGCB(gif, i, &gcb), GIF_OK) << "frame " << i << " has no delay";
    d.delay_cs.push_back(gcb.DelayTime);
    const GifImageDesc &r = im.ImageDesc;
    for (int y = 0; y < r.Height; y++)
      for (int x = 0; x < r.Width; x++) {
        const int v = im.RasterBits[y * r.Width + x];
        if (v != gcb.TransparentColor) canvas[(r.Top + y) * d.width + r.Left + x] = v;
      }
    std::vector<unsigned char> rows;
    for (int v : canvas) {
      const rgb c = v < static_cast<int>(d.palette.size()) ? d.palette[v] : rgb{-1, -1, -1};
      rows.push_back(c.r), rows.push_back(c.g), rows.push_back(c.b);
    }
    d.shown.push_back(rows);
  }
  DGifCloseFile(gif, &error);
  return d;
}

rgb pixel(const frame_pixels &f, point p) {
  return f.at(static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y)));
}

// A joint as drawn: a white disc, its red ring 8.8 pixels out, 2 wide (met
// on three of four rays from the centre, within a pixel of anti-aliasing;
// the path may run over one).
bool joint_drawn_at(const frame_pixels &f, point c) {
  int red = 0;
  for (int k = 0; k < 4; k++) {
    const double a = k * 1.5708 + 0.4;
    bool hit = false;
    for (double r = 8.0; r <= 9.6; r += 0.4) hit = hit || is_red(pixel(f, {c.x + r * std::cos(a), c.y + r * std::sin(a)}));
    red += hit;
  }
  return is_white(pixel(f, c)) && red >= 3;
}

int count_pixels(const frame_pixels &f, bool (*test)(rgb)) {
  int n = 0;
  for (int y = 0; y < f.height(); y++)
    for (int x = 0; x < f.width(); x++) n += test(f.at(x, y));
  return n;
}

bool is_plate(rgb c) { return c.r > 240 && c.g > 240 && c.b > 130 && c.b < 175; }

}  // namespace

TEST(PathAnimation, GifLoopsThroughTheMotionWhereTheStillPictureDrawsIt) {
  const std::string gif = write_temp_file(""), still = write_temp_file("");
  const program_run r = run_tool("--gif '" + gif + "' --svg '" + still + "' a01 " + std::to_string(a01_steps));
  ASSERT_EQ(r.status, 0) << r.errors;
  const path_rows rows = run_path_rows("a01", a01_steps);
  const decoded_gif d = decode(gif);
  ASSERT_EQ(d.frames, a01_steps);
  EXPECT_TRUE(d.loops_forever);
  EXPECT_EQ(d.width, 800);
  EXPECT_EQ(d.height, 800);
  for (int cs : d.delay_cs) ASSERT_EQ(cs, 4) << "the default delay is 40 ms";
  // The drawing's five colours stand in the palette exactly.
  for (rgb c : {rgb{255, 255, 255}, rgb{0, 0, 0}, rgb{255, 0, 0}, rgb{0, 0, 255}, rgb{255, 255, 153}}) {
    bool found = false;
    for (rgb e : d.palette) found = found || (e.r == c.r && e.g == c.g && e.b == c.b);
    EXPECT_TRUE(found) << c.r << "," << c.g << "," << c.b;
  }

  // Frame 0 is the still picture's posture at the still picture's pixels:
  // every joint, the bars a quarter along, the plate's middle.
  const std::string svg = read_file(still);
  const std::map<int, point> at = label_pixels(svg);
  ASSERT_EQ(at.size(), 5u);
  const frame_pixels first(d.shown[0], d.width, d.height);
  for (const auto &j : at) EXPECT_TRUE(joint_drawn_at(first, j.second)) << "J" << j.first;
  int bars = 0;
  for (size_t p = svg.find("class=\"link\""); p != std::string::npos; p = svg.find("class=\"link\"", p + 1), bars++) {
    const point q = {0.75 * attribute(svg, p, "x1") + 0.25 * attribute(svg, p, "x2"),
                     0.75 * attribute(svg, p, "y1") + 0.25 * attribute(svg, p, "y2")};
    EXPECT_TRUE(is_red(pixel(first, q))) << "bar " << bars;
  }
  EXPECT_EQ(bars, 6);
  EXPECT_TRUE(is_plate(pixel(first, {(at.at(1).x + at.at(4).x + at.at(5).x) / 3, (at.at(1).y + at.at(4).y + at.at(5).y) / 3})));
  EXPECT_GT(count_pixels(first, is_dark), 2000) << "grid and texts";
  EXPECT_EQ(count_pixels(first, is_blue), 0) << "no path before the first step";

  // Frame k shows the posture after step k: the input pin follows the rows
  // up to the dead point and back, and the path grows.
  // Pixel = (x0 + s x, y0 - s y), from the fixed joints 3 at (0, 0) and 2 at (120, 0).
  const double scale = (at.at(2).x - at.at(3).x) / 120.0;
  auto pixel_of = [&](point p) { return point{at.at(3).x + scale * p.x, at.at(3).y - scale * p.y}; };
  int turns = 0, last_blue = 0;
  for (int k = 1; k < d.frames; k++) {
    const frame_pixels f(d.shown[k], d.width, d.height);
    EXPECT_TRUE(joint_drawn_at(f, pixel_of(rows.J[k - 1][a01_pin]))) << "frame " << k;
    // The drive holds one step at a dead point, then runs back.
    if (k >= 4) turns += (rows.drive[k - 1] - rows.drive[k - 2]) * (rows.drive[k - 3] - rows.drive[k - 4]) < 0;
    if (k % 20 == 0 || k == d.frames - 1) {
      const int blue = count_pixels(f, is_blue);
      EXPECT_GT(blue, last_blue) << "the path of frame " << k << " is no longer than before";
      last_blue = blue;
    }
  }
  EXPECT_GE(turns, 2) << "the run turns back at both dead points";
  unlink(gif.c_str());
  unlink(still.c_str());
}

TEST(PathAnimation, FrameOptionsShapeTheGifAndBadOnesAreNamed) {
  const std::string gif = write_temp_file("");
  ASSERT_EQ(run_tool("--every 3 --size 400x300 --delay 70 --gif '" + gif + "' a00 30").status, 0);
  const decoded_gif d = decode(gif);
  EXPECT_EQ(d.frames, 10);  // steps 0, 3, ..., 27
  EXPECT_EQ(d.width, 400);
  EXPECT_EQ(d.height, 300);
  for (int cs : d.delay_cs) EXPECT_EQ(cs, 7);
  unlink(gif.c_str());
  // a00's crank pin swings out beyond its initial posture and the path: the
  // frames are fitted to every posture, so each joint stays in the picture.
  const std::string svg = write_temp_file("");
  ASSERT_EQ(run_tool("--every 10 --animated-svg '" + svg + "' a00 360").status, 0);
  const std::string text = read_file(svg);
  int labels = 0;
  for (size_t p = text.find("class=\"joint-label\""); p != std::string::npos; p = text.find("class=\"joint-label\"", p + 1)) {
    const double x = attribute(text, p, "x") - 8.0, y = attribute(text, p, "y") + 8.0;
    EXPECT_TRUE(x >= 30 && x <= 770 && y >= 90 && y <= 770) << "a joint at " << x << "," << y << " leaves the picture";
    labels++;
  }
  EXPECT_EQ(labels, 36 * 5);
  unlink(svg.c_str());

  const std::pair<const char *, const char *> bad[] = {
      {"--gif x.gif --every 0 a00", "--every must be a whole number of steps from 1 to 100000 (got \"0\")"},
      {"--gif x.gif --size 199x800 a00", "from 200 to 2000 (got \"199x800\")"},
      {"--gif x.gif --delay 10 a00", "--delay must be a whole number of milliseconds from 20 to 10000"},
      {"--delay 100 a00", "--every, --size and --delay go with --gif or --animated-svg"},
      {"--animated-svg x.svg a00 3601", "at most 3600 frames: STEPS 3601 with --every 1 gives 3601"},
  };
  for (const auto &b : bad) {
    const program_run r = run_tool(b.first);
    EXPECT_EQ(r.status, 2) << b.first;
    EXPECT_NE(r.errors.find(b.second), std::string::npos) << b.first << ": " << r.errors;
    EXPECT_EQ(r.output, "") << b.first;
  }
  EXPECT_EQ(access((source_path("mechanisms") + "/x.gif").c_str(), F_OK), -1) << "a refused run wrote a file";
  const program_run r = run_tool("--gif /nonexistent-dir/x.gif a00 10");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("/nonexistent-dir/x.gif"), std::string::npos);
}

// Headless Chromium plays the SVG: early and later in the loop it shows
// whole postures of two frames, each not the other's, with the path grown.
TEST(PathAnimation, ChromiumPlaysTheAnimatedSvg) {
  const std::string base = write_temp_file(""), svg_file = base + ".svg";
  ASSERT_EQ(run_tool("--animated-svg '" + svg_file + "' --delay 100 a01 " + std::to_string(a01_steps)).status, 0);
  const std::string svg = read_file(svg_file);
  // Joint pixels of each frame, from its group of labels.
  std::vector<std::map<int, point>> frames;
  for (size_t p = svg.find("<g class=\"labels\""); p != std::string::npos; p = svg.find("<g class=\"labels\"", p + 1))
    frames.push_back(label_pixels(svg, p, svg.find("</g>", p)));
  ASSERT_EQ(frames.size(), static_cast<size_t>(a01_steps));

  // Per frame, how many of its joints a screenshot draws where the frame
  // puts them (not the traced joint: it lies under the end of the path).
  struct shot {
    std::vector<int> score;
    int best = -1, blue = 0;
  };
  auto shot_at = [&](int ms) {
    shot s;
    std::vector<unsigned char> bytes;
    if (!chromium_screenshot(svg_file, ms, &bytes)) return s;
    const frame_pixels f(bytes, 800, 800);
    s.blue = count_pixels(f, is_blue);
    for (size_t k = 0; k < frames.size(); k++) {
      int score = 0;
      for (const auto &j : frames[k]) score += j.first != a01_traced && joint_drawn_at(f, j.second);
      s.score.push_back(score);
      if (score == 4 && s.best < 0) s.best = static_cast<int>(k);
    }
    return s;
  };
  // The browser's virtual clock is its own: on a loaded machine a shot can
  // come out at another time than asked, so a pair of shots gets three tries.
  std::string why;
  for (int attempt = 0; attempt < 3; attempt++) {
    const shot early = shot_at(300), late = shot_at(4000);
    if (early.best < 0 || late.best < 0) {
      why = "a screenshot shows no whole frame (or none was taken)";
      continue;
    }
    if (!(late.best > early.best)) why = "the later shot shows an earlier frame";
    else if (!(late.score[early.best] < 4)) why = "the early frame is still shown";
    else if (!(early.score[late.best] < 4)) why = "the late frame was shown already";
    else if (!(late.blue > early.blue + 500)) why = "the path did not grow";
    else {
      why.clear();
      break;
    }
  }
  EXPECT_EQ(why, "");
  unlink(svg_file.c_str());
  unlink(base.c_str());
}

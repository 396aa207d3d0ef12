// linkmotion-path --svg and --fit: the picture is well-formed XML whose
// shapes sit where the mechanism stood at tt0 and where its traced joint
// went, in the window's colours, and a browser draws it so; the fit names
// the line, circle or conic that the traced joint follows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"
#include "tests/window_support.h"

namespace {

program_run run_path(const std::string &args) {
  return run_program("'" + program_path("linkmotion-path") + "' " + args, "");
}

// --- a small checker of well-formed XML (elements, attributes, text,
// comments, the five named and the numeric character references) ---

struct xml_node {
  std::string name;
  std::map<std::string, std::string> attr;
  std::vector<xml_node> kids;
  std::string text;  // character data directly inside, references resolved
};

class xml_reader {
 public:
  explicit xml_reader(const std::string &s) : s_(s) {}

  // The root element of a whole document; false with error() set.
  bool document(xml_node *root) {
    if (!valid_characters()) return false;
    if (starts("<?xml")) {
      const size_t end = s_.find("?>", i_);
      if (end == std::string::npos) return fail("unclosed declaration");
      i_ = end + 2;
    }
    if (!misc()) return false;
    if (!element(root)) return false;
    if (!misc()) return false;
    return i_ == s_.size() || fail("content after the root element");
  }
  const std::string &error() const { return error_; }

 private:
  const std::string &s_;
  size_t i_ = 0;
  std::string error_;

  bool fail(const std::string &what) {
    if (error_.empty()) error_ = what + " at byte " + std::to_string(i_);
    return false;
  }
  bool starts(const char *t) const { return s_.compare(i_, strlen(t), t) == 0; }
  void skip_space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\t' || s_[i_] == '\r')) i_++;
  }
  // UTF-8 throughout, and no control character but tab, newline, return.
  bool valid_characters() {
    for (size_t k = 0; k < s_.size();) {
      const unsigned char c = s_[k];
      int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
      if (len == 0 || k + len > s_.size()) return i_ = k, fail("not UTF-8");
      for (int j = 1; j < len; j++)
        if ((static_cast<unsigned char>(s_[k + j]) & 0xc0) != 0x80) return i_ = k, fail("not UTF-8");
      if (len == 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r') return i_ = k, fail("control character");
      k += len;
    }
    return true;
  }
  bool misc() {
    for (;;) {
      skip_space();
      if (!starts("<!--")) return true;
      if (!comment()) return false;
    }
  }
  bool comment() {
    const size_t end = s_.find("-->", i_ + 4);
    if (end == std::string::npos) return fail("unclosed comment");
    if (s_.substr(i_ + 4, end - i_ - 4).find("--") != std::string::npos) return fail("-- in a comment");
    i_ = end + 3;
    return true;
  }
  bool name(std::string *out) {
    auto first = [](char c) { return isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':'; };
    auto rest = [&](char c) { return first(c) || isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'; };
    if (i_ >= s_.size() || !first(s_[i_])) return fail("a name expected");
    const size_t b = i_;
    while (i_ < s_.size() && rest(s_[i_])) i_++;
    *out = s_.substr(b, i_ - b);
    return true;
  }
  bool reference(std::string *out) {
    static const std::pair<const char *, char> named[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto &n : named)
      if (starts(n.first)) {
        *out += n.second;
        i_ += strlen(n.first);
        return true;
      }
    if (starts("&#")) {
      size_t k = i_ + 2;
      const bool hex = k < s_.size() && s_[k] == 'x';
      if (hex) k++;
      const size_t digits = k;
      while (k < s_.size() && (hex ? isxdigit(static_cast<unsigned char>(s_[k])) : isdigit(static_cast<unsigned char>(s_[k]))))
        k++;
      if (k > digits && k < s_.size() && s_[k] == ';') {
        *out += '?';  // the checks below need no code point
        i_ = k + 1;
        return true;
      }
    }
    return fail("a bad reference");
  }
  // Characters up to `stop`; '<' is allowed only as that stop.
  bool chars(char stop, std::string *out) {
    while (i_ < s_.size() && s_[i_] != stop) {
      if (s_[i_] == '<') return fail("'<' inside a value");
      if (s_[i_] == '&') {
        if (!reference(out)) return false;
        continue;
      }
      if (stop == '<' && starts("]]>")) return fail("]]> in text");
      *out += s_[i_++];
    }
    return i_ < s_.size() || fail("unexpected end");
  }
  bool element(xml_node *n) {
    if (!starts("<")) return fail("an element expected");
    i_++;
    if (!name(&n->name)) return false;
    for (;;) {
      const size_t before = i_;
      skip_space();
      if (starts("/>")) return i_ += 2, true;
      if (starts(">")) break;
      if (i_ == before) return fail("a space before an attribute expected");
      std::string key, value;
      if (!name(&key)) return false;
      skip_space();
      if (!starts("=")) return fail("'=' expected");
      i_++;
      skip_space();
      if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) return fail("a quoted value expected");
      const char quote = s_[i_++];
      if (!chars(quote, &value)) return false;
      i_++;
      if (n->attr.count(key)) return fail("attribute " + key + " twice");
      n->attr[key] = value;
    }
    i_++;
    for (;;) {
      if (starts("<!--")) {
        if (!comment()) return false;
      } else if (starts("</")) {
        i_ += 2;
        std::string end;
        if (!name(&end)) return false;
        if (end != n->name) return fail("</" + end + "> closes <" + n->name + ">");
        skip_space();
        if (!starts(">")) return fail("'>' expected");
        i_++;
        return true;
      } else if (starts("<")) {
        n->kids.emplace_back();
        if (!element(&n->kids.back())) return false;
      } else if (!chars('<', &n->text)) {
        return false;
      }
    }
  }
};

void collect(const xml_node &n, const std::string &cls, std::vector<const xml_node *> *out) {
  auto c = n.attr.find("class");
  if (c != n.attr.end() && c->second == cls) out->push_back(&n);
  for (const xml_node &k : n.kids) collect(k, cls, out);
}

std::vector<const xml_node *> by_class(const xml_node &root, const std::string &cls) {
  std::vector<const xml_node *> v;
  collect(root, cls, &v);
  return v;
}

double num(const xml_node *n, const std::string &key) {
  auto a = n->attr.find(key);
  EXPECT_NE(a, n->attr.end()) << n->name << " has no " << key;
  return a == n->attr.end() ? NAN : std::atof(a->second.c_str());
}

// tests/data: trammel's joint 7, 20 from the middle of the bar between its
// blocks, traces an ellipse of semi-axes 70 and 30; trammel_line's, on the
// circle through the blocks and the centre, a straight line.

struct picture {
  xml_node root;
  std::string csv;
};

// Runs the tool with --svg on a file and parses the picture.
picture make_picture(const std::string &file, int steps) {
  picture p;
  const std::string svg = write_temp_file("");
  program_run r = run_path("--svg '" + svg + "' '" + file + "' " + std::to_string(steps));
  EXPECT_EQ(r.status, 0) << r.errors;
  p.csv = r.output;
  const std::string text = read_file(svg);
  xml_reader reader(text);
  EXPECT_TRUE(reader.document(&p.root)) << reader.error();
  unlink(svg.c_str());
  return p;
}

// Traced positions of joint k in the CSV rows.
std::vector<point> traced(const std::string &csv, int k) {
  std::vector<point> pts;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<double> f;
    std::istringstream cells(line);
    std::string c;
    while (std::getline(cells, c, ',')) f.push_back(std::atof(c.c_str()));
    pts.push_back({f[2 * k], f[2 * k + 1]});
  }
  return pts;
}

// Pixel = (x0 + s x, y0 - s y): the map of the picture, from two joints.
struct pixel_map {
  double s, x0, y0;
  double px(point p) const { return x0 + s * p.x; }
  double py(point p) const { return y0 - s * p.y; }
};

// The pixel of every joint, from its label (8 pixels right of and above it).
std::map<int, point> joint_pixels(const xml_node &root) {
  std::map<int, point> at;
  for (const xml_node *t : by_class(root, "joint-label"))
    at[std::atoi(t->text.c_str() + 1)] = {num(t, "x") - 8.0, num(t, "y") + 8.0};
  return at;
}

// Checks the picture against the mechanism loaded in this process at tt0.
void expect_picture_of_loaded(const picture &p, const std::string &what) {
  const mechanism &m = mech;
  const xml_node &svg = p.root;
  EXPECT_EQ(svg.name, "svg");
  EXPECT_EQ(svg.attr.at("xmlns"), "http://www.w3.org/2000/svg");
  EXPECT_EQ(svg.attr.at("viewBox"), "0 0 800 800");
  EXPECT_EQ(svg.attr.at("width"), "800");

  const std::map<int, point> pix = joint_pixels(svg);
  ASSERT_EQ(pix.size(), static_cast<size_t>(m.n)) << what;
  // The map from the two joints farthest apart in x.
  int a = 1, b = 1;
  for (int i = 1; i <= m.n; i++) {
    if (m.J[i].x < m.J[a].x) a = i;
    if (m.J[i].x > m.J[b].x) b = i;
  }
  pixel_map map;
  map.s = (pix.at(b).x - pix.at(a).x) / (m.J[b].x - m.J[a].x);
  map.x0 = pix.at(a).x - map.s * m.J[a].x;
  map.y0 = pix.at(a).y + map.s * m.J[a].y;
  ASSERT_GT(map.s, 0.0);
  const double px_tol = 0.011;  // coordinates are written to 0.01 pixel
  for (int i = 1; i <= m.n; i++) {
    EXPECT_NEAR(pix.at(i).x, map.px(m.J[i]), px_tol) << what << " J" << i << " is not at its tt0 position";
    EXPECT_NEAR(pix.at(i).y, map.py(m.J[i]), px_tol) << what << " J" << i << " (one scale for x and y)";
  }

  // One red 8-pixel bar per link, between the pixels of its joints.
  int links = 0;
  for (int i = 1; i <= m.n; i++)
    for (int j = i + 1; j <= m.n; j++) links += m.link_exists[i][j] == 'Y';
  const auto bars = by_class(svg, "link");
  EXPECT_EQ(static_cast<int>(bars.size()), links) << what;
  for (const xml_node *l : bars) {
    EXPECT_EQ(l->attr.at("stroke"), "#ff0000");
    EXPECT_EQ(l->attr.at("stroke-width"), "8");
    int ends = 0;
    for (int i = 1; i <= m.n; i++) {
      const bool one = std::hypot(num(l, "x1") - pix.at(i).x, num(l, "y1") - pix.at(i).y) < px_tol * 2;
      const bool two = std::hypot(num(l, "x2") - pix.at(i).x, num(l, "y2") - pix.at(i).y) < px_tol * 2;
      ends += one + two;
    }
    EXPECT_EQ(ends, 2) << what << ": a bar that does not join two joints";
  }
  for (const xml_node *plate : by_class(svg, "plate")) EXPECT_EQ(plate->attr.at("fill"), "#ffff99");

  // Joints: white discs with red rings, a second ring at fixed joints;
  // sliders: white blocks with red long sides.
  int rotary = 0, fixed = 0;
  for (int i = 1; i <= m.n; i++) {
    rotary += m.joint_kind[i] == 'R' || m.joint_kind[i] == 'D';
    fixed += (m.joint_kind[i] == 'R' || m.joint_kind[i] == 'D') && (m.J_known[i] == 'Y' || m.J_known[i] == 'W');
  }
  const auto moving = by_class(svg, "joint"), still = by_class(svg, "joint fixed");
  EXPECT_EQ(static_cast<int>(moving.size() + still.size()), rotary) << what;
  EXPECT_EQ(static_cast<int>(still.size()), fixed) << what;
  for (const xml_node *g : still) {
    ASSERT_EQ(g->kids.size(), 3u);
    EXPECT_EQ(g->kids[0].attr.at("fill"), "#ffffff");
    EXPECT_EQ(g->kids[1].attr.at("stroke"), "#ff0000");
    EXPECT_EQ(g->kids[2].attr.at("stroke"), "#ff0000");
  }
  const auto blocks = by_class(svg, "slider");
  EXPECT_EQ(static_cast<int>(blocks.size()), m.slider_count) << what;
  for (const xml_node *g : blocks) {
    ASSERT_EQ(g->kids.size(), 3u);
    EXPECT_EQ(g->kids[0].name, "rect");
    EXPECT_EQ(g->kids[0].attr.at("fill"), "#ffffff");
    EXPECT_EQ(num(&g->kids[0], "width"), 40.0);
    EXPECT_EQ(num(&g->kids[0], "height"), 20.0);
    EXPECT_EQ(g->kids[1].attr.at("stroke"), "#ff0000");
  }

  // The path: every vertex a traced position of the run.
  const auto paths = by_class(svg, "path");
  ASSERT_EQ(paths.size(), 1u) << what;
  EXPECT_EQ(paths[0]->attr.at("stroke"), "#0000ff");
  EXPECT_EQ(paths[0]->attr.at("stroke-width"), "4");
  const std::vector<point> rows = traced(p.csv, m.kten);
  std::istringstream d(paths[0]->attr.at("d"));
  std::string cmd;
  int vertices = 0;
  double lo_x = 1e9, hi_x = -1e9, lo_y = 1e9, hi_y = -1e9;
  auto extend = [&](double x, double y) {
    lo_x = std::min(lo_x, x), hi_x = std::max(hi_x, x), lo_y = std::min(lo_y, y), hi_y = std::max(hi_y, y);
  };
  while (d >> cmd) {
    ASSERT_TRUE(cmd[0] == 'M' || cmd[0] == 'L') << cmd;
    double x = std::atof(cmd.c_str() + 1), y;
    d >> y;
    vertices++;
    extend(x, y);
    double best = 1e9;
    for (const point &q : rows) best = std::min(best, std::hypot(map.px(q) - x, map.py(q) - y));
    EXPECT_LT(best, px_tol * 2) << what << ": a path vertex where the joint never was";
  }
  EXPECT_GT(vertices, static_cast<int>(rows.size()) / 2) << what;
  // Scaled to fit: everything inside the picture, and the drawing spans the
  // width (720 pixels between the margins) or the height (670 below the text).
  for (const auto &j : pix) extend(j.second.x, j.second.y);
  EXPECT_GE(lo_x, 0.0);
  EXPECT_LE(hi_x, 800.0);
  EXPECT_GE(lo_y, 80.0) << "the drawing reaches into the title";
  EXPECT_LE(hi_y, 800.0);
  EXPECT_TRUE(std::fabs(hi_x - lo_x - 720.0) < 0.1 || std::fabs(hi_y - lo_y - 670.0) < 0.1)
      << what << ": " << hi_x - lo_x << " x " << hi_y - lo_y;

  const auto title = by_class(svg, "title");
  ASSERT_EQ(title.size(), 1u);
  EXPECT_EQ(title[0]->text, m.title);
}

void load_here(const std::string &file) {
  console_capture quiet;
  ASSERT_EQ(batch_load(file.c_str(), 72), 1);
  console_set_batch(0);
}

// Fit lines of the tool's standard error, by their first word after "fit ".
std::map<std::string, std::string> fit_lines(const std::string &errors) {
  std::map<std::string, std::string> lines;
  std::istringstream in(errors);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("fit ", 0) != 0 && line.rfind("fit:", 0) != 0) continue;
    const size_t colon = line.find(':');
    lines[line.substr(0, colon)] = line.substr(colon + 1);
  }
  return lines;
}

double field(const std::string &line, const std::string &key) {
  const size_t at = line.find(key + "=");
  EXPECT_NE(at, std::string::npos) << key << " in " << line;
  return at == std::string::npos ? NAN : std::atof(line.c_str() + at + key.size() + 1);
}

std::string fit_of(const std::string &file, int steps) {
  program_run r = run_path("--fit '" + file + "' " + std::to_string(steps));
  EXPECT_EQ(r.status, 0) << r.errors;
  return r.errors;
}

}  // namespace

TEST(PathPicture, ShowsTheMechanismAtTt0AndItsPathInTheWindowColours) {
  picture four_bar = make_picture("a00", 360);
  load_here("a00");
  expect_picture_of_loaded(four_bar, "a00");
  EXPECT_EQ(by_class(four_bar.root, "plate").size(), 1u);
  const auto drive = by_class(four_bar.root, "drive");
  ASSERT_EQ(drive.size(), 1u);
  EXPECT_EQ(drive[0]->text, format("drive=L%d%dangle", mech.id, mech.jd));

  const std::string tram = test_data("trammel");
  picture blocks = make_picture(tram, 400);
  load_here(tram);
  expect_picture_of_loaded(blocks, "trammel");
  EXPECT_EQ(by_class(blocks.root, "drive")[0]->text, "drive=L21 slide");
  // Block 1 runs on the x axis: no turn; block 4 on the y axis: a quarter turn.
  const auto sliders = by_class(blocks.root, "slider");
  ASSERT_EQ(sliders.size(), 2u);
  auto turn = [](const xml_node *g) {
    const std::string t = g->attr.at("transform");
    const size_t at = t.find("rotate(");
    return at == std::string::npos ? NAN : std::atof(t.c_str() + at + 7);
  };
  EXPECT_NEAR(turn(sliders[0]), 0.0, 1e-3);
  EXPECT_NEAR(turn(sliders[1]), -90.0, 1e-3);  // y points down in SVG

  const std::string slider = test_data("slider_crank");
  picture crank = make_picture(slider, 360);
  load_here(slider);
  expect_picture_of_loaded(crank, "slider-crank");
}

TEST(PathPicture, ATitleOfAnyBytesStillMakesWellFormedXml) {
  const std::string odd = write_temp_file(
      "a<b>&c\"d\x01\xff\xe3\x81\x82_x\n4\n1,R 2,R 3,R 4,R 0\n3\n1,0,0 0\n4,1,120,0 0\n0\n"
      "1,2,40 2,3,110 3,4,90 0\n0\n0\nB 1,2,60\n");
  picture p = make_picture(odd, 10);
  const auto title = by_class(p.root, "title");
  ASSERT_EQ(title.size(), 1u);
  EXPECT_EQ(title[0]->text, "a<b>&c\"d??\xe3\x81\x82_x");
  // No step: the mechanism alone, no path element.
  picture still = make_picture("a00", 0);
  EXPECT_EQ(by_class(still.root, "path").size(), 0u);
  EXPECT_EQ(by_class(still.root, "link").size(), 6u);
}

// A browser opens the picture and paints the bars red, the plate yellow,
// the joints white and the path blue where the SVG puts them.
TEST(PathPicture, ChromiumDrawsIt) {
  const std::string svg = write_temp_file("");
  ASSERT_EQ(run_path("--svg '" + svg + "' a00 360").status, 0);
  const std::string svg_file = svg + ".svg";
  ASSERT_EQ(rename(svg.c_str(), svg_file.c_str()), 0);
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(chromium_screenshot(svg_file, 0, &bytes))
      << "headless chromium (Debian package chromium) did not take the screenshot";
  const frame_pixels f(bytes, 800, 800);

  xml_node root;
  const std::string text = read_file(svg_file);
  xml_reader reader(text);
  ASSERT_TRUE(reader.document(&root)) << reader.error();
  const std::map<int, point> pix = joint_pixels(root);
  auto pixel = [&](double x, double y) { return f.at(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))); };
  // Bars at a quarter of their length from one end (joints cover the ends;
  // a bar's middle may be crossed by the path).
  int red_bars = 0;
  const auto bars = by_class(root, "link");
  for (const xml_node *l : bars) {
    const double x = 0.75 * num(l, "x1") + 0.25 * num(l, "x2"), y = 0.75 * num(l, "y1") + 0.25 * num(l, "y2");
    red_bars += is_red(pixel(x, y));
  }
  EXPECT_GE(red_bars, static_cast<int>(bars.size()) - 1);
  // Joint discs are white; the path is drawn over the traced one.
  load_here("a00");
  for (const auto &j : pix)
    if (j.first != mech.kten) {
      EXPECT_TRUE(is_white(pixel(j.second.x, j.second.y))) << "joint " << j.first;
    }
  // The plate: its centroid, pale yellow.
  const auto plates = by_class(root, "plate");
  ASSERT_EQ(plates.size(), 1u);
  std::istringstream corners(plates[0]->attr.at("points"));
  double cx = 0, cy = 0;
  for (int k = 0; k < 3; k++) {
    double x, y;
    char comma;
    corners >> x >> comma >> y;
    cx += x / 3, cy += y / 3;
  }
  const rgb plate = pixel(cx, cy);
  EXPECT_TRUE(plate.r > 240 && plate.g > 240 && plate.b > 130 && plate.b < 175) << plate.r << "," << plate.g << "," << plate.b;
  // The path: most of its vertices are blue.
  std::istringstream d(by_class(root, "path")[0]->attr.at("d"));
  std::string cmd;
  int vertices = 0, blue = 0;
  while (d >> cmd) {
    double y;
    d >> y;
    vertices++;
    blue += is_blue(pixel(std::atof(cmd.c_str() + 1), y));
  }
  EXPECT_GT(blue, vertices * 8 / 10);
  // Title text in the band above the drawing: dark pixels there.
  int dark = 0;
  for (int y = 20; y < 65; y++)
    for (int x = 40; x < 200; x++) dark += is_dark(f.at(x, y));
  EXPECT_GT(dark, 100);
  unlink(svg_file.c_str());
}

TEST(PathFit, NamesTheLineCircleOrConicThatTheTracedJointFollows) {
  // The trammel's point: an ellipse of semi-axes 70 and 30.
  auto fit = fit_lines(fit_of(test_data("trammel"), 400));
  ASSERT_TRUE(fit.count("fit best")) << "no best line";
  EXPECT_NE(fit["fit best"].find(" conic ellipse "), std::string::npos) << fit["fit best"];
  EXPECT_NE(fit["fit best"].find(" exact"), std::string::npos);
  EXPECT_NEAR(field(fit["fit best"], "eccentricity"), std::sqrt(1.0 - 9.0 / 49.0), 1e-7);
  EXPECT_LT(field(fit["fit conic"], "max_dev"), 1e-6);
  EXPECT_GT(field(fit["fit circle"], "max_dev"), 10.0);
  EXPECT_NE(fit["fit"].find("joint 7, 400 points"), std::string::npos) << fit["fit"];

  // On the circle through the blocks and the centre: a straight line
  // through the origin at the direction the sides give it.
  fit = fit_lines(fit_of(test_data("trammel_line"), 400));
  EXPECT_NE(fit["fit best"].find(" line max_dev="), std::string::npos) << fit["fit best"];
  EXPECT_NE(fit["fit best"].find(" exact"), std::string::npos);
  EXPECT_NE(fit["fit circle"].find("none (the points lie on a line)"), std::string::npos) << fit["fit circle"];

  // The rocker's pin turns about joint 1 at 40: a circle.
  fit = fit_lines(fit_of(test_data("rocker_drive"), 300));
  EXPECT_NE(fit["fit best"].find(" circle max_dev="), std::string::npos) << fit["fit best"];
  EXPECT_NEAR(field(fit["fit circle"], "radius"), 40.0, 1e-6);
  const std::string circle = fit["fit circle"];
  const size_t centre = circle.find("centre=(");
  ASSERT_NE(centre, std::string::npos) << circle;
  EXPECT_NEAR(std::atof(circle.c_str() + centre + 8), 0.0, 1e-6) << circle;
  EXPECT_NEAR(std::atof(circle.c_str() + circle.find(", ", centre) + 2), 0.0, 1e-6) << circle;

  // A coupler curve is none of them: the closest, marked approximate.
  fit = fit_lines(fit_of("a00", 360));
  EXPECT_NE(fit["fit best"].find(" approximate"), std::string::npos) << fit["fit best"];
  EXPECT_GT(field(fit["fit best"], "max_dev"), 1.0);
  EXPECT_LE(field(fit["fit best"], "max_dev"), field(fit["fit line"], "max_dev"));
  EXPECT_LE(field(fit["fit best"], "max_dev"), field(fit["fit circle"], "max_dev"));

  // No step, no point.
  fit = fit_lines(fit_of("a00", 0));
  EXPECT_NE(fit["fit"].find(", 0 points"), std::string::npos);
  EXPECT_EQ(fit["fit best"], " none");
  // The report comes after the rows and never mixes into them.
  program_run r = run_path("--fit a00 5");
  EXPECT_EQ(r.output.find("fit"), std::string::npos);
  EXPECT_EQ(r.output, run_path("a00 5").output);
}

TEST(PathOptions, BadOptionsAndAnUnwritablePictureEndWithoutRows) {
  for (const char *args : {"--svg", "a00 --svg", "--frobnicate a00", "--derivatives", "a00 10 --fit 3"}) {
    program_run r = run_path(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.output, "") << args;
    EXPECT_NE(r.errors.find("使い方: linkmotion-path"), std::string::npos) << args;
  }
  program_run r = run_path("--svg /nonexistent-dir/x.svg a00 10");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "");
  EXPECT_NE(r.errors.find("/nonexistent-dir/x.svg"), std::string::npos);
  // Options after the file and its step count, and "--" before a file name.
  program_run late = run_path("a00 3 --fit");
  EXPECT_EQ(late.status, 0);
  EXPECT_NE(late.errors.find("fit best:"), std::string::npos);
  program_run dashes = run_path("--fit -- a00 3");
  EXPECT_EQ(dashes.status, 0);
  EXPECT_EQ(dashes.output, late.output);
}

// scripts/make-pictures.sh on a library of its own: a picture per data
// file, the catalogue section between its markers rewritten and the rest
// of the catalogue kept, pictures of removed files gone, a file that does
// not assemble reported without stopping the others.
TEST(PicturesScript, DrawsEveryFileAndRewritesOnlyItsSection) {
  const std::string dir = write_temp_file("") + "-library";
  ASSERT_EQ(system(("mkdir -p '" + dir + "/pictures' && cp '" + source_path("mechanisms/a00") + "' '" +
                    test_data("trammel") + "' '" + dir + "/'").c_str()),
            0);
  auto put = [&](const std::string &name, const std::string &text) {
    FILE *f = fopen((dir + "/" + name).c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(text.c_str(), f);
    fclose(f);
  };
  put("broken", "no_assembly\n4\n1,R 2,R 3,R 4,R 0\n3\n1,0,0 0\n4,1,300,0 0\n0\n1,2,40 2,3,50 3,4,60 0\n0\n0\nB 1,2,0\n");
  put("pictures/removed.svg", "<svg/>");
  put("notes.txt", "not a data file");
  const std::string before = "# Library\n\nIntro.\n\n<!-- pictures: begin (written by scripts/make-pictures.sh) -->\nold\n"
                             "<!-- pictures: end -->\n\n## After\n\nKept.\n";
  put("README.md", before);
  const std::string command =
      "'" + source_path("scripts/make-pictures.sh") + "' '" + dir + "' '" + program_path("linkmotion-path") + "'";
  program_run first = run_program(command, "");
  EXPECT_EQ(first.status, 1) << first.errors;
  EXPECT_NE(first.errors.find("broken cannot be drawn"), std::string::npos) << first.errors;
  const std::string catalogue = read_file(dir + "/README.md");
  EXPECT_EQ(catalogue.rfind("# Library\n\nIntro.\n\n", 0), 0u) << catalogue;
  EXPECT_NE(catalogue.find("<!-- pictures: end -->\n\n## After\n\nKept.\n"), std::string::npos) << catalogue;
  EXPECT_EQ(catalogue.find("\nold\n"), std::string::npos);
  EXPECT_EQ(count_occurrences(catalogue, "## Pictures"), 1);
  EXPECT_NE(catalogue.find("| `a00` | a00_crank-rocker | <a href=\"pictures/a00.svg\"><img src=\"pictures/a00.svg\""),
            std::string::npos)
      << catalogue;
  EXPECT_NE(catalogue.find("pictures/trammel.svg"), std::string::npos);
  EXPECT_EQ(catalogue.find("broken"), std::string::npos);
  EXPECT_EQ(catalogue.find("notes"), std::string::npos);
  EXPECT_EQ(read_file(dir + "/pictures/removed.svg"), "");
  EXPECT_EQ(read_file(dir + "/pictures/broken.svg"), "");
  for (const char *name : {"a00", "trammel"}) {
    const std::string text = read_file(dir + "/pictures/" + name + ".svg");
    xml_node root;
    xml_reader reader(text);
    EXPECT_TRUE(reader.document(&root)) << name << ": " << reader.error();
    EXPECT_EQ(root.name, "svg");
  }
  // A second run changes nothing; without markers the section is appended.
  run_program(command, "");
  EXPECT_EQ(read_file(dir + "/README.md"), catalogue);
  put("README.md", "# Only a heading\n");
  run_program(command, "");
  const std::string appended = read_file(dir + "/README.md");
  EXPECT_EQ(appended.rfind("# Only a heading\n\n<!-- pictures: begin", 0), 0u) << appended;
  EXPECT_EQ(appended.substr(appended.size() - 23), "<!-- pictures: end -->\n");
  system(("rm -rf '" + dir + "'").c_str());
}

// Mechanism data file reader with its console echo.
#include "model/data_file.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "model/console.h"
#include "model/mechanism_model.h"

static FILE *data_fp = nullptr;

// Where the reader is, for the messages about a bad file.
static const char *section_name = "";  // "title", "(1)" .. "(10)"
static int entry_number = 0;           // 1.. within a list section, 0 for a single value

// Lists that serve only the echo, in reading order.
static int fixed_joint_list[max_section_entries];
static int fixed_joint_count;
static int fixed_angle_list[max_section_entries][2];
static int fixed_angle_count;
static int length_list[max_section_entries][2];
static int length_count;
static int rel_angle_list[max_section_entries][3];
static int rel_angle_count;

int open_data_file(const char *dir) {
  close_data_file();
  data_fp = fopen(mech.fname, "rt");
  if (!data_fp && dir && !strchr(mech.fname, '/')) {
    char path[fname_size + 512];
    snprintf(path, sizeof path, "%s/%s", dir, mech.fname);
    data_fp = fopen(path, "rt");
  }
  if (!data_fp) {
    con_printf("\nファイル %s を開けません．ファイル名を確かめて下さい．", shown(mech.fname));
    return 0;
  }
  // A folder opens like a file and then reads as one that ends at once.
  struct stat st;
  if (fstat(fileno(data_fp), &st) == 0 && S_ISDIR(st.st_mode)) {
    con_printf("\n%s はフォルダです．ファイル名を入力して下さい．", shown(mech.fname));
    close_data_file();
    return 0;
  }
  return 1;
}

void close_data_file() {
  if (data_fp) fclose(data_fp);
  data_fp = nullptr;
}

// --- messages about a bad file ---

static int bad_file(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Prints where the reader stopped and why; returns 0 for the caller to pass on.
static int bad_file(const char *fmt, ...) {
  char why[256];
  va_list args;
  va_start(args, fmt);
  vsnprintf(why, sizeof why, fmt, args);
  va_end(args);
  if (entry_number > 0)
    con_printf("\nデータファイル %s の区間%s，%d番目の項目：%s", shown(mech.fname), section_name,
               entry_number, why);
  else
    con_printf("\nデータファイル %s の区間%s：%s", shown(mech.fname), section_name, why);
  return 0;
}

static int scan_failed(int scanned) {
  if (scanned == EOF || feof(data_fp))
    return bad_file("ファイルが途中で終わっています（区間を閉じる 0 がありません）．");
  return bad_file("書式が正しくありません．");
}

// Scans `count` conversions with fmt; 1 when all were read, 0 after a message.
static int scan_items(int count, const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int got = vfscanf(data_fp, fmt, args);
  va_end(args);
  if (got == count) return 1;
  return scan_failed(got);
}

// A joint number read as a long: one beyond the range of int is refused
// here (it would wrap onto a joint of the file), one within it is checked
// against the joints by check_joints.  1 and *out set, 0 after a message
// (and *out 0, so that no caller holds an unset number).
static int to_joint(long v, int *out) {
  *out = 0;  // never read after a refusal; set so that no path leaves it unset
  if (v < INT_MIN || v > INT_MAX) return bad_file("関節番号 %ld が範囲 1～%d の外です．", v, mech.n);
  *out = static_cast<int>(v);
  return 1;
}

// The joint numbers raw[0..count-1] into out, as to_joint.
static int to_joints(int count, const long *raw, int *out) {
  for (int a = 0; a < count; a++)
    if (!to_joint(raw[a], &out[a])) return 0;
  return 1;
}

// Starts list section `name`: resets the entry counter.
static void begin_section(const char *name) {
  section_name = name;
  entry_number = 0;
}

// Reads the first integer of the next entry of a list section into *first
// (0 ends the list).  1 read, 0 after a message; refuses a 20th entry.
static int next_entry(int *first) {
  entry_number++;
  *first = 0;
  long raw;
  if (!scan_items(1, "%ld", &raw) || !to_joint(raw, first)) return 0;
  if (*first != 0 && entry_number > max_section_entries)
    return bad_file("項目が多すぎます（%d項目まで）．", max_section_entries);
  return 1;
}

static int check_joints(int count, const int *joints) {
  for (int a = 0; a < count; a++) {
    if (!joint_in_range(joints[a]))
      return bad_file("関節番号 %d が範囲 1～%d の外です．", joints[a], mech.n);
    for (int b = 0; b < a; b++)
      if (joints[a] == joints[b]) return bad_file("同じ関節番号 %d が重なっています．", joints[a]);
  }
  return 1;
}

// A number of the file: finite and at most limit in magnitude.
static int check_number(double v, double limit) {
  if (!std::isfinite(v)) return bad_file("数値が有限ではありません．");
  if (std::fabs(v) > limit) return bad_file("数値 %g が大きすぎます（絶対値 %g まで）．", v, limit);
  return 1;
}

static int check_length(double v) { return check_number(v, max_length_value); }
static int check_angle(double v) { return check_number(v, max_angle_value); }

// Two fixed joints closer than this (world units) are at the same place: the
// link between them has no length and no direction.  Far below a pixel
// (half a world unit at the start scale), far above the rounding of
// coordinates within max_length_value.
static const double same_place = 1e-6;

// A joint fixed at (x, y): not at the place of another fixed joint, and not
// at a second place when it was fixed before (section (5) may name a fixed
// joint again for another link, at the same place).
static int check_fixed_place(int i, double x, double y) {
  const mechanism &m = mech;
  for (int f = 0; f < fixed_joint_count; f++) {
    const int j = fixed_joint_list[f];
    const double d = std::hypot(x - m.J[j].x, y - m.J[j].y);
    if (j == i && d >= same_place)
      return bad_file("関節 %d が二か所 (%g, %g) と (%g, %g) に固定されています．", i, m.J[j].x,
                      m.J[j].y, x, y);
    if (j != i && d < same_place)
      return bad_file("関節 %d と関節 %d が同じ位置 (%g, %g) に固定されています（その間のリンクの長さが 0 になります）．",
                      j, i, x, y);
  }
  return 1;
}

// A quantity given twice: the entry that gave it first, in its section.
static int given_before(const char *what, int entry) {
  return bad_file("%s は %d番目の項目ですでに与えられています．", what, entry + 1);
}

// The entry of list[0..count-1] that names the link i-j, in either order; -1 none.
static int find_link(const int (*list)[2], int count, int i, int j) {
  for (int f = 0; f < count; f++)
    if ((list[f][0] == i && list[f][1] == j) || (list[f][0] == j && list[f][1] == i)) return f;
  return -1;
}

// Both orders, working and saved, of a relative angle given by the file.
static void set_given_th(int i, int j, int k, double v, double reverse) {
  mechanism &m = mech;
  m.th[i][j][k] = m.th_saved[i][j][k] = v;
  m.th[k][j][i] = m.th_saved[k][j][i] = reverse;
  m.th_known[i][j][k] = m.th_known[k][j][i] = 'Y';
  m.th_known_saved[i][j][k] = m.th_known_saved[k][j][i] = 'Y';
}

static void set_fixed_joint(int i, double x, double y) {
  mechanism &m = mech;
  m.J[i] = m.J_saved[i] = point{x, y};
  m.J_known[i] = 'Y';
  m.J_known_saved[i] = 'Y';
  fixed_joint_list[fixed_joint_count++] = i;
}

// --- the steps ---

int read_title() {
  begin_section("title");
  char word[title_size];
  if (!scan_items(1, "%79s", word)) return 0;
  int next = getc(data_fp);
  if (next != EOF && !isspace(next)) {
    // Cut on a character boundary: drop a partial UTF-8 sequence at the end.
    size_t len = strlen(word);
    if ((static_cast<unsigned char>(next) & 0xC0) == 0x80) {
      while (len > 0 && (static_cast<unsigned char>(word[len - 1]) & 0xC0) == 0x80) len--;
      if (len > 0 && (static_cast<unsigned char>(word[len - 1]) & 0xC0) == 0xC0) len--;
    }
    word[len] = '\0';
    snprintf(mech.title, sizeof mech.title, "%s", word);
    return bad_file("タイトルが長すぎます（%dバイトまで）．", title_size - 1);
  }
  snprintf(mech.title, sizeof mech.title, "%s", word);
  con_printf("\n%s\n", shown(mech.title));
  return 1;
}

int read_joints() {
  mechanism &m = mech;
  begin_section("(1)");
  long count;
  if (!scan_items(1, "%ld", &count)) return 0;
  if (count < 1 || count > max_joints)
    return bad_file("関節数 n=%ld は 1～%d の範囲の外です．", count, max_joints);
  m.n = static_cast<int>(count);

  begin_section("(2)");
  for (;;) {
    int i;
    char kind;
    if (!next_entry(&i)) return 0;
    if (i == 0) break;
    if (!check_joints(1, &i)) return 0;
    // The kind is the first letter of a word; the rest of the word is skipped.
    if (!scan_items(1, ", %c%*[^ \t\r\n\v\f]", &kind)) return 0;
    if (kind != 'R' && kind != 'S' && kind != 'D')
      return bad_file("関節の種類 %c は R, S, D のどれでもありません．", kind);
    m.joint_kind[i] = kind;
  }

  begin_section("(3)");
  long raw_traced;
  int traced = 0;
  if (!scan_items(1, "%ld", &raw_traced) || !to_joint(raw_traced, &traced)) return 0;
  if (!check_joints(1, &traced)) return 0;
  m.kten = traced;

  con_printf("\n(1) 設定軌跡を描く点を含む関節数 n=%d\n", m.n);
  con_printf("\n(2) 設定ジョイント番号・種類  R:回転関節 S:スライダ D:回転関節付きスライダ\n");
  for (int i = 1; i <= m.n; i++) con_printf("  J[%d]=%c\n", i, m.joint_kind[i]);
  con_printf("\n(3) 設定軌跡を描く関節番号 kten=%d\n", m.kten);
  return 1;
}

int read_fixed() {
  mechanism &m = mech;
  fixed_joint_count = fixed_angle_count = length_count = rel_angle_count = 0;

  begin_section("(4)");
  for (;;) {
    int i;
    double x, y;
    if (!next_entry(&i)) return 0;
    if (i == 0) break;
    if (!scan_items(2, ",%lf,%lf", &x, &y)) return 0;
    if (!check_joints(1, &i) || !check_length(x) || !check_length(y)) return 0;
    for (int f = 0; f < fixed_joint_count; f++) {
      if (fixed_joint_list[f] != i) continue;
      char what[32];
      snprintf(what, sizeof what, "J[%d]", i);
      return given_before(what, f);
    }
    if (!check_fixed_place(i, x, y)) return 0;
    set_fixed_joint(i, x, y);
  }

  begin_section("(5)");
  for (;;) {
    int ij[2];
    double x, y;
    if (!next_entry(&ij[0])) return 0;
    if (ij[0] == 0) break;
    if (fixed_joint_count >= max_section_entries)  // (4) and (5) share the limit
      return bad_file("位置固定の関節が多すぎます（区間(4),(5)合わせて%d項目まで）．",
                      max_section_entries);
    long raw;
    if (!scan_items(3, ",%ld,%lf,%lf", &raw, &x, &y) || !to_joint(raw, &ij[1])) return 0;
    if (!check_joints(2, ij) || !check_length(x) || !check_length(y)) return 0;
    if (!check_fixed_place(ij[0], x, y)) return 0;
    set_fixed_joint(ij[0], x, y);
    m.link_exists[ij[0]][ij[1]] = m.link_exists[ij[1]][ij[0]] = 'Y';
  }

  begin_section("(6)");
  for (;;) {
    int ij[2];
    double a;
    if (!next_entry(&ij[0])) return 0;
    if (ij[0] == 0) break;
    long raw;
    if (!scan_items(2, ",%ld,%lf", &raw, &a) || !to_joint(raw, &ij[1])) return 0;
    if (!check_joints(2, ij) || !check_angle(a)) return 0;
    const int i = ij[0], j = ij[1];
    const int before = find_link(fixed_angle_list, fixed_angle_count, i, j);
    if (before >= 0) {
      char what[32];
      snprintf(what, sizeof what, "ath[%d][%d]", i, j);
      return given_before(what, before);
    }
    m.ath[i][j] = m.ath_saved[i][j] = a * deg_to_rad;
    m.ath[j][i] = m.ath_saved[j][i] = wrap_angle(pi + m.ath[i][j]);
    m.ath_known[i][j] = m.ath_known[j][i] = 'Y';
    m.ath_known_saved[i][j] = m.ath_known_saved[j][i] = 'Y';
    m.link_exists[i][j] = m.link_exists[j][i] = 'Y';
    fixed_angle_list[fixed_angle_count][0] = i;
    fixed_angle_list[fixed_angle_count][1] = j;
    fixed_angle_count++;
  }

  con_printf("\n(4,5) 設定位置固定の関節数=%d", fixed_joint_count);
  for (int f = 0; f < fixed_joint_count; f++) {
    const int i = fixed_joint_list[f];
    con_printf("\n      J[%d]=(%7.2f %7.2f)", i, m.J[i].x, m.J[i].y);
  }
  con_printf("\n\n(6) 設定不変リンク傾き角数=%d", fixed_angle_count);
  for (int f = 0; f < fixed_angle_count; f++) {
    const int i = fixed_angle_list[f][0], j = fixed_angle_list[f][1];
    con_printf("\n    ath[%d][%d]=%6.2f°", i, j, m.ath[i][j] * rad_to_deg);
  }
  return 1;
}

int read_links() {
  mechanism &m = mech;

  begin_section("(7)");
  for (;;) {
    int ij[2];
    double len;
    if (!next_entry(&ij[0])) return 0;
    if (ij[0] == 0) break;
    long raw;
    if (!scan_items(2, ",%ld,%lf", &raw, &len) || !to_joint(raw, &ij[1])) return 0;
    if (!check_joints(2, ij) || !check_length(len)) return 0;
    if (!(len > 0.0)) return bad_file("リンクの長さ %g が正ではありません．", len);
    const int i = ij[0], j = ij[1];
    const int before = find_link(length_list, length_count, i, j);
    if (before >= 0) {
      char what[32];
      snprintf(what, sizeof what, "l[%d][%d]", i, j);
      return given_before(what, before);
    }
    m.l[i][j] = m.l[j][i] = m.l_saved[i][j] = m.l_saved[j][i] = len;
    m.l_known[i][j] = m.l_known[j][i] = 'Y';
    m.l_known_saved[i][j] = m.l_known_saved[j][i] = 'Y';
    m.link_exists[i][j] = m.link_exists[j][i] = 'Y';
    length_list[length_count][0] = i;
    length_list[length_count][1] = j;
    length_count++;
  }
  con_printf("\n\n(7) 設定不変リンク長数=%d", length_count);
  for (int f = 0; f < length_count; f++) {
    const int i = length_list[f][0], j = length_list[f][1];
    con_printf("\n    l[%d][%d]=%6.2f", i, j, m.l[i][j]);
  }

  begin_section("(8)");
  for (;;) {
    int ijk[3];
    double a;
    if (!next_entry(&ijk[0])) return 0;
    if (ijk[0] == 0) break;
    long raw[2];
    if (!scan_items(3, ",%ld,%ld,%lf", &raw[0], &raw[1], &a) || !to_joints(2, raw, &ijk[1])) return 0;
    if (!check_joints(3, ijk) || !check_angle(a)) return 0;
    for (int f = 0; f < rel_angle_count; f++) {
      const int *e = rel_angle_list[f];
      if (e[1] != ijk[1] || !((e[0] == ijk[0] && e[2] == ijk[2]) || (e[0] == ijk[2] && e[2] == ijk[0])))
        continue;
      char what[48];
      snprintf(what, sizeof what, "th[%d][%d][%d]", ijk[0], ijk[1], ijk[2]);
      return given_before(what, f);
    }
    const double v = a * deg_to_rad;  // stored as given, not wrapped
    set_given_th(ijk[0], ijk[1], ijk[2], v, -v);
    for (int c = 0; c < 3; c++) rel_angle_list[rel_angle_count][c] = ijk[c];
    rel_angle_count++;
  }
  con_printf("\n\n(8) 設定不変リンク間相対角度数=%d", rel_angle_count);
  for (int f = 0; f < rel_angle_count; f++) {
    const int i = rel_angle_list[f][0], j = rel_angle_list[f][1], k = rel_angle_list[f][2];
    con_printf("\n    th[%d][%d][%d]=%6.2f°", i, j, k, m.th[i][j][k] * rad_to_deg);
  }

  begin_section("(9)");
  int count = 0;
  for (;;) {
    int ijk[3];
    if (!next_entry(&ijk[0])) return 0;
    if (ijk[0] == 0) break;
    long raw[2];
    if (!scan_items(2, ",%ld,%ld", &raw[0], &raw[1]) || !to_joints(2, raw, &ijk[1])) return 0;
    if (!check_joints(3, ijk)) return 0;
    const int i = ijk[0], j = ijk[1], k = ijk[2];
    // A joint may slide on two lines (it sits where they cross), not on
    // one line twice.
    for (int s = 1; s <= count; s++) {
      const slider_entry &e = m.sliders[s];
      if (e.i != i || !((e.j == j && e.k == k) || (e.j == k && e.k == j))) continue;
      char what[64];
      snprintf(what, sizeof what, "スライダ J[%d] の直線 L[%d][%d]", i, j, k);
      return given_before(what, s - 1);
    }
    // The guide: a link, two joints of a given angle, or the line of an
    // earlier slider (tested before this slider's own angles are set).
    if (!has_line(j, k))
      return bad_file("スライダ %d が走るリンク L[%d][%d] がこの機構にありません（区間(4)～(9)のどれにもありません）．",
                      i, j, k);
    count++;
    m.sliders[count] = slider_entry{i, j, k};
    // Slider i lies on the straight line through j and k, between them.
    set_given_th(k, i, j, 0.0, 0.0);
    set_given_th(j, k, i, pi, pi);
    set_given_th(i, j, k, pi, pi);
  }
  m.slider_count = count;
  con_printf("\n\n(9) 設定スライダとそれが走るリンク番号  スライダ数=%d", count);
  for (int s = 1; s <= count; s++) {
    const slider_entry &e = m.sliders[s];
    con_printf("\n    J[%d]=%c  リンクL[%d][%d]上を動く", e.i, m.joint_kind[e.i], e.j, e.k);
  }
  con_printf("\n");
  return 1;
}

// Marks the driven quantity 'Z', working and saved flags.
static void mark_driven(char *working_a, char *working_b, int *saved_a, int *saved_b) {
  *working_a = *working_b = 'Z';
  *saved_a = *saved_b = 'Z';
}

// The driven element must be a line or an angle of the mechanism, and one
// that can move.
static int check_drivable(int kind, const int ijk[3]) {
  char element[48];
  int missing[2];
  drive_element_name(kind, ijk[0], ijk[1], ijk[2], element, sizeof element);
  switch (check_drive(kind, ijk[0], ijk[1], ijk[2], missing)) {
    case drive_without_line:
      return bad_file("駆動する %s のリンク %d-%d がこの機構にありません（区間(4)～(9)のどれにもありません）．",
                      element, missing[0], missing[1]);
    case drive_of_fixed:
      return bad_file("駆動する %s は位置固定の関節から決まり，動きません．", element);
    case drive_of_given:
      return bad_file("駆動する %s はデータファイルで不変と定められています．", element);
    case drive_usable:
      break;
  }
  return 1;
}

int read_drive() {
  mechanism &m = mech;
  begin_section("(10)");
  char word[16];
  if (!scan_items(1, "%15s%*[^ \t\r\n\v\f]", word)) return 0;
  const int kind = static_cast<unsigned char>(word[0]);
  if (kind == 'A') {
    int ijk[3];
    double a;
    long raw[3];
    if (!scan_items(4, "%ld,%ld,%ld,%lf", &raw[0], &raw[1], &raw[2], &a) || !to_joints(3, raw, ijk)) return 0;
    if (!check_joints(3, ijk) || !check_angle(a) || !check_drivable(kind, ijk)) return 0;
    m.rs = kind;
    m.id = ijk[0], m.jd = ijk[1], m.kd = ijk[2];
    m.th[m.id][m.jd][m.kd] = m.th_saved[m.id][m.jd][m.kd] = a * deg_to_rad;
    m.tt0 = m.th[m.id][m.jd][m.kd];
    m.th[m.kd][m.jd][m.id] = m.th_saved[m.kd][m.jd][m.id] = -m.th[m.id][m.jd][m.kd];
    mark_driven(&m.th_known[m.id][m.jd][m.kd], &m.th_known[m.kd][m.jd][m.id],
                &m.th_known_saved[m.id][m.jd][m.kd], &m.th_known_saved[m.kd][m.jd][m.id]);
    con_printf("\n\n(10) 設定回転駆動 rs=%c th[%d][%d][%d]=%6.2f(deg)\n", m.rs, m.id, m.jd,
               m.kd, a);
  } else if (kind == 'B' || kind == 'L') {
    int ij[2];
    double v;
    long raw[2];
    if (!scan_items(3, "%ld,%ld,%lf", &raw[0], &raw[1], &v) || !to_joints(2, raw, ij)) return 0;
    if (!check_joints(2, ij) || !check_number(v, kind == 'B' ? max_angle_value : max_length_value))
      return 0;
    const int ijk[3] = {ij[0], ij[1], 0};
    if (!check_drivable(kind, ijk)) return 0;
    m.rs = kind;
    m.id = ij[0], m.jd = ij[1];  // kd keeps its earlier value
    const int i = m.id, j = m.jd;
    if (kind == 'B') {
      m.ath[i][j] = m.ath_saved[i][j] = v * deg_to_rad;
      m.tt0 = m.ath[i][j];
      m.ath[j][i] = m.ath_saved[j][i] = m.ath[i][j] - pi;  // not wrapped
      mark_driven(&m.ath_known[i][j], &m.ath_known[j][i], &m.ath_known_saved[i][j],
                  &m.ath_known_saved[j][i]);
      con_printf("\n\n(10) 設定絶対回転駆動 rs=%c ath[%d][%d]=%6.2f(deg)\n", m.rs, i, j, v);
    } else {
      m.l[i][j] = m.l[j][i] = m.l_saved[i][j] = m.l_saved[j][i] = v;
      m.tt0 = v;
      mark_driven(&m.l_known[i][j], &m.l_known[j][i], &m.l_known_saved[i][j],
                  &m.l_known_saved[j][i]);
      con_printf("\n\n(10) 直動駆動 rs=%c l[%d][%d]=%6.2f\n", m.rs, i, j, v);
    }
  } else {
    // Not a drive kind: nothing more is read; the mechanism is shown but
    // cannot move.
    m.rs = kind;
  }
  close_data_file();
  return 1;
}

// Editing dialogs of the loaded mechanism: its invariant link lengths and
// relative angles, and its driven element.
//
// Every answer is one line.  A line that does not parse in the question's
// format, holds more than the format, names a joint outside 1..n or the same
// joint twice, or carries a non-finite number or one beyond the limits of a
// data file (max_length_value, max_angle_value) is refused with a message and
// the question is asked again; nothing is written before an answer passes.
#include "app/dialogs.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/motion.h"
#include "model/console.h"
#include "model/mechanism_model.h"

// --- one answer line: joints and a number ---

constexpr int answer_size = 512;  // bytes of one answer line

enum answer_result { answer_refused, answer_end, answer_item };

// What the number of an answer must be.
enum value_rule {
  angle_value,      // degrees, within max_angle_value
  length_value,     // world units, within max_length_value
  positive_length,  // world units, above 0 and within max_length_value
};

enum int_parse { int_missing, int_too_large, int_read };

// Reads a decimal integer at *text (blanks before it skipped) into *value
// and moves *text past it.  A number beyond the range of int is
// int_too_large, never cut to its low bits.
static int_parse parse_int(const char **text, int *value) {
  char *end;
  errno = 0;
  const long v = strtol(*text, &end, 10);
  if (end == *text) return int_missing;
  *text = end;
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return int_too_large;
  *value = static_cast<int>(v);
  return int_read;
}

// Reads one line of `count` joint numbers (2 or 3) and a number, separated
// by commas, into joints[] and *value.  answer_end only when end_allowed and
// the line is the end mark: a first number 0.  answer_refused after a message.
static answer_result read_answer(int count, const char *form, int end_allowed, value_rule rule,
                                 int joints[3], double *value) {
  char line[answer_size];
  con_read_line(line, answer_size);
  int first = -1;
  const char *rest = line;
  if (end_allowed && parse_int(&rest, &first) == int_read && first == 0 && text_is_blank(rest))
    return answer_end;
  // Blanks may follow a comma, not precede it; the line ends after the number.
  int got = 0;
  rest = line;
  int_parse parsed = int_read;
  while (got < count && (parsed = parse_int(&rest, &joints[got])) == int_read && *rest == ',') {
    rest++;
    got++;
  }
  if (parsed == int_too_large) {
    con_printf("\n整数が大きすぎます（絶対値 %d まで）．入力し直して下さい．", INT_MAX);
    return answer_refused;
  }
  if (got == count) {
    char *end;
    *value = strtod(rest, &end);
    if (end != rest) {
      got++;
      rest = end;
    }
  }
  if (got != count + 1 || !text_is_blank(rest)) {
    con_printf("\n読み取れません．%s の形で，コンマで区切って入力して下さい．%s", form,
               end_allowed ? "（データ終わりは 0）" : "");
    return answer_refused;
  }
  if (end_allowed && joints[0] == 0) return answer_end;
  for (int a = 0; a < count; a++) {
    if (!joint_in_range(joints[a])) {
      con_printf("\n関節番号 %d は範囲 1～%d の外です．入力し直して下さい．", joints[a], mech.n);
      return answer_refused;
    }
    for (int b = 0; b < a; b++) {
      if (joints[a] == joints[b]) {
        con_printf("\n同じ関節番号 %d が重なっています．別々の関節を入力して下さい．", joints[a]);
        return answer_refused;
      }
    }
  }
  if (!std::isfinite(*value)) {
    con_printf("\n数値が有限ではありません．入力し直して下さい．");
    return answer_refused;
  }
  const double limit = rule == angle_value ? max_angle_value : max_length_value;
  if (std::fabs(*value) > limit) {
    con_printf("\n数値 %g が大きすぎます（絶対値 %g まで）．入力し直して下さい．", *value, limit);
    return answer_refused;
  }
  if (rule == positive_length && !(*value > 0.0)) {
    con_printf("\nリンクの長さ %g が正ではありません．入力し直して下さい．", *value);
    return answer_refused;
  }
  return answer_item;
}

// --- link parameters ---

void clear_derived() {
  mechanism &m = mech;
  const int n = m.n;
  for (int i = 1; i <= n; i++)
    if (m.J_known[i] != 'Y') m.J_known[i] = 'N';
  for (int i = 1; i <= n; i++) {
    for (int j = 1; j <= n; j++) {
      if (m.ath_known[i][j] != 'Y') m.ath_known[j][i] = m.ath_known[i][j] = 'N';
      if (m.l_known[i][j] != 'Y') m.l_known[j][i] = m.l_known[i][j] = 'N';
    }
  }
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++)
        if (m.th_known[i][j][k] != 'Y') m.th_known[k][j][i] = m.th_known[i][j][k] = 'N';
}

int edit_parameters() {
  mechanism &m = mech;
  con_printf("\n構造は変更できません");
  con_printf("\n始めの設定項目以外は変更できません");
  con_printf("\n項目毎に変更が終わったら０を入力して下さい");
  con_printf("\n原点 (X0,Y0)=(%7.4f,%7.4f)", motion.view_x, motion.view_y);
  con_printf("\n長さ単位 1unit=1pixel");
  con_printf("\n変更全て終えてから機構の描画をします");

  int lengths = 0;
  for (;;) {
    con_printf("\n\n(8)-%d リンク(ij)の長さ変更 J[i]-J[j]の i,j,l(pixel)", lengths + 1);
    con_printf("\n 変更のやり直しができます");
    con_printf("\n データ終わり:0  i,j,l=");
    int ij[3];
    double len;
    const answer_result r = read_answer(2, "i,j,l", 1, positive_length, ij, &len);
    if (r == answer_end) break;
    if (r == answer_refused) continue;
    lengths++;
    const int i = ij[0], j = ij[1];
    m.l[j][i] = m.l[i][j] = len;
    con_printf("llength[%d][%d]=%6.2f\n", i, j, m.l[i][j]);
  }

  int angles = 0;
  for (;;) {
    con_printf("\n\n(9)-%d ２リンク間の相対角度(スライダから出るリンクの不変角度)の変更", angles + 1);
    con_printf("\n 変更のやり直しができます");
    con_printf("\n データ終わり:0    i,j,k,th(deg)=");
    int ijk[3];
    double deg;
    const answer_result r = read_answer(3, "i,j,k,th", 1, angle_value, ijk, &deg);
    if (r == answer_end) break;
    if (r == answer_refused) continue;
    angles++;
    const int i = ijk[0], j = ijk[1], k = ijk[2];
    m.th[i][j][k] = deg * deg_to_rad;
    m.th[k][j][i] = -m.th[i][j][k];
    con_printf("\nth[%d][%d][%d]=%c=%6.2f", i, j, k, m.th_known[i][j][k],
               m.th[i][j][k] * rad_to_deg);
  }

  if (lengths + angles == 0) {
    restore_model();
    return 0;
  }
  return 1;
}

// Puts back every fact that the snapshot holds with this letter.
static void restore_facts_marked(int letter) {
  mechanism &m = mech;
  const int n = m.n;
  const char flag = static_cast<char>(letter);
  for (int i = 1; i <= n; i++) {
    if (m.J_known_saved[i] != letter) continue;
    m.J_known[i] = flag;
    m.J[i] = m.J_saved[i];
  }
  for (int i = 1; i <= n; i++) {
    for (int j = 1; j <= n; j++) {
      if (m.l_known_saved[i][j] == letter) {
        m.l_known[j][i] = m.l_known[i][j] = flag;
        m.l[j][i] = m.l[i][j] = m.l_saved[i][j];
      }
      if (m.ath_known_saved[i][j] == letter) {
        m.ath_known[j][i] = m.ath_known[i][j] = flag;
        m.ath[i][j] = m.ath_saved[i][j];
        m.ath[j][i] = m.ath_saved[j][i];
      }
    }
  }
  for (int i = 1; i <= n; i++) {
    for (int j = 1; j <= n; j++) {
      for (int k = 1; k <= n; k++) {
        if (m.th_known_saved[i][j][k] != letter) continue;
        m.th_known[k][j][i] = m.th_known[i][j][k] = flag;
        m.th[i][j][k] = m.th_saved[i][j][k];
        m.th[k][j][i] = m.th_saved[k][j][i];
      }
    }
  }
}

void restore_model() {
  // The tables are independent of each other, so every 'Y' fact first and
  // then every 'W' fact is the same as a 'Y' and a 'W' pass per table.
  restore_facts_marked('Y');
  restore_facts_marked('W');
}

// --- drive ---

// The two entries of a drive element, each order of the pair or triple.
struct drive_element {
  char *flag[2];
  double *value[2];
};

// The element driven by kind rs on joints i, j (and k for 'A').  0 when rs
// is no drive kind or a joint lies outside 1..n.
static int find_drive_element(int rs, int i, int j, int k, drive_element *e) {
  mechanism &m = mech;
  if (!joint_in_range(i) || !joint_in_range(j)) return 0;
  switch (rs) {
    case 'A':
      if (!joint_in_range(k)) return 0;
      *e = drive_element{{&m.th_known[i][j][k], &m.th_known[k][j][i]},
                         {&m.th[i][j][k], &m.th[k][j][i]}};
      return 1;
    case 'B':
      *e = drive_element{{&m.ath_known[i][j], &m.ath_known[j][i]}, {&m.ath[i][j], &m.ath[j][i]}};
      return 1;
    case 'L':
      *e = drive_element{{&m.l_known[i][j], &m.l_known[j][i]}, {&m.l[i][j], &m.l[j][i]}};
      return 1;
    default:
      return 0;
  }
}

// Sets both flags of the drive element to letter (nothing for no drive kind).
static void mark_drive_element(int rs, int i, int j, int k, char letter) {
  drive_element e;
  if (!find_drive_element(rs, i, j, k, &e)) return;
  *e.flag[0] = *e.flag[1] = letter;
}

void mark_drive(char letter) {
  const mechanism &m = mech;
  mark_drive_element(m.rs, m.id, m.jd, m.kd, letter);
}

// An element that a drive attempt marked 'Z', with what its entries held
// before, so that the mark can be taken back.
struct drive_attempt {
  int rs, i, j, k;
  char flag_before[2];
  double value_before[2];
};

static drive_attempt remember_element(int rs, int i, int j, int k) {
  drive_attempt a = {rs, i, j, k, {'N', 'N'}, {0.0, 0.0}};
  drive_element e;
  if (!find_drive_element(rs, i, j, k, &e)) return a;
  for (int s = 0; s < 2; s++) {
    a.flag_before[s] = *e.flag[s];
    a.value_before[s] = *e.value[s];
  }
  return a;
}

// Puts back the entries of an attempt's element while it still carries the
// attempt's 'Z' (a later clearing of the flags has the last word).
static void take_back(const drive_attempt &a) {
  drive_element e;
  if (!find_drive_element(a.rs, a.i, a.j, a.k, &e)) return;
  if (*e.flag[0] != 'Z' || *e.flag[1] != 'Z') return;
  for (int s = 0; s < 2; s++) {
    *e.flag[s] = a.flag_before[s];
    *e.value[s] = a.value_before[s];
  }
}

static int same_drive(int rs_a, int i_a, int j_a, int k_a, int rs_b, int i_b, int j_b, int k_b) {
  return rs_a == rs_b && i_a == i_b && j_a == j_b && (rs_a != 'A' || k_a == k_b);
}

// The drive last confirmed by edit_drive.  When the plan for it fails and the
// user comes back to the drive dialog, it is no longer the drive: its mark
// goes before the saved drive or a new one takes its place.
static drive_attempt confirmed_drive;
static int confirmed_drive_pending = 0;

static void take_back_confirmed_drive() {
  const mechanism &m = mech;
  const drive_attempt &c = confirmed_drive;
  if (confirmed_drive_pending && same_drive(m.rs, m.id, m.jd, m.kd, c.rs, c.i, c.j, c.k) &&
      !same_drive(m.rs, m.id, m.jd, m.kd, m.rs_saved, m.id_saved, m.jd_saved, m.kd_saved))
    take_back(c);
  confirmed_drive_pending = 0;
}

void clear_planned() {
  mechanism &m = mech;
  const int n = m.n;
  for (int i = 1; i <= n; i++)
    if (m.J_known[i] == 'X') m.J_known[i] = 'N';
  for (int i = 1; i <= n; i++) {
    for (int j = 1; j <= n; j++) {
      if (m.ath_known[i][j] == 'X') m.ath_known[j][i] = m.ath_known[i][j] = 'N';
      if (m.l_known[i][j] == 'X') m.l_known[j][i] = m.l_known[i][j] = 'N';
      for (int k = 1; k <= n; k++)
        if (m.th_known[i][j][k] == 'X') m.th_known[k][j][i] = m.th_known[i][j][k] = 'N';
    }
  }
}

// The first key of the drive dialog: '0', 'A', 'B' or 'L'; any other key
// asks again.
static int read_drive_kind() {
  for (;;) {
    const int key = con_read_key();
    if (key == '0' || key == 'A' || key == 'B' || key == 'L') return key;
    con_printf("\n A, B, L（大文字）または 0 を入力して下さい．");
    con_printf("\n     相対回転 or 絶対角回転 or 直動？  変更しない？ Input A or B or L or 0 ");
  }
}

// 1 when the element is a line or an angle of the mechanism that can move;
// 0 after saying why not.  An element the data file gives may become the
// drive: the link of a given length turns into an actuator.
static int drivable(int kind, const int ijk[3]) {
  char element[48];
  int missing[2];
  drive_element_name(kind, ijk[0], ijk[1], ijk[2], element, sizeof element);
  switch (check_drive(kind, ijk[0], ijk[1], ijk[2], missing)) {
    case drive_without_line:
      con_printf("\n駆動する %s のリンク %d-%d がこの機構にありません．入力し直して下さい．", element,
                 missing[0], missing[1]);
      return 0;
    case drive_of_fixed:
      con_printf("\n駆動する %s は位置固定の関節から決まり，動きません．入力し直して下さい．",
                 element);
      return 0;
    case drive_of_given:
    case drive_usable:
      break;
  }
  return 1;
}

// Joints and initial value of a new drive of this kind, asked until valid.
static void read_drive_element(int kind, int ijk[3], double *value) {
  for (;;) {
    answer_result r;
    if (kind == 'A') {
      con_printf("\nどの角度 i,j,k,angle0(初期角deg) 設定 ");
      r = read_answer(3, "i,j,k,angle0", 0, angle_value, ijk, value);
    } else if (kind == 'B') {
      con_printf("\nどの角度 i,j,angle0(初期角deg) 設定 ");
      r = read_answer(2, "i,j,angle0", 0, angle_value, ijk, value);
    } else {
      con_printf("\nどの長さ i,j,length0(初期変位) 設定 ");
      r = read_answer(2, "i,j,length0", 0, length_value, ijk, value);
    }
    if (r == answer_item && drivable(kind, ijk)) return;
  }
}

// The saved drive in force again, its element unmarked.
static void reinstate_saved_drive() {
  mechanism &m = mech;
  m.rs = m.rs_saved;
  m.id = m.id_saved;
  m.jd = m.jd_saved;
  m.kd = m.kd_saved;
  m.tt0 = m.tt0_saved;
  mark_drive('N');
}

// Makes the element of kind on ijk the drive with initial value v (degrees
// for 'A' and 'B', world units for 'L').
static void apply_drive(int kind, const int ijk[3], double v) {
  mechanism &m = mech;
  const int i = ijk[0], j = ijk[1];
  if (kind == 'A') {
    const int k = ijk[2];
    m.th[i][j][k] = v * deg_to_rad;
    m.tt0 = m.th[i][j][k];
    m.th[k][j][i] = -m.th[i][j][k];
    m.kd = k;
  } else if (kind == 'B') {
    m.ath[i][j] = v * deg_to_rad;
    m.tt0 = m.ath[i][j];
    m.ath[j][i] = pi + m.ath[i][j];  // not wrapped
  } else {
    m.l[j][i] = m.l[i][j] = v;
    m.tt0 = v;
  }
  m.rs = kind;
  m.id = i;
  m.jd = j;
  mark_drive('Z');
}

int edit_drive() {
  mechanism &m = mech;
  take_back_confirmed_drive();
  for (;;) {
    con_printf("\n     変更のやり直しができます");
    con_printf("\n     相対回転 or 絶対角回転 or 直動？  変更しない？ Input A or B or L or 0 ");
    const int kind = read_drive_kind();
    if (kind == '0') {
      con_printf("\n駆動関節変更しない 旧駆動関節種別=%c 番号idjdkd=%d%d%d 初期値 tt0=%5.2f",
                 m.rs_saved, m.id_saved, m.jd_saved, m.kd_saved, m.tt0_saved);
      restore_drive();
      return 0;
    }
    int ijk[3] = {0, 0, 0};
    double v;
    read_drive_element(kind, ijk, &v);
    reinstate_saved_drive();
    const drive_attempt attempt = remember_element(kind, ijk[0], ijk[1], kind == 'A' ? ijk[2] : 0);
    apply_drive(kind, ijk, v);
    if (m.rs == 'A')
      con_printf("\n変更後の駆動種別=%c,  関節番号=[%d%d%d]", m.rs, m.id, m.jd, m.kd);
    else
      con_printf("\n変更後の駆動種別=%c,  関節番号=[%d%d]", m.rs, m.id, m.jd);
    con_printf("\n(10,11) 駆動関節変更ＯＫ: 1   やり直し : 0  ");
    if (con_read_key() == '1') {
      confirmed_drive = attempt;
      confirmed_drive_pending = 1;
      return 1;
    }
    // A rejected attempt leaves its element as it found it, so that no
    // undriven quantity stays marked as known.
    take_back(attempt);
  }
}

void restore_drive() {
  mechanism &m = mech;
  take_back_confirmed_drive();
  m.rs = m.rs_saved;
  if (m.rs == 'A' || m.rs == 'B' || m.rs == 'L') {
    m.id = m.id_saved;
    m.jd = m.jd_saved;
    if (m.rs == 'A') m.kd = m.kd_saved;
    mark_drive('Z');
  }
  m.tt0 = m.tt0_saved;
}

// Mechanism tables: clearing before a load, the snapshot of given and
// derived facts, and the angle reduction every part shares.
#include "model/mechanism_model.h"

#include <cmath>
#include <cstdio>

mechanism mech;

void init_model() {
  mechanism &m = mech;
  m.load_serial++;
  for (int s = 0; s < junjo_slots; s++) {
    m.choice_offered[s] = 0;
    for (int f = 0; f < junjo_fields; f++) m.junjo[s][f] = 0;
  }
  for (int i = 0; i < joint_slots; i++) {
    m.J_known[i] = 'N';
    m.J[i] = point{0.0, 0.0};
    m.J_saved[i] = point{0.0, 0.0};
    m.J_known_saved[i] = 'N';
    m.sliders[i].i = 0;
    m.sliders[i].j = 0;
    for (int j = 0; j < joint_slots; j++) {
      m.link_exists[i][j] = 'N';
      m.ath_known[i][j] = 'N';
      m.l_known[i][j] = 'N';
      m.ath[i][j] = 0.0;
      m.l[i][j] = 0.0;
      m.ath_known_saved[i][j] = 'N';
      m.l_known_saved[i][j] = 'N';
      m.ath_saved[i][j] = 0.0;
      m.l_saved[i][j] = 0.0;
      for (int k = 0; k < joint_slots; k++) {
        m.th_known[i][j][k] = 'N';
        m.th[i][j][k] = 0.0;
        m.th_known_saved[i][j][k] = 'N';
        m.th_saved[i][j][k] = 0.0;
      }
    }
  }
}

// One letter at a time, so that the saved flags keep 'Y' and 'W' apart.
static void save_facts_marked(char letter) {
  mechanism &m = mech;
  const int n = m.n;
  for (int i = 1; i <= n; i++) {
    if (m.J_known[i] != letter) continue;
    m.J_known_saved[i] = letter;
    m.J_saved[i] = m.J[i];
  }
  for (int i = 1; i <= n; i++) {
    for (int j = i + 1; j <= n; j++) {
      if (m.l_known[i][j] != letter) continue;
      m.l_known_saved[i][j] = m.l_known_saved[j][i] = letter;
      m.l_saved[j][i] = m.l[i][j];
      m.l_saved[i][j] = m.l_saved[j][i];
    }
  }
  for (int i = 1; i <= n; i++) {
    for (int j = i + 1; j <= n; j++) {
      if (m.ath_known[i][j] != letter) continue;
      m.ath_known_saved[i][j] = m.ath_known_saved[j][i] = letter;
      m.ath_saved[i][j] = m.ath[i][j];
      m.ath_saved[j][i] = m.ath[j][i];
    }
  }
  for (int a = 1; a <= n; a++) {
    for (int c = a + 1; c <= n; c++) {
      for (int b = 1; b <= n; b++) {
        if (m.th_known[a][b][c] != letter) continue;
        m.th_known_saved[a][b][c] = m.th_known_saved[c][b][a] = letter;
        m.th_saved[a][b][c] = m.th[a][b][c];
        m.th_saved[c][b][a] = m.th[c][b][a];
      }
    }
  }
}

void save_model() {
  // The tables are independent of each other, so all 'Y' facts first and
  // then all 'W' facts give the same snapshot as a 'Y' and a 'W' pass per table.
  save_facts_marked('Y');
  save_facts_marked('W');
}

void save_drive() {
  mechanism &m = mech;
  m.rs_saved = m.rs;
  m.id_saved = m.id;
  m.jd_saved = m.jd;
  m.kd_saved = m.kd;
  m.tt0_saved = m.tt0;
}

// Above this size (radians) whole turns are taken off with fmod first, so
// that a huge angle costs no more than a few subtractions.
static const double wrap_fast_limit = 64.0 * pi;

double wrap_angle(double x) {
  const double two_pi = 2.0 * pi;
  if (!std::isfinite(x)) return x;  // nothing to reduce; callers test finiteness
  if (std::fabs(x) > wrap_fast_limit) x = std::fmod(x, two_pi);
  for (;;) {
    if (x > pi) x -= two_pi;
    if (x < -pi) x += two_pi;
    if (std::fabs(x) < two_pi) return x;
  }
}

int joint_in_range(int j) { return j >= 1 && j <= mech.n; }

int has_line(int i, int j) {
  const mechanism &m = mech;
  if (!joint_in_range(i) || !joint_in_range(j) || i == j) return 0;
  if (m.link_exists[i][j] == 'Y') return 1;
  // Joints the file fixes belong to the frame, one body: the line between
  // two of them is there without a link of its own.
  if (m.J_known_saved[i] == 'Y' && m.J_known_saved[j] == 'Y') return 1;
  // A given angle (a, b, c) joins a-b and b-c rigidly, so a, b and c are one
  // body and a-c is a line of it too (along a straight bar when the angle
  // is 0).  The reader stores the angle in both orders: i-j is such a line
  // when some (i, j, k), (j, i, k) or (i, k, j) is given.  A slider's six
  // angles make each pair of its three joints one.
  for (int k = 1; k <= m.n; k++)
    if (m.th_known_saved[i][j][k] == 'Y' || m.th_known_saved[j][i][k] == 'Y' ||
        m.th_known_saved[i][k][j] == 'Y')
      return 1;
  return 0;
}

// missing gets the side i-j when it is no line, else j-k.
static drive_fault line_fault(int i, int j, int k, int sides, int missing[2]) {
  int a = i, b = j;
  if (has_line(i, j)) {
    if (sides < 2 || has_line(j, k)) return drive_usable;
    a = j, b = k;
  }
  if (missing) missing[0] = a, missing[1] = b;
  return drive_without_line;
}

drive_fault check_drive(int rs, int i, int j, int k, int missing[2]) {
  const mechanism &m = mech;
  char flag;
  switch (rs) {
    case 'A':
      if (line_fault(i, j, k, 2, missing) != drive_usable) return drive_without_line;
      flag = m.th_known[i][j][k];
      break;
    case 'B':
      if (line_fault(i, j, k, 1, missing) != drive_usable) return drive_without_line;
      flag = m.ath_known[i][j];
      break;
    case 'L':
      flag = m.l_known[i][j];
      break;
    default:
      return drive_usable;
  }
  if (flag == 'W') return drive_of_fixed;
  if (flag == 'Y') return drive_of_given;
  return drive_usable;
}

void drive_element_name(int rs, int i, int j, int k, char *out, int size) {
  if (rs == 'A')
    snprintf(out, static_cast<size_t>(size), "th[%d][%d][%d]", i, j, k);
  else
    snprintf(out, static_cast<size_t>(size), "%s[%d][%d]", rs == 'B' ? "ath" : "l", i, j);
}

int slider_triple(int a, int b, int c) {
  const mechanism &m = mech;
  for (int s = 1; s <= m.slider_count && s < joint_slots; s++) {
    const slider_entry &e = m.sliders[s];
    const int found = (e.i == a || e.j == a || e.k == a) + (e.i == b || e.j == b || e.k == b) +
                      (e.i == c || e.j == c || e.k == c);
    if (found == 3) return 1;
  }
  return 0;
}

// Mechanism tables: clearing before a load, the snapshot of given and
// derived facts, and the angle reduction every part shares.
#include "model/mechanism_model.h"

#include <cmath>

mechanism mech;

void init_model() {
  mechanism &m = mech;
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

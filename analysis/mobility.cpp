// Mobility of the loaded mechanism: the Gruebler-Kutzbach count of the
// file's facts, and at a posture the rank of their Jacobian.
#include <cmath>

#include "analysis/quality_report.h"

// One row per fact, and the drive: the reader takes at most 19 entries a
// section, so lengths, directions, angles and sliders give at most 76.
constexpr int max_rows = 96;
constexpr int max_columns = 2 * max_joints;  // x, y of every moving joint

struct jacobian {
  int rows, columns;
  int column_of[joint_slots];  // first column of joint i, -1 for a fixed joint
  double a[max_rows][max_columns];
};
static jacobian jac;

static int is_fixed(int i) { return mech.J_known_saved[i] == 'Y'; }

// A new zero row; nullptr when the table is full.
static double *new_row() {
  if (jac.rows >= max_rows) return nullptr;
  double *row = jac.a[jac.rows++];
  for (int c = 0; c < max_columns; c++) row[c] = 0.0;
  return row;
}

// Adds (gx, gy) to the columns of joint i (nothing for a fixed joint).
static void add_gradient(double *row, int i, double gx, double gy) {
  const int c = jac.column_of[i];
  if (c < 0) return;
  row[c] += gx;
  row[c + 1] += gy;
}

static point at(int i) { return mech.J[i]; }

// |Pj - Pi| = l:  d/dPj = u, d/dPi = -u, u the unit vector i -> j.
static void length_row(int i, int j) {
  double *row = new_row();
  const double dx = at(j).x - at(i).x, dy = at(j).y - at(i).y, d = std::hypot(dx, dy);
  if (!row || !(d > 0)) return;  // coinciding joints: a zero row, dependent
  add_gradient(row, j, dx / d, dy / d);
  add_gradient(row, i, -dx / d, -dy / d);
}

// direction of Pj - Pi = phi:  d/dPj = n / d, d/dPi = -n / d, n the unit
// normal (-uy, ux).
static void direction_row(int i, int j) {
  double *row = new_row();
  const double dx = at(j).x - at(i).x, dy = at(j).y - at(i).y, d2 = dx * dx + dy * dy;
  if (!row || !(d2 > 0)) return;
  add_gradient(row, j, -dy / d2, dx / d2);
  add_gradient(row, i, dy / d2, -dx / d2);
}

// dir(Pk - Pj) - dir(Pj - Pi) = th:  with n1 = perp(v1) / |v1|^2 of
// v1 = Pj - Pi and n2 of v2 = Pk - Pj, d/dPk = n2, d/dPj = -n2 - n1,
// d/dPi = n1.
static void angle_row(int i, int j, int k) {
  double *row = new_row();
  const double ax = at(j).x - at(i).x, ay = at(j).y - at(i).y, a2 = ax * ax + ay * ay;
  const double bx = at(k).x - at(j).x, by = at(k).y - at(j).y, b2 = bx * bx + by * by;
  if (!row || !(a2 > 0) || !(b2 > 0)) return;
  add_gradient(row, k, -by / b2, bx / b2);
  add_gradient(row, j, by / b2 + ay / a2, -bx / b2 - ax / a2);
  add_gradient(row, i, -ay / a2, ax / a2);
}

// Slider i on the line j-k:  c = (g x w) / |g| = 0 with g = Pk - Pj,
// w = Pi - Pj; d/dPi = perp(g) / |g|, d/dPk = (wy, -wx) / |g|,
// d/dPj = -(d/dPi + d/dPk).  (The derivative of 1 / |g| drops out at c = 0.)
static void slider_row(int i, int j, int k) {
  double *row = new_row();
  const double gx = at(k).x - at(j).x, gy = at(k).y - at(j).y, g = std::hypot(gx, gy);
  const double wx = at(i).x - at(j).x, wy = at(i).y - at(j).y;
  if (!row || !(g > 0)) return;
  add_gradient(row, i, -gy / g, gx / g);
  add_gradient(row, k, wy / g, -wx / g);
  add_gradient(row, j, (gy - wy) / g, (wx - gx) / g);
}

// The rank of jac.a[0..rows-1] by Gram-Schmidt on the rows scaled to unit
// length, each orthogonalised twice against the rows kept before it.
static int rank_of_rows() {
  static double basis[max_rows][max_columns];
  int kept = 0;
  for (int r = 0; r < jac.rows; r++) {
    double v[max_columns];
    double norm = 0;
    for (int c = 0; c < jac.columns; c++) norm += jac.a[r][c] * jac.a[r][c];
    norm = std::sqrt(norm);
    if (!(norm > 0)) continue;
    for (int c = 0; c < jac.columns; c++) v[c] = jac.a[r][c] / norm;
    for (int pass = 0; pass < 2; pass++)
      for (int b = 0; b < kept; b++) {
        double dot = 0;
        for (int c = 0; c < jac.columns; c++) dot += v[c] * basis[b][c];
        for (int c = 0; c < jac.columns; c++) v[c] -= dot * basis[b][c];
      }
    double rest = 0;
    for (int c = 0; c < jac.columns; c++) rest += v[c] * v[c];
    rest = std::sqrt(rest);
    if (rest <= rank_tolerance || kept >= max_rows) continue;
    for (int c = 0; c < jac.columns; c++) basis[kept][c] = v[c] / rest;
    kept++;
  }
  return kept;
}

// The facts of the saved tables, counted, and as rows when posture is set.
static void count_facts(int posture, mobility_figure *m) {
  const mechanism &me = mech;
  const int n = me.n >= 1 && me.n <= max_joints ? me.n : 0;
  for (int i = 1; i <= n; i++)
    for (int j = i + 1; j <= n; j++) {
      if (me.l_known_saved[i][j] == 'Y') {
        m->lengths++;
        if (posture) length_row(i, j);
      }
      if (me.ath_known_saved[i][j] == 'Y') {
        m->directions++;
        if (posture) direction_row(i, j);
      }
    }
  for (int a = 1; a <= n; a++)
    for (int b = 1; b <= n; b++)
      for (int c = a + 1; c <= n; c++) {
        if (b == a || b == c || me.th_known_saved[a][b][c] != 'Y' || slider_triple(a, b, c)) continue;
        m->angles++;
        if (posture) angle_row(a, b, c);
      }
  for (int s = 1; s <= me.slider_count && s < joint_slots; s++) {
    const slider_entry &e = me.sliders[s];
    if (e.i < 1 || e.i > n || e.j < 1 || e.j > n || e.k < 1 || e.k > n) continue;
    m->sliders++;
    if (posture) slider_row(e.i, e.j, e.k);
  }
}

// The drive as one more row.
static void drive_row() {
  const mechanism &me = mech;
  switch (me.rs) {
    case 'A': angle_row(me.id, me.jd, me.kd); break;
    case 'B': direction_row(me.id, me.jd); break;
    case 'L': length_row(me.id, me.jd); break;
    default: break;
  }
}

void compute_mobility(int posture, mobility_figure *out) {
  mobility_figure &m = *out;
  m = mobility_figure{};
  const int n = mech.n >= 1 && mech.n <= max_joints ? mech.n : 0;
  m.joints = n;
  jac.rows = 0;
  jac.columns = 0;
  for (int i = 0; i < joint_slots; i++) jac.column_of[i] = -1;
  for (int i = 1; i <= n; i++) {
    if (is_fixed(i)) {
      m.fixed++;
      continue;
    }
    jac.column_of[i] = jac.columns;
    jac.columns += 2;
  }
  count_facts(posture, &m);
  const int moving = 2 * (m.joints - m.fixed);
  const int facts = m.lengths + m.directions + m.angles + m.sliders;
  // M = 2 (joints - fixed) - lengths - directions - angles - sliders
  m.count = moving - facts;
  if (!posture) return;
  m.has_posture = 1;
  m.independent = rank_of_rows();
  m.mobility = moving - m.independent;
  m.redundant = facts - m.independent;
  drive_row();
  const int with_drive = rank_of_rows();
  m.drive_determines = with_drive == moving && with_drive == m.independent + 1;
}

mobility_state mobility_state_of(const mobility_figure *m) {
  if (m->count < 1) return over_constrained;
  if (m->count > 1) return under_constrained;
  return determinate;
}

const char *mobility_state_name(mobility_state s) {
  switch (s) {
    case determinate: return "determinate";
    case over_constrained: return "over-constrained";
    default: return "under-constrained";
  }
}

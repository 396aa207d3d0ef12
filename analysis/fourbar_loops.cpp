// Four-bar loops of the loaded mechanism and their Grashof class: the rigid
// bodies the file makes of its joints, and every loop of four revolute
// joints that runs through four distinct bodies.
#include <cmath>

#include "analysis/quality_report.h"

// A body is a set of joints (bit i: joint i).  The pieces it is made of:
// the frame, one per link of the file, one per bar bent at a rigid angle.
// At most 1 + 171 links + 19 angles; the table has room to spare.
constexpr int max_bodies = 256;
struct body_table {
  int count;
  unsigned joints[max_bodies];
  int frame;  // index of the frame, -1 when nothing is fixed
};
static body_table bodies;

static int bit_count(unsigned v) {
  int c = 0;
  for (; v; v &= v - 1) c++;
  return c;
}

static void add_body(unsigned set) {
  if (bodies.count >= max_bodies || bit_count(set) < 2) return;
  bodies.joints[bodies.count++] = set;
}

// Body b joins body a and is left empty (an empty body holds no joint and
// so matches nothing).
static void merge_into(int a, int b) {
  bodies.joints[a] |= bodies.joints[b];
  bodies.joints[b] = 0;
  if (bodies.frame == b) bodies.frame = a;
}

// One merge: two bodies with two joints in common are one; three bodies
// that meet pairwise in three distinct joints form a rigid triangle.  1 when
// something merged.
static int merge_once() {
  const int c = bodies.count;
  for (int a = 0; a < c; a++)
    for (int b = a + 1; b < c; b++) {
      const unsigned ab = bodies.joints[a] & bodies.joints[b];
      if (bit_count(ab) >= 2) {
        merge_into(a, b);
        return 1;
      }
      if (bit_count(ab) != 1) continue;
      for (int t = 0; t < c; t++) {
        if (t == a || t == b) continue;
        const unsigned at = bodies.joints[a] & bodies.joints[t] & ~ab;
        const unsigned bt = bodies.joints[b] & bodies.joints[t] & ~ab;
        if (at && bt && (at & bt) == 0) {
          merge_into(a, b);
          merge_into(a, t);
          return 1;
        }
      }
    }
  return 0;
}

static void build_bodies() {
  const mechanism &m = mech;
  const int n = m.n;
  bodies.count = 0;
  bodies.frame = -1;
  unsigned frame = 0;
  for (int i = 1; i <= n; i++)
    if (m.J_known_saved[i] == 'Y') frame |= 1u << i;
  if (frame) {
    // One fixed joint is a frame too, though a body of one joint.
    bodies.frame = 0;
    bodies.joints[0] = frame;
    bodies.count = 1;
  }
  for (int i = 1; i <= n; i++)
    for (int j = i + 1; j <= n; j++)
      if (m.link_exists[i][j] == 'Y') add_body(1u << i | 1u << j);
  // A rigid angle between two links of the file makes them one bent bar.
  for (int a = 1; a <= n; a++)
    for (int b = 1; b <= n; b++)
      for (int c = a + 1; c <= n; c++)
        if (b != a && b != c && m.th_known_saved[a][b][c] == 'Y' && !slider_triple(a, b, c) &&
            m.link_exists[b][a] == 'Y' && m.link_exists[b][c] == 'Y')
          add_body(1u << a | 1u << b | 1u << c);
  while (merge_once()) {
  }
}

// The body holding joints i and j, -1 none.
static int body_of(int i, int j) {
  const unsigned both = 1u << i | 1u << j;
  for (int b = 0; b < bodies.count; b++)
    if ((bodies.joints[b] & both) == both) return b;
  return -1;
}

// A joint of a four-bar loop: a revolute joint that slides on nothing.
static int revolute(int i) {
  if (mech.joint_kind[i] != 'R') return 0;
  for (int s = 1; s <= mech.slider_count && s < joint_slots; s++)
    if (mech.sliders[s].i == i) return 0;
  return 1;
}

const char *grashof_name(grashof_kind k) {
  switch (k) {
    case crank_rocker: return "crank-rocker";
    case double_crank: return "double-crank";
    case double_rocker: return "double-rocker";
    case change_point: return "change-point";
    case triple_rocker: return "triple-rocker";
    default: return "grashof-floating";
  }
}

// Grashof: with s the shortest side, l the longest and p, q the others,
// s + l < p + q lets the shortest turn fully against every other side;
// s + l = p + q (change point) folds flat; s + l > p + q none turns fully.
grashof_kind grashof_class(const double side[4], int ground, int *cranks, int crank[2]) {
  int s = 0, l = 0;
  for (int i = 1; i < 4; i++) {
    if (side[i] < side[s]) s = i;
    if (side[i] > side[l]) l = i;
  }
  const double perimeter = side[0] + side[1] + side[2] + side[3];
  const double excess = 2 * (side[s] + side[l]) - perimeter;  // (s + l) - (p + q)
  *cranks = 0;
  auto add_crank = [&](int c) {
    if (*cranks < 2) crank[(*cranks)++] = c;
  };
  if (std::fabs(excess) <= change_point_tol * perimeter) {
    if (ground < 0) return change_point;
    // Sides next to the frame as short as the shortest turn fully,
    // passing the flat position; with the frame shortest both do.
    const int next[2] = {(ground + 1) % 4, (ground + 3) % 4};
    for (int c : next)
      if (std::fabs(side[ground] - side[s]) <= change_point_tol * perimeter ||
          std::fabs(side[c] - side[s]) <= change_point_tol * perimeter)
        add_crank(c);
    return change_point;
  }
  if (excess > 0) return triple_rocker;
  if (ground < 0) {
    add_crank(s);  // turns fully against the other three
    return grashof_floating;
  }
  if (s == ground) {
    add_crank((ground + 1) % 4);
    add_crank((ground + 3) % 4);
    return double_crank;
  }
  if ((s + 2) % 4 == ground) return double_rocker;
  add_crank(s);
  return crank_rocker;
}

static double distance(int i, int j) { return std::hypot(mech.J[i].x - mech.J[j].x, mech.J[i].y - mech.J[j].y); }

int compute_fourbars(fourbar_figure *out, int capacity) {
  build_bodies();
  const int n = mech.n;
  int count = 0;
  // Each loop once: a its least joint, b < d its neighbours, c opposite.
  for (int a = 1; a <= n; a++)
    for (int b = a + 1; b <= n; b++)
      for (int d = b + 1; d <= n; d++)
        for (int c = a + 1; c <= n; c++) {
          if (c == b || c == d) continue;
          const int jt[4] = {a, b, c, d};
          int ok = 1, body[4];
          for (int s = 0; s < 4 && ok; s++) {
            body[s] = body_of(jt[s], jt[(s + 1) % 4]);
            ok = revolute(jt[s]) && body[s] >= 0;
          }
          // Four distinct bodies, and none across a diagonal.
          for (int s = 0; s < 4 && ok; s++)
            for (int u = s + 1; u < 4; u++) ok &= body[s] != body[u];
          ok = ok && body_of(a, c) < 0 && body_of(b, d) < 0;
          if (!ok || count >= capacity) continue;
          fourbar_figure &f = out[count++];
          f.ground = -1;
          for (int s = 0; s < 4; s++) {
            f.joint[s] = jt[s];
            f.side[s] = distance(jt[s], jt[(s + 1) % 4]);
            if (body[s] == bodies.frame) f.ground = s;
          }
          f.kind = grashof_class(f.side, f.ground, &f.cranks, f.crank);
        }
  return count;
}

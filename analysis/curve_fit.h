// Best-fitting straight line, circle and conic of a traced path, for the
// batch tool's reports and for the tests of the mechanism library.
#pragma once

#include "model/mechanism_model.h"

struct line_fit {
  point through;     // a point of the line (the centroid), world units
  double dir_x, dir_y;  // unit direction
  double max_dev;    // largest distance of a point from the line, world units
};

struct circle_fit {
  point centre;
  double radius;
  double max_dev;    // largest | |p - centre| - radius |, world units
};

enum conic_kind { conic_ellipse, conic_parabola, conic_hyperbola, conic_degenerate };

struct conic_fit {
  // A x^2 + B x y + C y^2 + D x + E y + F = 0 in world coordinates,
  // scaled so that the six coefficients have unit length.
  double A, B, C, D, E, F;
  double residual;   // largest |Q(p)| on the points centred and scaled to unit
                     // RMS radius, with unit coefficients there: 0 on an exact conic
  double max_dev;    // largest |Q(p)| / |grad Q(p)|, about the distance, world units
  conic_kind kind;
  double eccentricity;  // 0 circle, below 1 ellipse, 1 parabola, above 1 hyperbola
};

// Total least squares line of count points.  1 fitted, 0 fewer than 2
// distinct points.
int fit_line(const point *p, int count, line_fit *out);

// Least squares circle (algebraic, then refined).  1 fitted, 0 fewer than 3
// points or all on a line (a radius beyond a million times their extent).
int fit_circle(const point *p, int count, circle_fit *out);

// Least squares conic.  1 fitted, 0 fewer than 5 distinct points.  kind is
// decided with the tolerance parabola_tol on the eccentricity's distance
// from 1 (a parabola within it).
int fit_conic(const point *p, int count, double parabola_tol, conic_fit *out);

// The name of a conic kind: "ellipse", "parabola", "hyperbola", "degenerate".
const char *conic_kind_name(conic_kind kind);

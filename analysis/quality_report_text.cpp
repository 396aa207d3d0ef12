// The quality report as readable text: one block per figure, angles in
// degrees and lengths in world units with three decimals.
#include <cmath>

#include "analysis/quality_report.h"
#include "model/console.h"

// v as "%.3f" shows it without a sign on zero ("-0.000").
static double z3(double v) { return std::fabs(v) < 5e-4 ? 0.0 : v; }
// A drive value for "%.3f": over a full turn one that rounds to -180.000
// is written 180.000, the end of (-180, 180] it belongs to.
static double drive3(const quality_report *r, double t) {
  double d = z3(report_drive_value(r, t));
  if (r->range.full && (r->rs == 'A' || r->rs == 'B') && d < -179.9995) d += 360.0;
  return d;
}

static int rotary(const quality_report *r) { return r->rs == 'A' || r->rs == 'B'; }
static const char *drive_unit(const quality_report *r) { return rotary(r) ? "degrees" : "units"; }

static void write_member(FILE *out, int x, const member *m) {
  if (m->guide) fprintf(out, "the guide %d-%d", m->j, m->k);
  else fprintf(out, "link %d-%d", x, m->p);
}

static void write_failure(FILE *out, const quality_report *r, const failure_figure *f) {
  switch (f->kind) {
    case fails_unreadable: fprintf(out, "the data file cannot be read"); break;
    case fails_step:
      fprintf(out, "step %d (code %d, %s, joints", f->step, f->code, step_figure_name(f->code));
      for (int q = 0; q < 4 && f->joints[q]; q++) fprintf(out, "%s%d", q ? "-" : " ", f->joints[q]);
      fprintf(out, ") has no solution at tt0 = %.3f %s", drive3(r, r->file_tt0), drive_unit(r));
      break;
    case fails_unplanned:
      fprintf(out, "the plan leaves joints unknown:");
      for (int i = 1; i < joint_slots; i++)
        if (f->unknown[i]) fprintf(out, " %d", i);
      break;
    case fails_fact: fprintf(out, "the posture at tt0 breaks a fact of the file: %s", f->fact); break;
    default: fprintf(out, "it assembles"); break;
  }
}

static void write_mobility(FILE *out, const mobility_figure *m) {
  fprintf(out,
          "mobility: %d, %s (Gruebler-Kutzbach: 2 x (%d joints - %d fixed) - %d lengths - %d directions - %d "
          "angles - %d sliders)\n",
          m->count, mobility_state_name(mobility_state_of(m)), m->joints, m->fixed, m->lengths, m->directions,
          m->angles, m->sliders);
  if (!m->has_posture) return;
  fprintf(out, "  at tt0: %d of %d facts independent (%d redundant), the posture moves with %d degree%s of freedom; %s\n",
          m->independent, m->lengths + m->directions + m->angles + m->sliders, m->redundant, m->mobility,
          m->mobility == 1 ? "" : "s",
          m->mobility < 1          ? "the drive cannot move it"
          : m->drive_determines ? "the drive determines it"
                                : "the drive does not determine it");
}

static void write_range(FILE *out, const quality_report *r) {
  const drive_range &d = r->range;
  if (d.full) {
    fprintf(out, "drive range: full turn\n");
    return;
  }
  fprintf(out, "drive range: %.3f .. %.3f %s", drive3(r, d.lo), drive3(r, d.hi),
          drive_unit(r));
  fprintf(out, "; low end: %s", d.lo_limit ? "limit position" : d.lo_zero ? "the length 0" : "end of the scan");
  fprintf(out, "; high end: %s\n", d.hi_limit ? "limit position" : "end of the scan");
}

static void write_transmissions(FILE *out, const quality_report *r) {
  fprintf(out, "transmission angles: %d (design band %.0f..%.0f degrees)\n", r->transmission_count,
          good_band_lo_deg, good_band_hi_deg);
  for (int t = 0; t < r->transmission_count; t++) {
    const transmission_figure &f = r->transmission[t];
    fprintf(out, "  step %d (code %d) at joint %d between ", f.step, f.code, f.joint);
    write_member(out, f.joint, &f.a);
    fprintf(out, " and ");
    write_member(out, f.joint, &f.b);
    fprintf(out, ": min %.3f at drive %.3f, max %.3f at drive %.3f, worst %.3f at drive %.3f",
            z3(f.min_deg), drive3(r, f.min_drive), z3(f.max_deg),
            drive3(r, f.max_drive), z3(f.worst_deg), drive3(r, f.worst_drive));
    if (f.outside_band) fprintf(out, "; outside %.0f..%.0f", good_band_lo_deg, good_band_hi_deg);
    if (f.dead_point) fprintf(out, "; reaches %s (dead point or toggle)", f.min_deg <= dead_point_tol_deg ? "0" : "180");
    fputc('\n', out);
  }
}

static void write_outputs(FILE *out, const quality_report *r) {
  fprintf(out, "output motion:\n");
  for (int o = 0; o < r->output_count; o++) {
    const output_figure &f = r->outputs[o];
    if (f.hi - f.lo <= constant_tol) {
      if (f.slider) fprintf(out, "  slider %d on %d-%d: stays %.3f from %d", f.i, f.j, f.k, z3(f.lo), f.j);
      else fprintf(out, "  link %d-%d: keeps its direction, %.3f degrees", f.i, f.j, z3(f.lo));
    } else if (f.slider) {
      fprintf(out, "  slider %d on %d-%d: stroke %.3f, %.3f at drive %.3f .. %.3f at drive %.3f from %d", f.i, f.j,
              f.k, f.hi - f.lo, z3(f.lo), drive3(r, f.lo_drive), z3(f.hi),
              drive3(r, f.hi_drive), f.j);
    } else if (f.turns) {
      fprintf(out, "  link %d-%d: turns fully, %d turn%s per drive turn", f.i, f.j, f.turns,
              std::abs(f.turns) == 1 ? "" : "s");
    } else {
      fprintf(out, "  link %d-%d: swings %.3f degrees, %.3f at drive %.3f .. %.3f at drive %.3f", f.i, f.j,
              f.hi - f.lo, z3(f.lo), drive3(r, f.lo_drive), z3(f.hi),
              drive3(r, f.hi_drive));
    }
    if (f.has_ratio)
      fprintf(out, "; time ratio %.3f (%.3f degrees of drive from least to largest, %.3f back)", f.time_ratio,
              f.forward_span, f.return_span);
    else if (!f.turns && r->range.full && f.reversals > 2)
      fprintf(out, "; turns back %d times a turn, no single time ratio", f.reversals);
    fputc('\n', out);
  }
}

static void write_fourbars(FILE *out, const quality_report *r) {
  fprintf(out, "four-bar loops: %d\n", r->fourbar_count);
  for (int q = 0; q < r->fourbar_count; q++) {
    const fourbar_figure &f = r->fourbars[q];
    fprintf(out, "  loop %d-%d-%d-%d: sides", f.joint[0], f.joint[1], f.joint[2], f.joint[3]);
    for (int s = 0; s < 4; s++) fprintf(out, " %d-%d %.3f", f.joint[s], f.joint[(s + 1) % 4], f.side[s]);
    if (f.ground >= 0) fprintf(out, "; ground %d-%d", f.joint[f.ground], f.joint[(f.ground + 1) % 4]);
    else fprintf(out, "; floating");
    fprintf(out, "; %s", grashof_name(f.kind));
    if (f.cranks == 0) fprintf(out, ", no crank");
    for (int c = 0; c < f.cranks; c++)
      fprintf(out, "%s %d-%d", c ? " and" : (f.ground >= 0 ? ", crank" : ", turning fully against the others"),
              f.joint[f.crank[c]], f.joint[(f.crank[c] + 1) % 4]);
    fputc('\n', out);
  }
}

static void write_trace(FILE *out, const trace_figure *t) {
  fprintf(out, "traced joint %d: x %.3f .. %.3f, y %.3f .. %.3f, path length %.3f over %d points\n", t->joint,
          z3(t->min_x), z3(t->max_x), z3(t->min_y), z3(t->max_y), t->length,
          t->points);
  char line[400];
  for (int w = 0; w < fit_lines; w++) {
    format_fit_line(&t->fit, w, line, sizeof line);
    fprintf(out, "  %s", line);
  }
}

void write_report_text(FILE *out, const quality_report *r) {
  if (r->at_file_tt0.kind == fails_unreadable) {
    fprintf(out, "quality report: %s\ndoes not assemble: the data file cannot be read\n", shown(r->file));
    return;
  }
  fprintf(out, "quality report: %s (%s)\n", shown(r->title), shown(r->file));
  char element[48];
  drive_element_name(r->rs, r->id, r->jd, r->kd, element, sizeof element);
  fprintf(out, "drive: %s (%c), tt0 = %.3f %s\n", element, r->rs, drive3(r, r->tt0), drive_unit(r));
  write_mobility(out, &r->mobility);
  if (!r->assembles) {
    fprintf(out, "does not assemble: ");
    write_failure(out, r, &r->at_file_tt0);
    fputc('\n', out);
    return;
  }
  if (r->at_file_tt0.kind != fails_not) {
    fprintf(out, "at the file's tt0 = %.3f %s: ", drive3(r, r->file_tt0), drive_unit(r));
    write_failure(out, r, &r->at_file_tt0);
    fprintf(out, "; tt0 raised as the program raises it\n");
  }
  write_range(out, r);
  write_transmissions(out, r);
  write_outputs(out, r);
  write_fourbars(out, r);
  write_trace(out, &r->trace);
}

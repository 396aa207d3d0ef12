// The quality report as JSON: the figures of the text under fixed keys, in
// a fixed order (README, "Quality report").  Numbers carry six decimals; a
// value that does not exist is null.
#include <cmath>

#include "analysis/quality_report.h"

// A string with JSON escapes; bytes that are not UTF-8 are written as '?'.
static void json_string(FILE *out, const char *s) {
  fputc('"', out);
  const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
  while (*p) {
    const unsigned c = *p;
    if (c == '"' || c == '\\') {
      fputc('\\', out);
      fputc(static_cast<int>(c), out);
      p++;
    } else if (c < 0x20) {
      fprintf(out, "\\u%04x", c);
      p++;
    } else if (c < 0x80) {
      fputc(static_cast<int>(c), out);
      p++;
    } else {
      // The length of a UTF-8 sequence from its lead byte; then its
      // continuation bytes must follow.
      const int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
      int ok = len > 0;
      for (int q = 1; q < len && ok; q++) ok = (p[q] & 0xC0) == 0x80;
      if (!ok) {
        fputc('?', out);
        p++;
        continue;
      }
      fwrite(p, 1, static_cast<size_t>(len), out);
      p += len;
    }
  }
  fputc('"', out);
}

static void json_number(FILE *out, double v) {
  if (std::isfinite(v)) fprintf(out, "%.6f", shown_value(v));
  else fputs("null", out);
}

static void json_bool(FILE *out, int v) { fputs(v ? "true" : "false", out); }

static void key(FILE *out, const char *name) { fprintf(out, "\"%s\": ", name); }

static int rotary(const quality_report *r) { return r->rs == 'A' || r->rs == 'B'; }

static void write_failure(FILE *out, const quality_report *r, const failure_figure *f) {
  static const char *const kinds[] = {"none", "unreadable", "step", "unplanned", "fact"};
  fputc('{', out);
  key(out, "kind");
  json_string(out, kinds[f->kind >= 0 && f->kind <= fails_fact ? f->kind : 0]);
  fputs(", ", out);
  key(out, "step");
  if (f->kind == fails_step) fprintf(out, "%d", f->step);
  else fputs("null", out);
  fputs(", ", out);
  key(out, "code");
  if (f->kind == fails_step) fprintf(out, "%d", f->code);
  else fputs("null", out);
  fputs(", ", out);
  key(out, "figure");
  if (f->kind == fails_step) json_string(out, step_figure_name(f->code));
  else fputs("null", out);
  fputs(", ", out);
  key(out, "joints");
  fputc('[', out);
  for (int q = 0; q < 4 && f->joints[q] && f->kind == fails_step; q++) fprintf(out, "%s%d", q ? ", " : "", f->joints[q]);
  fputs("], ", out);
  key(out, "unknown_joints");
  fputc('[', out);
  for (int i = 1, first = 1; i < joint_slots; i++)
    if (f->unknown[i] && f->kind == fails_unplanned) fprintf(out, "%s%d", first ? "" : ", ", i), first = 0;
  fputs("], ", out);
  key(out, "fact");
  if (f->kind == fails_fact) json_string(out, f->fact);
  else fputs("null", out);
  fputs(", ", out);
  key(out, "drive");
  json_number(out, f->kind == fails_unreadable ? NAN : report_drive_value(r, r->file_tt0));
  fputc('}', out);
}

static void write_mobility(FILE *out, const mobility_figure *m) {
  fprintf(out,
          "{\"joints\": %d, \"fixed\": %d, \"lengths\": %d, \"directions\": %d, \"angles\": %d, \"sliders\": %d, "
          "\"count\": %d, \"state\": ",
          m->joints, m->fixed, m->lengths, m->directions, m->angles, m->sliders, m->count);
  json_string(out, mobility_state_name(mobility_state_of(m)));
  fputs(", \"at_tt0\": ", out);
  if (m->has_posture)
    fprintf(out, "{\"independent\": %d, \"redundant\": %d, \"mobility\": %d, \"drive_determines\": %s}",
            m->independent, m->redundant, m->mobility, m->drive_determines ? "true" : "false");
  else
    fputs("null", out);
  fputc('}', out);
}

static void write_member(FILE *out, const member *m) {
  if (m->guide) fprintf(out, "{\"link\": null, \"guide\": [%d, %d]}", m->j, m->k);
  else fprintf(out, "{\"link\": %d, \"guide\": null}", m->p);
}

static void write_transmission(FILE *out, const quality_report *r, const transmission_figure *f) {
  fprintf(out, "{\"step\": %d, \"code\": %d, \"joint\": %d, \"members\": [", f->step, f->code, f->joint);
  write_member(out, &f->a);
  fputs(", ", out);
  write_member(out, &f->b);
  fputs("], \"min\": ", out);
  json_number(out, f->min_deg);
  fputs(", \"min_drive\": ", out);
  json_number(out, report_drive_value(r, f->min_drive));
  fputs(", \"max\": ", out);
  json_number(out, f->max_deg);
  fputs(", \"max_drive\": ", out);
  json_number(out, report_drive_value(r, f->max_drive));
  fputs(", \"worst\": ", out);
  json_number(out, f->worst_deg);
  fputs(", \"worst_drive\": ", out);
  json_number(out, report_drive_value(r, f->worst_drive));
  fputs(", \"outside_band\": ", out);
  json_bool(out, f->outside_band);
  fputs(", \"dead_point\": ", out);
  json_bool(out, f->dead_point);
  fputc('}', out);
}

static void write_output(FILE *out, const quality_report *r, const output_figure *f) {
  if (f->slider) fprintf(out, "{\"kind\": \"slider\", \"joints\": [%d], \"guide\": [%d, %d]", f->i, f->j, f->k);
  else fprintf(out, "{\"kind\": \"link\", \"joints\": [%d, %d], \"guide\": null", f->i, f->j);
  fprintf(out, ", \"turns\": %d, \"swing\": ", f->turns);
  json_number(out, f->turns ? NAN : f->hi - f->lo);
  fputs(", \"lo\": ", out);
  json_number(out, f->turns ? NAN : f->lo);
  fputs(", \"lo_drive\": ", out);
  json_number(out, f->turns ? NAN : report_drive_value(r, f->lo_drive));
  fputs(", \"hi\": ", out);
  json_number(out, f->turns ? NAN : f->hi);
  fputs(", \"hi_drive\": ", out);
  json_number(out, f->turns ? NAN : report_drive_value(r, f->hi_drive));
  fprintf(out, ", \"reversals\": %d, \"time_ratio\": ", f->reversals);
  json_number(out, f->has_ratio ? f->time_ratio : NAN);
  fputs(", \"forward_span\": ", out);
  json_number(out, f->has_ratio ? f->forward_span : NAN);
  fputs(", \"return_span\": ", out);
  json_number(out, f->has_ratio ? f->return_span : NAN);
  fputc('}', out);
}

static void write_fourbar(FILE *out, const fourbar_figure *f) {
  fprintf(out, "{\"joints\": [%d, %d, %d, %d], \"sides\": [", f->joint[0], f->joint[1], f->joint[2], f->joint[3]);
  for (int s = 0; s < 4; s++) {
    if (s) fputs(", ", out);
    json_number(out, f->side[s]);
  }
  fputs("], \"ground\": ", out);
  if (f->ground >= 0) fprintf(out, "[%d, %d]", f->joint[f->ground], f->joint[(f->ground + 1) % 4]);
  else fputs("null", out);
  fputs(", \"class\": ", out);
  json_string(out, grashof_name(f->kind));
  fputs(", \"cranks\": [", out);
  for (int c = 0; c < f->cranks; c++)
    fprintf(out, "%s[%d, %d]", c ? ", " : "", f->joint[f->crank[c]], f->joint[(f->crank[c] + 1) % 4]);
  fputs("]}", out);
}

static void write_point(FILE *out, double x, double y) {
  fputc('[', out);
  json_number(out, x);
  fputs(", ", out);
  json_number(out, y);
  fputc(']', out);
}

static void write_fit(FILE *out, const path_fit *f) {
  fputs("{\"extent\": ", out);
  json_number(out, f->extent);
  fputs(", \"line\": ", out);
  if (f->made[shape_line]) {
    fputs("{\"max_dev\": ", out);
    json_number(out, f->line.max_dev);
    fputs(", \"through\": ", out);
    write_point(out, f->line.through.x, f->line.through.y);
    fputs(", \"direction\": ", out);
    write_point(out, f->line.dir_x, f->line.dir_y);
    fputc('}', out);
  } else fputs("null", out);
  fputs(", \"circle\": ", out);
  if (f->made[shape_circle]) {
    fputs("{\"max_dev\": ", out);
    json_number(out, f->circle.max_dev);
    fputs(", \"centre\": ", out);
    write_point(out, f->circle.centre.x, f->circle.centre.y);
    fputs(", \"radius\": ", out);
    json_number(out, f->circle.radius);
    fputc('}', out);
  } else fputs("null", out);
  fputs(", \"conic\": ", out);
  if (f->made[shape_conic]) {
    const conic_fit &c = f->conic;
    fputs("{\"max_dev\": ", out);
    json_number(out, c.max_dev);
    fputs(", \"kind\": ", out);
    json_string(out, conic_kind_name(c.kind));
    fputs(", \"eccentricity\": ", out);
    json_number(out, c.kind == conic_degenerate ? NAN : c.eccentricity);
    // The coefficients are of unit length: more places than a length needs.
    fprintf(out, ", \"coefficients\": [%.12g, %.12g, %.12g, %.12g, %.12g, %.12g]}", c.A, c.B, c.C, c.D, c.E, c.F);
  } else fputs("null", out);
  static const char *const names[shapes] = {"line", "circle", "conic"};
  fputs(", \"best\": ", out);
  if (f->best >= 0) json_string(out, names[f->best]);
  else fputs("null", out);
  fputs(", \"exact\": ", out);
  json_bool(out, f->exact);
  fputc('}', out);
}

static void write_trace(FILE *out, const trace_figure *t) {
  fprintf(out, "{\"joint\": %d, \"points\": %d, \"x_min\": ", t->joint, t->points);
  json_number(out, t->min_x);
  fputs(", \"x_max\": ", out);
  json_number(out, t->max_x);
  fputs(", \"y_min\": ", out);
  json_number(out, t->min_y);
  fputs(", \"y_max\": ", out);
  json_number(out, t->max_y);
  fputs(", \"length\": ", out);
  json_number(out, t->length);
  fputs(", \"fit\": ", out);
  write_fit(out, &t->fit);
  fputc('}', out);
}

void write_report_json(FILE *out, const quality_report *r) {
  const int readable = r->at_file_tt0.kind != fails_unreadable;
  fputs("{\n  \"file\": ", out);
  json_string(out, r->file);
  fputs(",\n  \"title\": ", out);
  if (readable) json_string(out, r->title);
  else fputs("null", out);
  fputs(",\n  \"assembles\": ", out);
  json_bool(out, r->assembles);
  fputs(",\n  \"drive\": ", out);
  if (readable) {
    char element[48], kind[2] = {static_cast<char>(r->rs), 0};
    drive_element_name(r->rs, r->id, r->jd, r->kd, element, sizeof element);
    fputs("{\"kind\": ", out);
    json_string(out, kind);
    fputs(", \"element\": ", out);
    json_string(out, element);
    fprintf(out, ", \"unit\": \"%s\", \"tt0\": ", rotary(r) ? "degree" : "unit");
    json_number(out, report_drive_value(r, r->tt0));
    fputs(", \"file_tt0\": ", out);
    json_number(out, report_drive_value(r, r->file_tt0));
    fputc('}', out);
  } else fputs("null", out);
  fputs(",\n  \"failure\": ", out);
  if (r->at_file_tt0.kind != fails_not) write_failure(out, r, &r->at_file_tt0);
  else fputs("null", out);
  fputs(",\n  \"mobility\": ", out);
  if (readable) write_mobility(out, &r->mobility);
  else fputs("null", out);
  fputs(",\n  \"drive_range\": ", out);
  if (r->assembles) {
    const drive_range &d = r->range;
    fputs("{\"full\": ", out);
    json_bool(out, d.full);
    fputs(", \"lo\": ", out);
    json_number(out, d.full ? NAN : report_drive_value(r, d.lo));
    fputs(", \"hi\": ", out);
    json_number(out, d.full ? NAN : report_drive_value(r, d.hi));
    fputs(", \"lo_limit\": ", out);
    json_bool(out, d.lo_limit);
    fputs(", \"hi_limit\": ", out);
    json_bool(out, d.hi_limit);
    fputs(", \"lo_zero\": ", out);
    json_bool(out, d.lo_zero);
    fputc('}', out);
  } else fputs("null", out);
  fputs(",\n  \"transmission\": [", out);
  for (int t = 0; r->assembles && t < r->transmission_count; t++) {
    fputs(t ? ",\n    " : "\n    ", out);
    write_transmission(out, r, &r->transmission[t]);
  }
  fputs("],\n  \"outputs\": [", out);
  for (int o = 0; r->assembles && o < r->output_count; o++) {
    fputs(o ? ",\n    " : "\n    ", out);
    write_output(out, r, &r->outputs[o]);
  }
  fputs("],\n  \"fourbars\": [", out);
  for (int q = 0; r->assembles && q < r->fourbar_count; q++) {
    fputs(q ? ",\n    " : "\n    ", out);
    write_fourbar(out, &r->fourbars[q]);
  }
  fputs("],\n  \"trace\": ", out);
  if (r->assembles) write_trace(out, &r->trace);
  else fputs("null", out);
  fputs("\n}\n", out);
}

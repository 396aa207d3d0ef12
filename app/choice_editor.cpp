// Choice editor: lists the solving steps with a branch choice and stores
// the sign the user types for one of them.
#include "app/choice_editor.h"

#include <cerrno>
#include <cstdlib>

#include "app/motion.h"
#include "model/console.h"
#include "model/mechanism_model.h"

// Step codes of the solving order: triangles are below 39, quadrilaterals
// between 39 and 50 (both exclusive).
constexpr int triangle_codes_below = 39;
constexpr int quad_codes_below = 50;

static void list_choices() {
  const mechanism &m = mech;
  for (int s = 1; s <= m.junjo_count && s < junjo_slots; s++) {
    if (m.choice_offered[s] == 0) continue;
    const int *r = m.junjo[s];
    if (r[jj_code] < triangle_codes_below)
      con_printf("\n計算順番の番号 i=%d  △[%d%d%d]  解の選択=%d", s, r[jj_a], r[jj_b], r[jj_c],
                 r[jj_choice]);
    else if (r[jj_code] < quad_codes_below)
      con_printf("\n計算順番の番号 i=%d  □[%d%d%d%d]  解の選択=%d", s, r[jj_a], r[jj_b], r[jj_c],
                 r[jj_d], r[jj_choice]);
  }
}

// Limits of a typed step number or sign: far beyond any table, far inside int.
constexpr long typed_int_limit = 1000000;

// Reads the integer at *text, blanks before it skipped; moves *text past it.
// 1 read, 0 when the next word is not an integer within typed_int_limit.
static int parse_int(const char **text, int *value) {
  const char *at = *text;
  while (*at == ' ' || *at == '\t' || *at == '\r') at++;
  char *end;
  errno = 0;
  const long v = strtol(at, &end, 10);
  if (end == at || errno != 0 || v < -typed_int_limit || v > typed_int_limit) return 0;
  if (*end != '\0' && *end != ' ' && *end != '\t' && *end != '\r') return 0;  // "6x"
  *value = static_cast<int>(v);
  *text = end;
  return 1;
}

// Outcome of one answer: the two numbers, or why they were refused.
enum answer_kind { answer_ok, answer_not_integers, answer_too_many };

// Reads the step number and the sign: both on one line, or the number on
// one line and the sign on the next.  An answer is judged as soon as its
// line ends.
static answer_kind read_answer(int *s, int *v) {
  char line[128];
  con_read_line(line, sizeof line);
  const char *at = line;
  if (!parse_int(&at, s)) return answer_not_integers;
  if (text_is_blank(at)) {  // the sign comes on a line of its own
    con_read_line(line, sizeof line);
    at = line;
  }
  if (!parse_int(&at, v)) return answer_not_integers;
  return text_is_blank(at) ? answer_ok : answer_too_many;
}

void edit_choices() {
  mechanism &m = mech;
  con_printf("\n下記の番号の解の選択±を逆にして，三角形(四角形)の姿勢を反対にする");
  list_choices();
  int s = 0, v = 0;
  for (;;) {
    con_printf("\n番号とその選択符号の変更を入力 i  ±1  ");
    con_printf("\n何もなければ0番号と1を入力");
    const answer_kind answer = read_answer(&s, &v);
    if (answer == answer_not_integers) {
      con_printf("\n番号と符号は整数で入力して下さい．");
      continue;
    }
    if (answer == answer_too_many) {
      con_printf("\n番号と符号の二つだけを入力して下さい．");
      continue;
    }
    if (s < 0 || s > m.junjo_count || s >= junjo_slots) {
      con_printf("\n番号 %d は範囲外です．0～%d で入力して下さい．", s, m.junjo_count);
      continue;
    }
    if (v != 1 && v != -1 && v != 0) {
      con_printf("\n選択符号 %d は使えません．+1，-1，0 のどれかを入力して下さい．", v);
      continue;
    }
    break;
  }
  m.junjo[s][jj_choice] = v;
  m.choice_offered[s] = v;
  plan_changed();
  if (motion.display_mode == '0') motion.step_count = 0;
  motion.stalled = 0;
  con_printf("\n                                                   描画画面へ\n");
}

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

// Reads one whitespace-delimited integer; 0 when the word is not one.
static int read_int(int *value) {
  char word[32];
  con_read_word(word, sizeof word);
  char *end;
  errno = 0;
  long v = strtol(word, &end, 10);
  if (end == word || *end != '\0' || errno != 0 || v < -1000000 || v > 1000000) return 0;
  *value = static_cast<int>(v);
  return 1;
}

void edit_choices() {
  mechanism &m = mech;
  con_printf("\n下記の番号の解の選択±を逆にして，三角形(四角形)の姿勢を反対にする");
  list_choices();
  int s, v;
  for (;;) {
    con_printf("\n番号とその選択符号の変更を入力 i  ±1  ");
    con_printf("\n何もなければ0番号と1を入力");
    int got_s = read_int(&s);
    int got_v = read_int(&v);
    if (!got_s || !got_v) {
      con_printf("\n番号と符号は整数で入力して下さい．");
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
  if (motion.display_mode == '0') motion.step_count = 0;
  motion.stalled = 0;
  con_printf("\n                                                   描画画面へ\n");
}

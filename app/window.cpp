// The window: set-up, reshape, the display step as a thin layer over the
// motion logic, and the keyboard callback.
#include "app/window.h"

#include <GL/freeglut.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

#include "app/keyboard.h"
#include "app/motion.h"
#include "draw/overlay.h"
#include "draw/scene.h"
#include "model/console.h"

const char window_title[] =
    "リンク機構の運動　i,p:機構・寸法変更　0,1:初期or運動描画 r:正逆転　w,W:倍率変更 "
    "x,X;y,Y:上下左右移動";

constexpr int window_pixels = 800;     // width and height at start
constexpr int grid_count = 40;         // lines on each side of the axes
constexpr double grid_spacing = 20.0;  // world units between grid lines
constexpr unsigned play_interval = 40;  // milliseconds between steps of the play: 25 frames a second

static int play_timer_armed = 0;  // 1 while a play tick is pending in the toolkit

void create_window(int *argc, char **argv) {
  glutInitWindowSize(window_pixels, window_pixels);
  glutInit(argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow(window_title);
  set_utf8_window_title(window_title);
  glutDisplayFunc(display);
  glutReshapeFunc(reshape);
  glutKeyboardFunc(keyboard);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
}

// The X display the toolkit will open: the argument of -display, else DISPLAY.
static const char *display_name(int argc, char **argv) {
  for (int i = 1; i + 1 < argc; i++)
    if (strcmp(argv[i], "-display") == 0) return argv[i + 1];
  return getenv("DISPLAY");
}

// The toolkit ends the program with its own English message when it cannot
// reach the X server; the user gets the reason on standard error first.
void require_display(int argc, char **argv) {
  const char *name = display_name(argc, argv);
  Display *d = XOpenDisplay(name);
  if (d) {
    XCloseDisplay(d);
    return;
  }
  con_flush();
  console_set_output(stderr);
  if (name && *name)
    con_printf("\nウィンドウを開けません．X ディスプレイ %s に接続できません．\n", shown(name));
  else
    con_printf("\nウィンドウを開けません．X ディスプレイが設定されていません (DISPLAY)．\n");
  con_flush();
  exit(1);
}

void run_window(int *argc, char **argv) {
  require_display(*argc, argv);
  create_window(argc, argv);
  con_flush();
  glutMainLoop();
  con_flush();
  exit(0);
}

void reshape(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

void begin_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
}

void end_frame() {
  glFlush();
  glutSwapBuffers();
}

void draw_frame() {
  begin_frame();
  const double s = motion.view_scale;
  draw_grid({s * motion.view_x, s * motion.view_y}, 0.0, grid_count, grid_spacing * s,
            grid_spacing * s);
  const int in_motion = solve_frame();
  draw_mechanism();
  if (in_motion) draw_trace(motion.step_count);
  draw_overlay();
}

void display() {
  draw_frame();
  end_frame();
  con_flush();
}

// One step of the continuous motion, as a press of "s" does, then the next
// tick; a tick after the play stopped only disarms.
static void play_tick(int) {
  play_timer_armed = 0;
  if (!motion_playing) return;
  motion_step();
  display();
  play_timer_armed = 1;
  glutTimerFunc(play_interval, play_tick, 0);
}

// Arms the tick once when the play has started; a pending tick goes on.
static void arm_play() {
  if (!motion_playing || play_timer_armed) return;
  play_timer_armed = 1;
  glutTimerFunc(play_interval, play_tick, 0);
}

void keyboard(unsigned char key, int, int) {
  const key_then then = run_key_command(key);
  arm_play();
  switch (then) {
    case then_display:
      display();
      break;
    case then_redraw:
      glutPostRedisplay();
      con_flush();
      break;
    case then_exit:
      con_flush();
      exit(0);
    case then_nothing:
      con_flush();  // what the command printed
      break;
  }
}

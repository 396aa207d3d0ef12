// The window: set-up, reshape, frames and the toolkit's callbacks.  A thin
// OpenGL layer over the motion logic of app/motion.h.
#pragma once

// The window title, UTF-8.
extern const char window_title[];

// Creates the 800 x 800 double-buffered window with its title and callbacks
// and a white background; argc and argv go to the toolkit.
void create_window(int *argc, char **argv);

// Returns when the X display of -display or DISPLAY can be opened; else a
// message on standard error and exit status 1.  The program asks it before
// the first question, so nobody answers a dialogue for a window that
// cannot open.
void require_display(int argc, char **argv);

// create_window, then the toolkit's main loop; does not return.  Without a
// reachable X display: require_display's message and exit status 1.
[[noreturn]] void run_window(int *argc, char **argv);

// Viewport over the whole window, identity projection.
void reshape(int width, int height);

// Clears colour and depth and resets the model-view matrix.
void begin_frame();

// Flushes and swaps the buffers.
void end_frame();

// One frame into the back buffer: grid, the solve of motion.h, mechanism,
// trace in motion mode, overlay.  Does not swap.
void draw_frame();

// draw_frame, end_frame and a flush of the console: the display callback.
void display();

// Keyboard callback: runs the key's command and draws, redraws or exits.
void keyboard(unsigned char key, int x, int y);

// Hands the title to window managers as UTF-8 (_NET_WM_NAME and
// _NET_WM_ICON_NAME as UTF8_STRING, WM_NAME and WM_ICON_NAME as compound
// text) on the window of the current GL context.  1 set, 0 not.
int set_utf8_window_title(const char *title);

// Helpers of the window tests: a private X server, the program's window in
// this process, pixels read back, and runs of X clients with time limits.
#pragma once

#include <string>
#include <vector>

// A private Xvfb: started on a free display (chosen by the server itself),
// DISPLAY set to it while the object lives, the server ended after.
class x_server {
 public:
  x_server();
  ~x_server();
  bool running() const { return pid_ > 0; }
  const std::string &display() const { return display_; }
 private:
  int pid_ = -1;
  std::string display_;
};

// Opens the program's window (create_window) on the current DISPLAY and
// waits, at most a few seconds, until the toolkit has drawn it once.
// Once per process; 1 open, 0 not.
int open_program_window();

// Closes the window and the toolkit's connection, before the server ends.
void close_program_window();

struct rgb {
  int r, g, b;
};

// The 800 x 800 picture in the back buffer, read after glFinish.
class frame_pixels {
 public:
  frame_pixels();  // reads the back buffer of the current window
  frame_pixels(const std::vector<unsigned char> &rgb_rows, int width, int height);  // top row first
  // Pixel at column x, row y counted from the top, as a screenshot numbers them.
  rgb at(int x, int y) const;
  int width() const { return width_; }
  int height() const { return height_; }
 private:
  std::vector<unsigned char> bytes_;  // top row first, 3 bytes a pixel
  int width_, height_;
};

// Pixel column and row (from the top) of a world point at the start view:
// scale 0.005 and offsets -50, so 2 pixels per world unit.
int column_of_world(double x);
int row_of_world(double y);

bool is_red(rgb c);
bool is_blue(rgb c);
bool is_white(rgb c);
bool is_black(rgb c);
bool is_dark(rgb c);  // text and grid: every channel below 80

// Lengths of the runs of pixels along row y from x0 to x1 (inclusive) that
// satisfy the test, with the column where each run starts.
struct pixel_run {
  int start, length;
};
std::vector<pixel_run> runs_in_row(const frame_pixels &f, int y, int x0, int x1,
                                   bool (*test)(rgb));
std::vector<pixel_run> runs_in_column(const frame_pixels &f, int x, int y0, int y1,
                                      bool (*test)(rgb));

// Runs a shell command with a time limit in seconds; its standard output.
// *status gets the exit status (124 when the limit was reached).
std::string run_with_limit(const std::string &command, int seconds, int *status = nullptr);

// Reads a binary PPM (P6, maxval 255) file into pixels; false when it is not one.
bool read_ppm(const std::string &path, std::vector<unsigned char> *rgb_rows, int *width,
              int *height);

// Opens an SVG file (its name ending in .svg) in headless Chromium, 800 x
// 800, lets its animations run for budget_ms of the browser's virtual
// time (none when 0: the shot comes when the page has loaded), and reads the screenshot into *rows (top row first, 3 bytes a
// pixel).  false when no 800 x 800 screenshot came.
bool chromium_screenshot(const std::string &svg_file, int budget_ms, std::vector<unsigned char> *rows);

// Starts `command` through the shell in directory dir, standard input from
// the file in_path, standard output and error to out_path.  Its process id.
int spawn_program(const std::string &command, const std::string &dir, const std::string &in_path,
                  const std::string &out_path);

// Waits at most `seconds` for the process to end; its exit status, or -1
// when it had to be killed.
int wait_for_exit(int pid, int seconds);

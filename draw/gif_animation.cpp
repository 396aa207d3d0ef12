// The animation as a GIF89a through giflib: a global palette of the
// drawing's five colours and the shades that anti-aliasing makes between
// any two of them, one image a frame holding only the rectangle that changed
// since the frame before (the rest of it transparent), and the NETSCAPE2.0
// application extension with a loop count of 0: loop forever.
#include <gif_lib.h>

#include <cstdint>
#include <cstring>

#include "draw/animation.h"
#include "draw/frame_raster.h"
#include "draw/primitives.h"

// Shades from one colour to another: 16 steps, 15 between the two ends, as
// fine as the eye tells grey levels apart at the edge of a line.
constexpr int shade_steps = 16;
constexpr int palette_slots = 256;   // 8 bits a pixel
constexpr int unchanged = 255;       // transparent: the pixel of the frame before shows
constexpr int quant_bits = 5;        // bits of each channel looked up in the nearest-colour table
constexpr int quant_levels = 1 << quant_bits;
constexpr int max_pixels = max_frame_pixels * max_frame_pixels;

static GifColorType palette[palette_slots];
static int palette_used;  // entries 0..palette_used-1 are colours; 0 is the white background
// nearest[(r << 10) | (g << 5) | b] (5 bits each): palette entry closest to
// that colour, by the square distance in RGB.
static unsigned char nearest[quant_levels * quant_levels * quant_levels];

static uint32_t raster[max_pixels];                  // 0x00rrggbb, top row first
static GifByteType indices[2][max_pixels];           // this frame and the frame before
static GifByteType line_out[max_frame_pixels];

// A colour channel of 0..1 as a byte 0..255, rounded.
static int channel(float v) { return v <= 0.0f ? 0 : v >= 1.0f ? 255 : static_cast<int>(v * 255.0f + 0.5f); }

// Appends a palette entry while there is room below the transparent one.
static void add_colour(int r, int g, int b) {
  if (palette_used >= unchanged) return;  // the transparent entry stays free
  palette[palette_used].Red = static_cast<GifByteType>(r);
  palette[palette_used].Green = static_cast<GifByteType>(g);
  palette[palette_used].Blue = static_cast<GifByteType>(b);
  palette_used++;
}

// The five colours, then for each pair of them the 15 shades between:
// c = a + (b - a) t for t = 1/16 .. 15/16.  5 + 10 x 15 = 155 entries.
static void build_palette() {
  if (palette_used > 0) return;
  const rgba base[] = {white, black, red, blue, plate_yellow};
  const int bases = sizeof base / sizeof base[0];
  for (int i = 0; i < bases; i++) add_colour(channel(base[i].r), channel(base[i].g), channel(base[i].b));
  for (int i = 0; i < bases; i++)
    for (int j = i + 1; j < bases; j++)
      for (int s = 1; s < shade_steps; s++) {
        const float t = static_cast<float>(s) / shade_steps;
        add_colour(channel(base[i].r + (base[j].r - base[i].r) * t), channel(base[i].g + (base[j].g - base[i].g) * t),
                   channel(base[i].b + (base[j].b - base[i].b) * t));
      }
  for (int e = palette_used; e < palette_slots; e++) palette[e] = palette[0];
  // Every cell of the table by its middle colour.
  for (int key = 0; key < quant_levels * quant_levels * quant_levels; key++) {
    const int shift = 8 - quant_bits, half = 1 << (shift - 1);
    const int r = ((key >> (2 * quant_bits)) << shift) | half, g = (((key >> quant_bits) & (quant_levels - 1)) << shift) | half,
              b = ((key & (quant_levels - 1)) << shift) | half;
    long best = -1;
    for (int e = 0; e < palette_used; e++) {
      const long dr = r - palette[e].Red, dg = g - palette[e].Green, db = b - palette[e].Blue;
      const long d = dr * dr + dg * dg + db * db;
      if (best < 0 || d < best) best = d, nearest[key] = static_cast<unsigned char>(e);
    }
  }
}

// Each of count pixels 0x00rrggbb as the index of its nearest palette entry.
static void quantise(const uint32_t *from, GifByteType *to, int count) {
  const int shift = 8 - quant_bits;
  for (int p = 0; p < count; p++) {
    const uint32_t c = from[p];
    const int r = (c >> 16) & 0xff, g = (c >> 8) & 0xff, b = c & 0xff;
    to[p] = nearest[((r >> shift) << (2 * quant_bits)) | ((g >> shift) << quant_bits) | (b >> shift)];
  }
}

// giflib's writer: bytes to the FILE of the animation; the number written.
static int put_bytes(GifFileType *gif, const GifByteType *bytes, int count) {
  FILE *out = static_cast<FILE *>(gif->UserData);
  return static_cast<int>(fwrite(bytes, 1, count, out));
}

// NETSCAPE2.0 sub-block 1 with a loop count of 0 (little-endian): forever.
// 1 written, 0 not.
static int put_loop(GifFileType *gif) {
  static const GifByteType loop[3] = {1, 0, 0};
  return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK && EGifPutExtensionBlock(gif, 3, loop) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
}

struct pixel_rect {
  int left, top, width, height;
};

// The smallest rectangle holding every pixel in which now and before differ;
// one pixel at the corner when none does (a frame must have an image).
static pixel_rect changed_rect(const GifByteType *now, const GifByteType *before, int w, int h) {
  int lo_x = w, hi_x = -1, lo_y = h, hi_y = -1;
  for (int y = 0; y < h; y++) {
    const GifByteType *a = now + static_cast<long>(y) * w, *b = before + static_cast<long>(y) * w;
    if (memcmp(a, b, w) == 0) continue;
    lo_y = lo_y < y ? lo_y : y, hi_y = y;
    for (int x = 0; x < w; x++)
      if (a[x] != b[x]) lo_x = lo_x < x ? lo_x : x, hi_x = hi_x > x ? hi_x : x;
  }
  if (hi_y < 0) return pixel_rect{0, 0, 1, 1};
  return pixel_rect{lo_x, lo_y, hi_x - lo_x + 1, hi_y - lo_y + 1};
}

// Frame k: its delay, then the rectangle of it that changed; a pixel the
// same as before is written transparent, which keeps the runs long.  1
// written, 0 giflib failed.
static int put_frame(GifFileType *gif, const animation *a, int k, const GifByteType *now, const GifByteType *before) {
  const int w = a->frame.width, h = a->frame.height;
  const pixel_rect r = k == 0 ? pixel_rect{0, 0, w, h} : changed_rect(now, before, w, h);
  GraphicsControlBlock control;
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = (a->delay_ms + 5) / 10;  // hundredths of a second
  control.TransparentColor = k == 0 ? NO_TRANSPARENT_COLOR : unchanged;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK) return 0;
  if (EGifPutImageDesc(gif, r.left, r.top, r.width, r.height, false, nullptr) != GIF_OK) return 0;
  for (int y = r.top; y < r.top + r.height; y++) {
    const long row = static_cast<long>(y) * w;
    for (int x = 0; x < r.width; x++) {
      const long p = row + r.left + x;
      line_out[x] = k > 0 && now[p] == before[p] ? unchanged : now[p];
    }
    if (EGifPutLine(gif, line_out, r.width) != GIF_OK) return 0;
  }
  return 1;
}

int write_gif_animation(FILE *out, const animation *a) {
  const int w = a->frame.width, h = a->frame.height;
  if (w < 1 || h < 1 || w > max_frame_pixels || h > max_frame_pixels || a->count < 1) return 0;
  build_palette();
  int error = 0;
  GifFileType *gif = EGifOpen(out, put_bytes, &error);
  if (!gif) return 0;
  ColorMapObject *map = GifMakeMapObject(palette_slots, palette);
  EGifSetGifVersion(gif, true);
  int ok = map && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK && put_loop(gif);
  for (int k = 0; ok && k < a->count; k++) {
    GifByteType *now = indices[k % 2], *before = indices[(k + 1) % 2];
    ok = draw_frame_raster(raster, 4 * w, a->frame, &a->posture[k], a->trace, a->step[k]);
    if (ok) quantise(raster, now, w * h);
    ok = ok && put_frame(gif, a, k, now, before);
  }
  if (map) GifFreeMapObject(map);
  release_frame_raster();
  if (EGifCloseFile(gif, &error) != GIF_OK) ok = 0;
  return ok && !ferror(out);
}

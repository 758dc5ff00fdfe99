/* Records part of an X screen as numbered PPM frames at a steady pace, for
 * the demo GIFs: `import` in a loop cannot keep a 30 ms pace.
 *
 *   xgrab OUTDIR X Y W H INTERVAL_MS MAX_FRAMES
 *
 * Frames go to OUTDIR/f00000.ppm ...; it stops after MAX_FRAMES frames, on
 * SIGTERM/SIGINT, or when the file OUTDIR/stop appears. Each frame's time in
 * ms since the first is written to OUTDIR/times.txt. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t g_stop = 0;
static void OnSignal(int sig) {
    (void)sig;
    g_stop = 1;
}

static double NowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static int WriteFrame(const char* path, XImage* img, int w, int h) {
    FILE* f = fopen(path, "wb");
    if (!f)
        return 0;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    unsigned char* row = malloc((size_t)w * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            row[x * 3] = (p >> 16) & 255;
            row[x * 3 + 1] = (p >> 8) & 255;
            row[x * 3 + 2] = p & 255;
        }
        fwrite(row, 3, (size_t)w, f);
    }
    free(row);
    return fclose(f) == 0;
}

int main(int argc, char** argv) {
    if (argc != 8) {
        fprintf(stderr, "usage: xgrab OUTDIR X Y W H INTERVAL_MS MAX_FRAMES\n");
        return 2;
    }
    const char* dir = argv[1];
    int x = atoi(argv[2]), y = atoi(argv[3]), w = atoi(argv[4]), h = atoi(argv[5]);
    double interval = atof(argv[6]);
    int maxFrames = atoi(argv[7]);
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "xgrab: no display\n");
        return 1;
    }
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    char path[4096], stopPath[4096];
    snprintf(path, sizeof path, "%s/times.txt", dir);
    snprintf(stopPath, sizeof stopPath, "%s/stop", dir);
    FILE* times = fopen(path, "w");
    if (!times)
        return 1;
    Window root = DefaultRootWindow(dpy);
    double start = NowMs(), next = start;
    for (int n = 0; n < maxFrames && !g_stop && access(stopPath, F_OK) != 0; ++n) {
        double at = NowMs();
        XImage* img = XGetImage(dpy, root, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (!img)
            break;
        snprintf(path, sizeof path, "%s/f%05d.ppm", dir, n);
        WriteFrame(path, img, w, h);
        XDestroyImage(img);
        fprintf(times, "%.1f\n", at - start);
        fflush(times);
        next += interval;
        double wait = next - NowMs();
        if (wait > 0)
            usleep((useconds_t)(wait * 1000));
        else
            next = NowMs(); /* fell behind: keep the pace from here */
    }
    fclose(times);
    XCloseDisplay(dpy);
    return 0;
}

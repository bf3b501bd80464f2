#include "support/ScreenCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace TestSupport {

ScreenImage ScreenImage::Capture() {
    ScreenImage image;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return image;
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* x = XGetImage(display, root, 0, 0, unsigned(attributes.width),
                          unsigned(attributes.height), AllPlanes, ZPixmap);
    if (x) {
        image.width_ = attributes.width;
        image.height_ = attributes.height;
        image.pixels_.resize(size_t(image.width_) * size_t(image.height_));
        for (int row = 0; row < image.height_; ++row) {
            for (int column = 0; column < image.width_; ++column) {
                // A 24-bit TrueColor visual: red, green and blue masks.
                unsigned long p = XGetPixel(x, column, row);
                ScreenPixel& out = image.pixels_[size_t(row) * size_t(image.width_) + size_t(column)];
                out.r = uint8_t((p & x->red_mask) >> 16);
                out.g = uint8_t((p & x->green_mask) >> 8);
                out.b = uint8_t(p & x->blue_mask);
            }
        }
        XDestroyImage(x);
    }
    XCloseDisplay(display);
    return image;
}

ScreenPixel ScreenImage::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    return pixels_[size_t(y) * size_t(width_) + size_t(x)];
}

int FpsCounterPixels() {
    return ScreenImage::Capture().Count(110, 15, 360, 160, 3, [](ScreenPixel p) {
        return p.r > 180 && p.g > 180 && p.b < 90;
    });
}

}  // namespace TestSupport

#include "engine/graphics/texture_format.h"
#include "engine/image/pixel_format.h"

const PixelFormat* SelectTextureFormatByFlags(int alpha_channel, int alpha_test, int is_32bit, int render_target) {
    static PixelFormat formats[5];
    static int ready = 0;
    if (!ready) {
        SetPixelFormatA4R4G4B4(&formats[0]);
        SetPixelFormatA1R5G5B5(&formats[1]);
        SetPixelFormatA8R8G8B8(&formats[2]);
        SetPixelFormatR5G6B5(&formats[3]);
        SetPixelFormatX8R8G8B8(&formats[4]);
        ready = 1;
    }
    (void)alpha_test;  // a 16-bit key format already has the 1-bit field alpha test needs
    if (render_target) return is_32bit ? &formats[4] : &formats[3];
    if (is_32bit) return &formats[2];
    return alpha_channel ? &formats[0] : &formats[1];
}

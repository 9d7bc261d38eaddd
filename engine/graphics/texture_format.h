#pragma once

struct PixelFormat;

// The pixel format that graphics made with these flags get. 16-bit: a 4-bit alpha
// field with an alpha channel, else a 1-bit one (it carries the colour key);
// 32-bit: A8R8G8B8. A render target gets the screen's format without alpha.
const PixelFormat* SelectTextureFormatByFlags(int alpha_channel, int alpha_test, int is_32bit, int render_target);

// Lookup tables of the software renderer: every division by 255 or 63 in a
// pixel loop becomes one of these reads.
#include "engine/image/memimg.h"

int32_t MemImgMulTable[256][256];
int32_t MemImgSignedMulTable[256][512];
uint8_t MemImgLerpTable[64][64][64];
uint8_t BlendGraphicTable[256];

int BuildMemImageTables() {
    for (int x = 0; x < 256; x++) {
        for (int y = 0; y < 256; y++) MemImgMulTable[x][y] = x * y / 255;
        // Column 0 would be d = -256, which no caller forms; it stays 0.
        MemImgSignedMulTable[x][0] = 0;
        for (int d = -255; d <= 255; d++) MemImgSignedMulTable[x][256 + d] = x * d / 255;
    }
    for (int k = 0; k < 64; k++)
        for (int m = 0; m < 64; m++)
            for (int n = 0; n < 64; n++)
                MemImgLerpTable[k][m][n] = (uint8_t)((k * m + (63 - k) * n) / 63);
    return 0;
}

void BuildBlendGraphicTable(int border_param, int border_range) {
    int p = border_param < 0 ? 0 : border_param > 255 ? 255 : border_param;
    int r = border_range < 0 ? 0 : border_range > 255 ? 255 : border_range;
    int base = 256 - ((65536 / (r + 1) + 256) * p) / 256;
    for (int i = 0; i < 256; i++) {
        int v = i * 256 / (r + 1) + base;
        BlendGraphicTable[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

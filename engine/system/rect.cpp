#include "engine/system/rect.h"

static int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v > hi ? hi : (v < lo ? lo : v); }

int ClipRectToRect(Rect* r, const Rect* clip) {
    if (r->right < r->left) r->right = r->left;
    if (r->bottom < r->top) r->bottom = r->top;
    r->bottom = Clamp(r->bottom, clip->top, clip->bottom);
    r->top = Clamp(r->top, clip->top, clip->bottom);
    r->right = Clamp(r->right, clip->left, clip->right);
    r->left = Clamp(r->left, clip->left, clip->right);
    return 0;
}

#include "module/rect.h"

#include <algorithm>

void rect_copy(Rect* destination, const Rect* source) {
    *destination = *source;
}

int rect_intersect(Rect* a, const Rect* b) {
    a->left = std::max(a->left, b->left);
    a->top = std::max(a->top, b->top);
    a->right = std::min(a->right, b->right);
    a->bottom = std::min(a->bottom, b->bottom);
    return a->top <= a->bottom && a->left <= a->right;
}

int rect_inside(int x, int y, const Rect* r) {
    const int32_t ux = uint16_t(x), uy = uint16_t(y);
    return r->left <= ux && ux <= r->right && r->top <= uy && uy <= r->bottom;
}

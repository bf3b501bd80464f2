#include "Graphics/Animation.h"

Animation::~Animation() {
    for (Sprite* frame : frames) delete frame;
    frames.clear();
    name.clear();
    fileName.clear();
    texture.owns = ownsTexture && texture.texture != 0;
    texture.Reset();
}

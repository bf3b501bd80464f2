#include "System/Source/Color.h"

#include <cmath>
#include <cstdint>

namespace {

// Float to a 32-bit integer, truncating toward zero, without the undefined
// conversions of NaN and out-of-range values: NaN gives 0, the rest saturate.
int32_t TruncateToInt(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

uint8_t ScaleChannel(uint8_t channel, float factor) {
    float v = channel / 255.0f * factor * 255.0f;
    if (v >= 255.0f) v = 255.0f;
    return static_cast<uint8_t>(static_cast<uint32_t>(TruncateToInt(v)) & 0xFFu);
}

uint8_t LerpChannel(uint8_t start, uint8_t end, float t) {
    int diff = int(end) - int(start);
    int32_t step = TruncateToInt(float(diff) * t);
    return static_cast<uint8_t>((uint32_t(start) + static_cast<uint32_t>(step)) & 0xFFu);
}

}  // namespace

Color ScaleColor(Color color, float factor) {
    return Color(ScaleChannel(color.r, factor), ScaleChannel(color.g, factor),
                 ScaleChannel(color.b, factor), color.a);
}

Color LerpColor(Color start, Color end, float t) {
    return Color(LerpChannel(start.r, end.r, t), LerpChannel(start.g, end.g, t),
                 LerpChannel(start.b, end.b, t), LerpChannel(start.a, end.a, t));
}

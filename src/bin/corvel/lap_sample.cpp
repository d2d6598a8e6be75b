// make_lap_sample and the 41-byte encoding. (Conversion rules: clamp, scale, truncate.)
#include "corvel/lap_sample.hpp"

// Writes the sample movie the build lays beside the program, so a new user
// has something to open at once: ten seconds of a bright ball bouncing over
// rolling waves, with a tone, made by the project's own clip encoder.
//
// Usage: glyphreel-make-sample OUT.avi
#include "support/TestVideo.h"

#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.avi\n", argv[0]);
    return 2;
  }
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".avi");
  clipSpec.width = 320;
  clipSpec.height = 240;
  clipSpec.framesPerSecond = 25;
  clipSpec.frameCount = 250;
  clipSpec.toneHz = 330;
  clipSpec.luma = [](int frame, int x, int y) {
    const double t = frame / 25.0;
    // Waves rolling across a dark-to-light sky.
    const double wave = 60 * std::sin(x / 23.0 + t * 2.1) * std::sin(y / 31.0 - t * 1.3);
    double v = 40 + 150.0 * y / 240 + wave;
    // A ball bouncing between the walls and the floor.
    const double bx = 40 + std::fabs(std::fmod(t * 97, 480.0) - 240);
    const double by = 200 - 160 * std::fabs(std::sin(t * 2.4));
    const double d = std::hypot(x - bx, y - by);
    if (d < 28) v = 255 - 3 * d;
    else if (d < 34) v = 10;
    return static_cast<int>(v);
  };
  std::string error;
  if (!testing_support::WriteTestVideo(argv[1], clipSpec, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return 0;
}

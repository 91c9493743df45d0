// Pictures and sounds for the script-package corpus: 24-bit BMPs from
// ImageMagick's built-in pictures or drawn here, and 16-bit PCM WAVs
// synthesised here (tones with envelopes, noise, silence).
#pragma once

#include <string>
#include <vector>

namespace lhabench {

// A 24-bit BMP made by ImageMagick's convert from `args` (e.g. {"rose:",
// "-resize", "640x480!"}); `scratch` is a folder for its output. Throws
// std::runtime_error naming the command when convert fails.
std::string MagickBmp(const std::vector<std::string>& args, const std::string& scratch);

// A 24-bit BMP drawn here: a gradient with a disc and bars; `noise` is the
// amplitude of the grain added to every pixel (0 gives flat colours, as in
// buttons and icons).
std::string DrawnBmp(int width, int height, unsigned seed, int noise);

// A sound effect: mono, 22,050 Hz, a few enveloped tones or a noise burst
// with silence around them, `milliseconds` long.
std::string EffectWav(int milliseconds, unsigned seed);

// Background music: stereo, 22,050 Hz, a melody over a bass line with a
// little hiss and a silent tail, `seconds` long.
std::string MusicWav(int seconds, unsigned seed);

}  // namespace lhabench

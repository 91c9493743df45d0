#include "corpus_media.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "bench_run.h"

namespace lhabench {

namespace {

void PutLE(std::string& s, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

std::string WavHeader(std::uint32_t dataBytes, int channels) {
  std::string s = "RIFF";
  PutLE(s, 36 + dataBytes, 4);
  s += "WAVEfmt ";
  PutLE(s, 16, 4);
  PutLE(s, 1, 2);  // PCM
  PutLE(s, static_cast<std::uint32_t>(channels), 2);
  PutLE(s, kRate, 4);
  PutLE(s, static_cast<std::uint32_t>(kRate * channels * 2), 4);
  PutLE(s, static_cast<std::uint32_t>(channels * 2), 2);
  PutLE(s, 16, 2);
  s += "data";
  PutLE(s, dataBytes, 4);
  return s;
}

void PutSample(std::string& s, double v) {
  const long x = std::lround(std::clamp(v, -1.0, 1.0) * 32767.0);
  PutLE(s, static_cast<std::uint32_t>(static_cast<std::int16_t>(x)) & 0xFFFF, 2);
}

// Attack, decay to a sustain level, release: the usual envelope of a note.
double Envelope(double t, double length) {
  const double attack = 0.01, decay = 0.08, release = std::min(0.15, length / 3), sustain = 0.6;
  if (t < 0 || t >= length) return 0;
  if (t < attack) return t / attack;
  if (t < attack + decay) return 1 - (1 - sustain) * (t - attack) / decay;
  if (t > length - release) return sustain * (length - t) / release;
  return sustain;
}

// A note with a few harmonics.
double Tone(double freq, double t) {
  return std::sin(2 * kPi * freq * t) * 0.6 + std::sin(4 * kPi * freq * t) * 0.25 + std::sin(6 * kPi * freq * t) * 0.1;
}

double NoteFrequency(int semitonesFromA4) { return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0); }

}  // namespace

std::string MagickBmp(const std::vector<std::string>& args, const std::string& scratch) {
  const std::string out = scratch + "/magick.bmp";
  std::vector<std::string> argv{"convert"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.insert(argv.end(), {"-type", "TrueColor", "BMP3:" + out});
  std::string messages;
  const int rc = Run(argv, {}, &messages);
  std::ifstream f(out, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::filesystem::remove(out);
  if (rc != 0 || data.size() < 1000 || data.compare(0, 2, "BM") != 0) {
    std::string cmd;
    for (const auto& a : argv) cmd += a + " ";
    throw std::runtime_error("ImageMagick failed (exit " + std::to_string(rc) + "): " + cmd + messages);
  }
  return data;
}

std::string DrawnBmp(int width, int height, unsigned seed, int noise) {
  std::mt19937 rng(seed);
  const int row = (width * 3 + 3) & ~3;
  std::string s = "BM";
  PutLE(s, static_cast<std::uint32_t>(54 + row * height), 4);
  PutLE(s, 0, 4);
  PutLE(s, 54, 4);
  PutLE(s, 40, 4);
  PutLE(s, static_cast<std::uint32_t>(width), 4);
  PutLE(s, static_cast<std::uint32_t>(height), 4);
  PutLE(s, 1, 2);
  PutLE(s, 24, 2);
  PutLE(s, 0, 4);
  PutLE(s, static_cast<std::uint32_t>(row * height), 4);
  PutLE(s, 2835, 4);
  PutLE(s, 2835, 4);
  PutLE(s, 0, 8);
  const int base[3] = {static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), static_cast<int>(rng() % 256)};
  const int cx = width / 2 + static_cast<int>(rng() % 9) - 4, cy = height / 2, r = std::min(width, height) / 3;
  const int bar = 4 + static_cast<int>(rng() % 12);
  for (int y = 0; y < height; ++y) {
    std::string line;
    for (int x = 0; x < width; ++x) {
      const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
      const bool border = x < 2 || y < 2 || x >= width - 2 || y >= height - 2 || (y / bar) % 5 == 0;
      const int n = noise ? static_cast<int>(rng() % static_cast<unsigned>(2 * noise + 1)) - noise : 0;
      for (int c = 0; c < 3; ++c) {
        const int v = border ? base[c] / 3 : disc ? 255 - base[c] : base[c] + (x * 64 / width) - (y * 64 / height);
        line += static_cast<char>(std::clamp(v + n, 0, 255));
      }
    }
    line.resize(static_cast<std::size_t>(row), '\0');
    s += line;
  }
  return s;
}

std::string EffectWav(int milliseconds, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int samples = kRate * milliseconds / 1000;
  const double length = samples / static_cast<double>(kRate);
  const double lead = 0.05 + (rng() % 10) * 0.01;  // silence before the sound
  const int kind = static_cast<int>(rng() % 3);
  const double f0 = NoteFrequency(static_cast<int>(rng() % 24) - 12);
  const double hiss = (rng() % 2) ? 0.002 : 0.0;
  std::string s = WavHeader(static_cast<std::uint32_t>(samples * 2), 1);
  double low = 0;
  for (int i = 0; i < samples; ++i) {
    const double t = i / static_cast<double>(kRate) - lead;
    const double body = length - lead - 0.1;
    double v = 0;
    if (kind == 0) {  // a chime: three rising notes
      for (int k = 0; k < 3; ++k)
        v += Tone(f0 * (1 + 0.25 * k), t - k * body / 4) * Envelope(t - k * body / 4, body / 2);
      v *= 0.4;
    } else if (kind == 1) {  // a sweep
      v = std::sin(2 * kPi * f0 * t * (1 + t)) * Envelope(t, body) * 0.7;
    } else {  // a hit: filtered noise with a fast decay
      low += (unit(rng) - low) * 0.2;
      v = t >= 0 ? low * std::exp(-t * 12) * 1.5 : 0;
    }
    PutSample(s, v + hiss * unit(rng));
  }
  return s;
}

std::string MusicWav(int seconds, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  static const int scale[] = {0, 2, 4, 7, 9, 12, 14, 16};
  const int samples = kRate * seconds;
  const double beat = 0.25 + (rng() % 3) * 0.05;
  const int key = static_cast<int>(rng() % 7) - 3;
  const double tail = 0.5;  // silence at the end
  std::vector<int> melody(static_cast<std::size_t>(seconds / beat) + 2);
  for (int& m : melody) m = scale[rng() % 8] + key;
  std::string s = WavHeader(static_cast<std::uint32_t>(samples * 4), 2);
  for (int i = 0; i < samples; ++i) {
    const double t = i / static_cast<double>(kRate);
    double left = 0, right = 0;
    if (t < seconds - tail) {
      const auto n = static_cast<std::size_t>(t / beat);
      const double inNote = t - n * beat;
      const double mel = Tone(NoteFrequency(melody[n]), t) * Envelope(inNote, beat);
      const auto bn = static_cast<std::size_t>(t / (beat * 4));
      const double bass =
          Tone(NoteFrequency(melody[bn * 4 % melody.size()] - 24), t) * Envelope(t - bn * beat * 4, beat * 4);
      const double hat = (inNote < 0.02) ? unit(rng) * 0.15 * (1 - inNote / 0.02) : 0;
      left = 0.45 * mel + 0.35 * bass + hat + 0.0003 * unit(rng);
      right = 0.30 * mel + 0.40 * bass + 0.7 * hat + 0.0003 * unit(rng);
    }
    PutSample(s, left);
    PutSample(s, right);
  }
  return s;
}

}  // namespace lhabench

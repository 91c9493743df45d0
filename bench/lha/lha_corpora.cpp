#include "lha_corpora.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

#include "bench_run.h"
#include "corpus_media.h"
#include "corpus_sjis.h"

namespace fs = std::filesystem;

namespace lhabench {

namespace {

constexpr std::uint64_t kMB = 1000000;

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string Megabytes(std::uint64_t bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f MB", bytes / 1e6);
  return buf;
}

// Plain text: no control characters other than tab, line ends, form feed
// and escape.
bool IsText(const std::string& data) {
  return std::none_of(data.begin(), data.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B;
  });
}

bool IsElf(const std::string& data) {
  return data.size() > 4 && data.compare(0, 4,
                                         "\x7f"
                                         "ELF") == 0;
}

bool IsPacked(const fs::path& p) {
  static const std::set<std::string> packed{".gz", ".bz2", ".xz", ".zst", ".lz", ".zip", ".png", ".gif", ".jpg"};
  return packed.count(p.extension().string()) > 0;
}

class Builder {
 public:
  explicit Builder(Corpus& c) : c_(c) {}

  void Add(std::string name, const std::string& data) {
    for (char& ch : name) {
      if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '.' && ch != '-' && ch != '_' && ch != '+') ch = '_';
    }
    std::string unique = name;
    for (int n = 2; !names_.insert(unique).second; ++n) unique = name + "~" + std::to_string(n);
    std::ofstream f(c_.dir + "/" + unique, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!f) throw std::runtime_error("cannot write " + c_.dir + "/" + unique);
    c_.files.push_back(unique);
    c_.bytes += data.size();
  }

  // Files below `roots` whose size lies in [minSize, maxSize] and whose
  // contents `accept` takes, in a fixed-seed shuffle of the sorted list,
  // until `budget` bytes; each named `prefix`_<path below its root>.
  // Fewer than 90 % of the budget found fails with the roots' names.
  void Pick(const std::string& what, const std::vector<std::string>& roots, const std::string& prefix,
            std::uint64_t budget, std::uint64_t minSize, std::uint64_t maxSize,
            const std::function<bool(const fs::path&, const std::string&)>& accept, unsigned seed) {
    std::vector<std::pair<fs::path, std::string>> candidates;  // path, name
    for (const auto& root : roots) {
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sec;
        if (!fs::is_regular_file(it->symlink_status(sec))) continue;
        const auto size = it->file_size(sec);
        if (sec || size < minSize || size > maxSize) continue;
        candidates.emplace_back(it->path(), prefix + "_" + fs::relative(it->path(), root).string());
      }
    }
    std::sort(candidates.begin(), candidates.end());
    std::mt19937 rng(seed);
    for (std::size_t i = candidates.size(); i > 1; --i) std::swap(candidates[i - 1], candidates[rng() % i]);
    std::vector<std::pair<std::string, std::string>> chosen;  // name, data
    std::uint64_t total = 0;
    for (const auto& [path, name] : candidates) {
      if (total >= budget) break;
      std::string data = Slurp(path);
      if (!accept(path, data)) continue;
      total += data.size();
      chosen.emplace_back(name, std::move(data));
    }
    std::string where;
    for (const auto& r : roots) {
      const std::string own = LM_SOURCE_DIR "/";
      where += (where.empty() ? "" : ", ") + (r.rfind(own, 0) == 0 ? r.substr(own.size()) : r);
    }
    if (total < budget * 9 / 10) {
      throw std::runtime_error("missing source: " + where + " holds only " + Megabytes(total) + " of " + what + " (" +
                               Megabytes(minSize) + " to " + Megabytes(maxSize) + " per file); the " + c_.key +
                               " corpus needs " + Megabytes(budget));
    }
    std::sort(chosen.begin(), chosen.end());
    for (const auto& [name, data] : chosen) Add(name, data);
    Note(what + " from " + where, chosen.size(), total);
  }

  void Note(const std::string& what, std::size_t files, std::uint64_t bytes) {
    c_.composition.push_back(what + ": " + std::to_string(files) + " files, " + Megabytes(bytes));
  }

 private:
  Corpus& c_;
  std::set<std::string> names_;
};

void BuildText(Corpus& c) {
  Builder b(c);
  auto text = [](const fs::path& p, const std::string& d) { return !IsPacked(p) && IsText(d); };
  b.Pick("C, C++ and Qt headers", {"/usr/include"}, "inc", 10 * kMB, 1000, 512000, text, 1);
  b.Pick("uncompressed documentation texts", {"/usr/share/doc"}, "doc", 6 * kMB, 1000, 1000000, text, 2);
  b.Pick("the project's sources",
         {LM_SOURCE_DIR "/src", LM_SOURCE_DIR "/tests", LM_SOURCE_DIR "/bench", LM_SOURCE_DIR "/fuzz",
          LM_SOURCE_DIR "/scripts"},
         "lm", 1200000, 200, 1000000, text, 3);
  const JapaneseText japanese;
  std::uint64_t bytes = 0;
  for (unsigned i = 0; i < 40; ++i) {
    const std::string prose = japanese.Prose(20000 + (i * 7919u) % 130000, 100 + i);
    bytes += prose.size();
    b.Add("sjis_prose_" + std::to_string(100 + i) + ".txt", prose);
  }
  b.Note("Shift-JIS prose (Markov chain over the project's Japanese texts)", 40, bytes);
}

void BuildPackage(Corpus& c) {
  if (!HaveProgram("convert")) throw std::runtime_error("missing tool: convert (ImageMagick, package imagemagick)");
  Builder b(c);
  const JapaneseText japanese;
  std::uint64_t bytes = 0;
  for (unsigned i = 0; i < 420; ++i) {
    const std::string script = japanese.Script(2000 + (i * 104729u) % 18000, 1000 + i, 8, 60);
    bytes += script.size();
    b.Add("scenario_" + std::to_string(1000 + i) + ".txt", script);
  }
  b.Note("Shift-JIS scripts (labels, commands, dialogue)", 420, bytes);

  const std::string scratch = c.dir + "/.scratch";
  fs::create_directories(scratch);
  auto two = [](unsigned n) { return std::string(1, static_cast<char>('0' + n / 10)) + char('0' + n % 10); };
  // Backgrounds 640x480: photographs scaled up, textures, fractals.
  const std::vector<std::vector<std::string>> backgrounds{{"rose:", "-resize", "640x480!"},
                                                          {"-seed", "11", "-size", "640x480", "plasma:fractal"},
                                                          {"wizard:", "-resize", "640x480!"},
                                                          {"-size", "640x480", "tile:granite:"},
                                                          {"-seed", "12", "-size", "640x480", "plasma:#305080-#c0a060"},
                                                          {"logo:", "-resize", "640x480!"},
                                                          {"-size", "640x480", "gradient:#1a2a5a-#e09050"},
                                                          {"netscape:", "-resize", "640x480!"}};
  bytes = 0;
  for (unsigned i = 0; i < backgrounds.size(); ++i) {
    const std::string bmp = MagickBmp(backgrounds[i], scratch);
    bytes += bmp.size();
    b.Add("bg_" + two(i) + ".bmp", bmp);
  }
  b.Note("640x480 backgrounds from ImageMagick's built-in pictures", backgrounds.size(), bytes);
  // Character pictures 240x320: figures on plain backgrounds.
  bytes = 0;
  const char* figures[] = {"wizard:", "logo:", "rose:"};
  for (unsigned i = 0; i < 24; ++i) {
    const std::string bmp =
        i % 4 == 3 ? DrawnBmp(240, 320, 200 + i, 3)
                   : MagickBmp({figures[i % 4 % 3], "-gravity", "center", "-crop",
                                std::to_string(60 + i * 2) + "%x90%+0+0", "+repage", "-resize", "240x320!"},
                               scratch);
    bytes += bmp.size();
    b.Add("ch_" + two(i) + ".bmp", bmp);
  }
  b.Note("240x320 character pictures (ImageMagick, some drawn)", 24, bytes);
  // Buttons and icons: flat colours.
  bytes = 0;
  for (unsigned i = 0; i < 64; ++i) {
    const std::string bmp = i % 2 ? DrawnBmp(120, 40, 300 + i, 0) : DrawnBmp(48, 48, 300 + i, i % 8 == 0 ? 2 : 0);
    bytes += bmp.size();
    b.Add("ui_" + two(i) + ".bmp", bmp);
  }
  b.Note("buttons and icons in flat colours (drawn)", 64, bytes);
  fs::remove_all(scratch);

  bytes = 0;
  for (unsigned i = 0; i < 60; ++i) {
    const std::string wav = EffectWav(300 + static_cast<int>((i * 7907u) % 1700), 400 + i);
    bytes += wav.size();
    b.Add("se_" + two(i) + ".wav", wav);
  }
  b.Note("sound effects, mono 22,050 Hz 16-bit (synthesised)", 60, bytes);
  bytes = 0;
  for (unsigned i = 0; i < 4; ++i) {
    const std::string wav = MusicWav(8, 500 + i);
    bytes += wav.size();
    b.Add("bgm_" + two(i) + ".wav", wav);
  }
  b.Note("music, stereo 22,050 Hz 16-bit (synthesised)", 4, bytes);
}

void BuildBinaries(Corpus& c) {
  Builder b(c);
  auto elf = [](const fs::path&, const std::string& d) { return IsElf(d); };
  b.Pick("shared libraries (ELF)", {"/usr/lib/x86_64-linux-gnu"}, "lib", 14 * kMB, 4000, 1000000, elf, 4);
  b.Pick("executables (ELF)", {"/usr/bin"}, "bin", 10 * kMB, 4000, 1000000, elf, 5);
}

std::string ManifestPath(const std::string& root, const std::string& key) { return root + "/" + key + ".manifest"; }

// The first line of a manifest; a corpus kept by a run whose corpus was
// made differently is built anew. Raise it when the corpora change.
const char kManifestVersion[] = "lha-bench corpus 1";

// The corpus as its manifest lists it, when every file is there with its
// size; false otherwise.
bool LoadManifest(const std::string& root, Corpus& c) {
  std::ifstream f(ManifestPath(root, c.key));
  if (!f) return false;
  std::string line;
  if (!std::getline(f, line) || line != kManifestVersion) return false;
  while (std::getline(f, line)) {
    if (line.rfind("# ", 0) == 0) {
      c.composition.push_back(line.substr(2));
      continue;
    }
    std::istringstream in(line);
    std::uint64_t size = 0;
    std::string name;
    if (!(in >> size) || !(in >> name)) return false;
    std::error_code ec;
    if (fs::file_size(c.dir + "/" + name, ec) != size || ec) return false;
    c.files.push_back(name);
    c.bytes += size;
  }
  return !c.files.empty();
}

void SaveManifest(const std::string& root, const Corpus& c) {
  std::ofstream f(ManifestPath(root, c.key), std::ios::trunc);
  f << kManifestVersion << "\n";
  for (const auto& line : c.composition) f << "# " << line << "\n";
  for (const auto& name : c.files) f << fs::file_size(c.dir + "/" + name) << " " << name << "\n";
}

}  // namespace

const std::vector<std::string>& CorpusKeys() {
  static const std::vector<std::string> keys{"text", "package", "binaries"};
  return keys;
}

std::string CorpusPart(const std::string& fileName) {
  static const std::map<std::string, std::string> parts{
      {"inc", "headers"},      {"doc", "documentation"}, {"lm", "project sources"}, {"sjis", "Shift-JIS prose"},
      {"scenario", "scripts"}, {"bg", "backgrounds"},    {"ch", "characters"},      {"ui", "buttons, icons"},
      {"se", "sound effects"}, {"bgm", "music"},         {"lib", "libraries"},      {"bin", "executables"}};
  const auto it = parts.find(fileName.substr(0, fileName.find('_')));
  return it == parts.end() ? "other" : it->second;
}

Corpus LoadOrBuildCorpus(const std::string& root, const std::string& key) {
  Corpus c;
  c.key = key;
  c.dir = root + "/" + key;
  c.title = key == "text"      ? "text (headers, documentation, sources, Shift-JIS prose)"
            : key == "package" ? "script package (Shift-JIS scripts, 24-bit BMPs, 16-bit WAVs)"
                               : "binaries (shared libraries, executables)";
  if (LoadManifest(root, c)) {
    std::sort(c.files.begin(), c.files.end());
    return c;
  }
  c.files.clear();
  c.composition.clear();
  c.bytes = 0;
  fs::remove(ManifestPath(root, key));
  fs::remove_all(c.dir);
  fs::create_directories(c.dir);
  if (key == "text") {
    BuildText(c);
  } else if (key == "package") {
    BuildPackage(c);
  } else if (key == "binaries") {
    BuildBinaries(c);
  } else {
    throw std::runtime_error("no corpus named " + key + " (text, package, binaries)");
  }
  std::sort(c.files.begin(), c.files.end());
  SaveManifest(root, c);
  return c;
}

}  // namespace lhabench

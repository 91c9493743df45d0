// Writes the case folding table of src/util/pathfind/case_fold_table.inc from
// Qt's own folding, so that the Qt-free name comparison folds exactly as
// QString::compare(..., Qt::CaseInsensitive) does. Run it after a Qt upgrade:
//   g++ -std=c++20 -fPIC scripts/case_fold_table.cpp $(pkg-config --cflags --libs Qt6Core) -o /tmp/fold
//   /tmp/fold   (and paste its output below the table's header comment)
// test_util checks every code point against Qt, so a stale table shows.
#include <QChar>

#include <cstdio>
#include <vector>

struct Run {
  unsigned first, last;
  int delta;
  unsigned stride;
};

static int Delta(unsigned c) { return int(QChar::toCaseFolded(char32_t(c))) - int(c); }

int main() {
  std::vector<unsigned> cps;
  for (unsigned c = 0; c <= 0x10FFFF; ++c) {
    if (QChar::toCaseFolded(char32_t(c)) != c) cps.push_back(c);
  }
  std::vector<Run> runs;
  for (size_t i = 0; i < cps.size();) {
    const unsigned c = cps[i];
    Run r{c, c, Delta(c), 1};
    size_t j = i + 1;
    if (j < cps.size() && Delta(cps[j]) == r.delta && cps[j] - c <= 2) {
      r.stride = cps[j] - c;
      while (j < cps.size() && cps[j] == r.last + r.stride && Delta(cps[j]) == r.delta) r.last = cps[j++];
    }
    runs.push_back(r);
    i = j;
  }
  std::printf("// %zu folded code points in %zu runs\n", cps.size(), runs.size());
  for (const Run& r : runs) std::printf("    {0x%04X, 0x%04X, %d, %u},\n", r.first, r.last, r.delta, r.stride);
}

#include "self_archive.h"

#include <windows.h>

#include <functional>

#include "archive/common/result_codes.h"
#include "archive/lha/lha_walk.h"
#include "win_text.h"

namespace sfxw {
namespace {

// How far into a file without our trailer the archive is looked for (a
// self-extracting file that was cut short loses its trailer).
constexpr uint64_t kScanLimit = uint64_t{1} << 20;

}  // namespace

SelfArchive::~SelfArchive() {
  if (f_) std::fclose(f_);
}

bool SelfArchive::Open() {
  listError_ = ARC_ERROR_ARC_FILE_OPEN;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return false;
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  exePath_ = path;
  const std::size_t slash = path.find_last_of(L"\\/");
  exeDir_ = slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
  f_ = _wfopen(path.c_str(), L"rb");
  if (!f_) return false;
  if (_fseeki64(f_, 0, SEEK_END) != 0) return false;
  size_ = static_cast<uint64_t>(_ftelli64(f_));
  const lha::FileSource src(f_);
  uint64_t start = 0, end = size_;
  lha::LocateArchive(src, size_, start, end);
  std::vector<lha::Member> list;
  listError_ = 0;
  if (start != 0) {
    listError_ = lha::ReadMembers(src, start, end, list);
  } else {
    // No trailer: look for the first header after the stub's own headers,
    // as other readers of self-extracting files do.
    std::vector<uint8_t> head(static_cast<std::size_t>(size_ < kScanLimit ? size_ : kScanLimit));
    const std::size_t got = src.ReadSome(0, head.data(), head.size());
    // The stub holds no method name, so a header that fails to read there
    // is the archive's own first one, damaged or cut short.
    listError_ = ARC_ERROR_FILE_STYLE;
    for (std::size_t at = 0x40; at + 7 <= got; ++at) {
      if (head[at + 2] != '-' || head[at + 3] != 'l' || head[at + 6] != '-') continue;
      std::vector<lha::Member> found;
      const int rc = lha::ReadMembers(src, at, size_, found);
      if (found.empty()) {
        if (rc != ARC_ERROR_FILE_STYLE && listError_ == ARC_ERROR_FILE_STYLE) listError_ = rc;
        continue;
      }
      list.swap(found);
      listError_ = rc;
      break;
    }
    if (list.empty() && listError_ == ARC_ERROR_FILE_STYLE) return false;
  }
  for (lha::Member& m : list) {
    SelfMember sm;
    sm.name = WidenStored(m.name);
    sm.m = m;
    members_.push_back(std::move(sm));
  }
  ReadOptions();
  if (members_.empty() && listError_ == 0) listError_ = ARC_ERROR_FILE_STYLE;
  return !members_.empty();
}

int SelfArchive::Decode(const lha::Member& m, const lha::ByteSink& sink) const {
  return lha::DecodeMember(lha::FileSource(f_), m, sink);
}

void SelfArchive::ReadOptions() {
  for (const SelfMember& sm : members_) {
    if (sm.name != L"$" || sm.m.IsDirectory()) continue;
    std::string bytes;
    const int rc = Decode(sm.m, [&](const uint8_t* d, std::size_t n) {
      bytes.append(reinterpret_cast<const char*>(d), n);
      return bytes.size() < 65536;
    });
    if (rc != 0) {
      optionsBroken_ = true;
      return;
    }
    const sfx::Options o = sfx::ParseOptionLines(Narrow(WidenStored(bytes), CP_UTF8));
    windowTitle_ = Widen(o.windowTitle, CP_UTF8);
    installDir_ = Widen(o.installDir, CP_UTF8);
    installTitle_ = Widen(o.installTitle, CP_UTF8);
    command_ = Widen(o.command, CP_UTF8);
  }
}

}  // namespace sfxw

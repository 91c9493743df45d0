#include "archive/lha/lha_prepack.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "archive/common/result_codes.h"
#include "archive/lha/crc16.h"
#include "archive/lha/lha_source_file.h"
#include "archive/lha/lzh_codec.h"

namespace lha {

MemberPrepacker::MemberPrepacker(const std::vector<NewMember>& added, std::vector<std::size_t> order,
                                 const WriteOptions& options, int threads)
    : added_(added),
      order_(std::move(order)),
      options_(options),
      results_(order_.size()),
      done_(order_.size(), false) {
  for (int i = 0; i < threads && static_cast<std::size_t>(i) < order_.size(); ++i) {
    try {
      workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones started do the work, or the writer alone
    }
  }
}

MemberPrepacker::~MemberPrepacker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  for (std::thread& t : workers_) t.join();
}

int MemberPrepacker::DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

MemberPrepacker::Ahead MemberPrepacker::Held() {
  std::lock_guard<std::mutex> lock(mutex_);
  return Ahead{next_ - taken_, held_};
}

void MemberPrepacker::Work() {
  // One encoder for all the files this worker packs: its tables are set up
  // for the first and kept.
  LzhEncoder encoder;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    room_.wait(lock, [&] {
      return stop_ || next_ >= order_.size() || next_ == taken_ ||
             (next_ - taken_ < kAheadMembers && held_ < kHeldBytes);
    });
    if (stop_ || next_ >= order_.size()) return;
    const std::size_t job = next_++;
    lock.unlock();
    PrepackedMember result;
    try {
      result = Pack(added_[order_[job]], encoder);
    } catch (...) {
      // Out of memory here: the writer packs the file itself and reports
      // what goes wrong there.
      result = PrepackedMember();
    }
    lock.lock();
    held_ += result.data.size();
    results_[job] = std::move(result);
    done_[job] = true;
    if (job == taken_) finished_.notify_one();
  }
}

const PrepackedMember* MemberPrepacker::Take(std::size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The writer is done with the one before: its room may let a worker
  // start, and its memory is freed outside the lock.
  PrepackedMember written;
  if (taken_ > 0) {
    written = std::move(results_[taken_ - 1]);
    results_[taken_ - 1] = PrepackedMember();
    held_ -= written.data.size();
  }
  lock.unlock();
  room_.notify_all();
  written = PrepackedMember();
  lock.lock();
  if (taken_ >= order_.size() || order_[taken_] != index || workers_.empty()) return nullptr;
  const std::size_t job = taken_;
  finished_.wait(lock, [&] { return done_[job]; });
  // The job after it may now start whatever the results held.
  ++taken_;
  lock.unlock();
  room_.notify_all();
  return results_[job].packedAhead ? &results_[job] : nullptr;
}

// Reads the whole file and packs it as the writer would: the packed data,
// or the file itself when packing does not make it smaller.
PrepackedMember MemberPrepacker::Pack(const NewMember& member, LzhEncoder& encoder) const {
  PrepackedMember r;
  int openRc = 0;
  const int fd = OpenSource(member.sourcePath, r.st, openRc);
  if (fd < 0) {
    r.packedAhead = true;
    r.rc = openRc;
    return r;
  }
  FdCloser closer{fd};
  const uint64_t size = static_cast<uint64_t>(r.st.st_size);
  if (size > kMaxSize) return r;  // streamed by the writer
  r.packedAhead = true;
  std::vector<uint8_t> raw(static_cast<std::size_t>(size));
  std::size_t have = 0;
  bool failed = false;
  while (have < raw.size()) {
    const std::size_t got = ReadSome(fd, raw.data() + have, raw.size() - have, failed);
    if (got == 0) break;
    have += got;
  }
  // A read error, or a file that shrank while read.
  if (failed || have != raw.size()) {
    r.rc = ARC_ERROR_FILE_OPEN;
    return r;
  }
  r.crc = Crc16(raw.data(), raw.size());
  std::vector<uint8_t> packed;
  bool fits = false;
  if (size > 0) {
    const ByteSource source = MemorySource{raw.data(), raw.size()};
    const ByteSink sink = [&](const uint8_t* d, std::size_t n) {
      if (packed.size() + n >= size) return false;
      packed.insert(packed.end(), d, d + n);
      return true;
    };
    EncoderOptions eo;
    eo.dictionaryBits = options_.dictionaryBits;
    eo.parse = options_.parse;
    fits = encoder.Encode(source, size, eo, sink);
  }
  if (fits) {
    r.data = std::move(packed);
  } else {
    r.stored = true;
    r.data = std::move(raw);
  }
  return r;
}

}  // namespace lha

// Packs the files of an archive ahead of the writer on worker threads, so
// that an archive of many files is written in a fraction of the time on a
// machine with several cores. The writer still takes the members in order
// and writes them exactly as it would have packed them itself; a file too
// large to hold in memory is left to the writer, which streams it while
// the workers go on with the files after it.
//
// How far the workers run ahead is bounded by the bytes of results held
// for the writer, not by a small count of members: a slow member (a large
// file) then keeps one worker busy while the others pack the small files
// after it, instead of stopping them a few members later.
#pragma once

#include <sys/stat.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/lha/lha_archive.h"
#include "archive/lha/lzh_codec.h"

namespace lha {

struct PrepackedMember {
  bool packedAhead = false;  // false: the writer packs the file itself
  int rc = 0;                // a result code when the file could not be read
  struct stat st {};
  bool stored = false;       // data is the file itself (packing did not pay)
  uint16_t crc = 0;
  std::vector<uint8_t> data;
};

class MemberPrepacker {
 public:
  // Files up to this size are packed ahead.
  static constexpr uint64_t kMaxSize = uint64_t{2} << 20;
  // Packed data held for the writer, at most: a worker starts a further
  // file only while the results waiting to be written stay below this
  // (the file the writer waits for is always started).
  static constexpr std::size_t kHeldBytes = std::size_t{8} << 20;
  // Members packed ahead of the writer, at most, whatever their size.
  static constexpr std::size_t kAheadMembers = 512;

  // `order`: the indices into `added` of the files, in the order the
  // writer takes them. `threads` workers (none when below 1).
  MemberPrepacker(const std::vector<NewMember>& added, std::vector<std::size_t> order, const WriteOptions& options,
                  int threads);
  ~MemberPrepacker();
  MemberPrepacker(const MemberPrepacker&) = delete;
  MemberPrepacker& operator=(const MemberPrepacker&) = delete;

  // The next file in order (`index` into `added`) once packed, or null when
  // the writer packs it itself (too large, or no workers). The result stays
  // valid until the next call.
  const PrepackedMember* Take(std::size_t index);

  // How many workers to use on this machine: one per core, at most four.
  static int DefaultThreads();

  // The files started ahead of the writer (packed or being packed, not yet
  // taken) and the bytes of packed data waiting for it: what the bounds
  // above limit, for the tests.
  struct Ahead {
    std::size_t members = 0;
    std::size_t bytes = 0;
  };
  Ahead Held();

 private:
  void Work();
  PrepackedMember Pack(const NewMember& member, LzhEncoder& encoder) const;

  const std::vector<NewMember>& added_;
  const std::vector<std::size_t> order_;
  const WriteOptions options_;
  std::vector<PrepackedMember> results_;
  std::vector<bool> done_;
  std::size_t next_ = 0;   // the next job a worker starts
  std::size_t taken_ = 0;  // jobs the writer has taken
  std::size_t held_ = 0;   // bytes of the results done and not yet written
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable room_;      // workers: a job may start (or stop)
  std::condition_variable finished_;  // the writer: the job it waits for is done
  std::vector<std::thread> workers_;
};

}  // namespace lha

// The archive that follows the stub in this very program file: its
// members and the options of the file "$".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/lha/lha_header.h"
#include "archive/lha/lzh_codec.h"
#include "archive/sfx/sfx_options.h"

namespace sfxw {

struct SelfMember {
  lha::Member m;
  std::wstring name;  // stored name in UTF-16 ("\" between levels)
};

class SelfArchive {
 public:
  SelfArchive() = default;
  SelfArchive(const SelfArchive&) = delete;
  SelfArchive& operator=(const SelfArchive&) = delete;
  ~SelfArchive();

  // Opens the program file and reads the member list. False when the file
  // cannot be read or no member can be read from it (`listError()` says
  // why). A list cut short by damage or a truncated file is kept with
  // `listError()` set.
  bool Open();

  const std::wstring& exePath() const { return exePath_; }
  const std::wstring& exeDir() const { return exeDir_; }
  const std::vector<SelfMember>& members() const { return members_; }
  int listError() const { return listError_; }
  // Options in UTF-16 (empty when "$" is missing); `optionsBroken` when
  // "$" is there but cannot be read.
  const std::wstring& windowTitle() const { return windowTitle_; }
  const std::wstring& installDir() const { return installDir_; }
  const std::wstring& installTitle() const { return installTitle_; }
  const std::wstring& command() const { return command_; }
  bool optionsBroken() const { return optionsBroken_; }

  // Decodes a member into `sink`, CRC checked; 0 or a result code.
  int Decode(const lha::Member& m, const lha::ByteSink& sink) const;

 private:
  void ReadOptions();

  std::FILE* f_ = nullptr;
  uint64_t size_ = 0;
  std::wstring exePath_, exeDir_;
  std::vector<SelfMember> members_;
  int listError_ = 0;
  std::wstring windowTitle_, installDir_, installTitle_, command_;
  bool optionsBroken_ = false;
};

}  // namespace sfxw

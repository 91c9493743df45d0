// Names from an archive reach the library's report and the terminal of the
// self-extractor only escaped: a CR LF in a name cannot forge a line, an ESC
// cannot act on the terminal.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "lha_craft.h"
#include "lha_test_support.h"
#include "sfx_restub.h"

namespace {

using namespace lhatest;

// Hostile names: a forged report line, a terminal escape, a C1 control.
std::vector<CraftMember> HostileMembers() {
  return {{"b.txt\r\nextracted forged.txt", "1"}, {"clear\x1B[2J.txt", "2"}, {"plain.txt", "3"}};
}

// The control characters of `text` other than the line ends it is allowed.
std::string ControlsIn(const std::string& text, bool crlfLines) {
  std::string found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool lineEnd = crlfLines ? (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ||
                                         (c == '\n' && i > 0 && text[i - 1] == '\r')
                                   : c == '\n';
    if ((c < 0x20 || c == 0x7F) && !lineEnd) found += std::to_string(c) + " ";
  }
  return found;
}

std::vector<std::string> LinesOf(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t start = 0, at;
  while ((at = text.find(end, start)) != std::string::npos) {
    lines.push_back(text.substr(start, at - start));
    start = at + end.size();
  }
  return lines;
}

TEST(LhaDisplay, ReportsOfListTestAndExtractEscapeControlCharactersInNames) {
  TempDir t;
  WriteFile(t.Path("h.lzh"), CraftArchive(HostileMembers()));
  struct Case {
    std::string command;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"l " + t.Path("h.lzh"),
       {"-lh0- 1 1 b.txt\\x0D\\x0Aextracted forged.txt", "-lh0- 1 1 clear\\x1B[2J.txt", "-lh0- 1 1 plain.txt"}},
      {"t " + t.Path("h.lzh"),
       {"-lh0- 1 1 b.txt\\x0D\\x0Aextracted forged.txt OK", "-lh0- 1 1 clear\\x1B[2J.txt OK",
        "-lh0- 1 1 plain.txt OK"}},
      {"x " + t.Path("h.lzh") + " " + t.Path("out") + "/",
       {"extracted b.txt\\x0D\\x0Aextracted forged.txt", "extracted clear\\x1B[2J.txt", "extracted plain.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const CommandResult r = RunCmd(c.command);
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(ControlsIn(r.output, true), "") << r.output;
    EXPECT_EQ(LinesOf(r.output, "\r\n"), c.lines) << r.output;
  }
  // The names themselves are extracted as stored.
  EXPECT_EQ(ReadFile(t.Path("out/b.txt\r\nextracted forged.txt")), "1");
  EXPECT_EQ(ReadFile(t.Path("out/clear\x1B[2J.txt")), "2");
}

TEST(LhaDisplay, SelfExtractorWritesNoControlCharacterToTheTerminal) {
  TempDir t;
  std::vector<CraftMember> members = HostileMembers();
  std::string options;
  for (const char* line : {"$WindowTitle=\x1B[2J\x1B]0;owned\x07Title", "$InstallTitle=Dir\rX(&D)"}) {
    options += std::string(line) + "\r\n";
  }
  members.push_back({"$", options});
  fs::create_directories(t.Path("dist"));
  WriteFile(t.Path("dist/h.lzh"), CraftArchive(members));
  ASSERT_EQ(RunCmd("s " + t.Path("dist/h") + " " + t.Path("dist") + "/").code, 0);
  // The .exe carries the Windows stub; the terminal stub runs the same archive.
  const std::string native = Restub(ReadFile(t.Path("dist/h.exe")), ReadFile(BinDir() + "/lfsfx"));
  ASSERT_FALSE(native.empty());
  WriteFile(t.Path("dist/h"), native);
  ASSERT_EQ(::chmod(t.Path("dist/h").c_str(), 0755), 0);
  const std::string exe = Quote(t.Path("dist/h"));

  // Unattended, then asked on the terminal with a typed answer holding an ESC.
  const ToolResult unattended = Shell(exe + " --dir " + Quote(t.Path("inst")) + " --yes --no-open");
  EXPECT_EQ(unattended.exitCode, 0) << unattended.out;
  const ToolResult asked = Shell("printf '%s\\n' " + Quote(t.Path("typed\x1B[1m")) + " | " + exe + " --no-open");
  EXPECT_EQ(asked.exitCode, 0) << asked.out;
  for (const ToolResult* r : {&unattended, &asked}) {
    EXPECT_EQ(ControlsIn(r->out, false), "") << r->out;
    EXPECT_NE(r->out.find("\\x1B[2J\\x1B]0;owned\\x07Title\n"), std::string::npos) << r->out;
    EXPECT_NE(r->out.find("extracted b.txt\\x0D\\x0Aextracted forged.txt\n"), std::string::npos) << r->out;
  }
  EXPECT_NE(asked.out.find("Dir\\x0DX: "), std::string::npos) << asked.out;
  EXPECT_NE(asked.out.find("typed\\x1B[1m/"), std::string::npos) << asked.out;
  EXPECT_EQ(ReadFile(t.Path("typed\x1B[1m/plain.txt")), "3");
}

}  // namespace

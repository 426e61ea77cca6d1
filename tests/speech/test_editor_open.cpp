// Opening links and files: which program gets which argument, never through a shell; F12 in the editor.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "console/keyboard.h"
#include "speech/line_editor.h"
#include "test_reader_support.h"

namespace falatro::testing {
namespace {

namespace fs = std::filesystem;

class OpenTest : public ReaderEditorFixture {
 protected:
  void SetUp() override {
    ReaderEditorFixture::SetUp();
    saved_cwd_ = fs::current_path();
    work_ = dir_ + "/work";
    fs::create_directories(work_);
    fs::current_path(work_);
    record_ = dir_ + "/args.txt";
    // The stand-in program writes each argument it was given on a line of its own.
    Script(dir_ + "/abrir", "");
  }
  void TearDown() override {
    fs::current_path(saved_cwd_);
    ReaderEditorFixture::TearDown();
  }
  void Script(const std::string& path, const std::string& tag) {
    std::ofstream out(path);
    out << "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record_ << "'\n"
        << (tag.empty() ? "" : "echo " + tag + " >> '" + record_ + "'\n");
    out.close();
    chmod(path.c_str(), 0755);
  }
  void Ini(const std::string& narrix) {
    std::ofstream out(dir_ + "/win/NARRIX.INI");
    out << "[NARRIX]\r\n" << narrix;
  }
  // The arguments the last started program was given (after it ended), program first.
  std::vector<std::string> Recorded() {
    std::vector<std::string> lines;
    if (Editor.LastLaunchPid > 0) waitpid(Editor.LastLaunchPid, nullptr, 0);
    std::ifstream in(record_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    fs::remove(record_);
    return lines;
  }
  fs::path saved_cwd_;
  std::string work_, record_;
};

TEST_F(OpenTest, ProgramsAndArguments) {
  const std::string prog = dir_ + "/abrir";
  Ini("PROG.HTM=" + prog + "\r\nPROG.TXT=" + prog + "\r\n");
  Editor.DefaultOpener = dir_ + "/padrao";
  Script(dir_ + "/padrao", "padrao");
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> recorded;
  } cases[] = {
      {"a link goes to PROG.HTM as it is", "http://x.org/a?b=$(id)&c", {prog, "http://x.org/a?b=$(id)&c"}},
      {"https and www. are links too", "WWW.x.org", {prog, "WWW.x.org"}},
      {"shell marks stay one argument", "notas.txt;touch pwned", {prog, "notas.txt;touch pwned"}},
      {"the extension is the three characters after the first dot", "a.txtb c", {prog, "a.txtb c"}},
      {"no program for the extension: the default opener", "foto.jpg", {dir_ + "/padrao", "foto.jpg", "padrao"}},
      {"a name that looks like an option is made a path", "-rf.doc", {dir_ + "/padrao", "./-rf.doc", "padrao"}},
      {"a drive path is mapped", "c:\\docs\\a.pdf", {dir_ + "/padrao", dir_ + "/root/docs/a.pdf", "padrao"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(OpenLinkOrFile(c.text));
    EXPECT_EQ(Recorded(), c.recorded);
  }
  EXPECT_FALSE(fs::exists(work_ + "/pwned"));
}

TEST_F(OpenTest, LinksWithoutAProgramGoToTheDefaultOpener) {
  Ini("");
  Editor.DefaultOpener = dir_ + "/abrir";
  EXPECT_TRUE(OpenLinkOrFile("www.site.com.br"));
  EXPECT_EQ(Recorded(), (std::vector<std::string>{dir_ + "/abrir", "http://www.site.com.br"}));
  EXPECT_TRUE(OpenLinkOrFile("https://site"));
  EXPECT_EQ(Recorded(), (std::vector<std::string>{dir_ + "/abrir", "https://site"}));
}

TEST_F(OpenTest, ProgramsAreRunOnlyWhenExecutable) {
  Ini("");
  Script(work_ + "/jogo.exe", "");
  EXPECT_TRUE(OpenLinkOrFile("jogo.exe"));
  EXPECT_EQ(Recorded(), std::vector<std::string>{work_ + "/jogo.exe"});
  std::ofstream(work_ + "/texto.com") << "not a program";
  EXPECT_FALSE(OpenLinkOrFile("texto.com"));
  EXPECT_FALSE(OpenLinkOrFile("falta.exe"));
  fs::create_directories(work_ + "/pasta.exe");
  EXPECT_FALSE(OpenLinkOrFile("pasta.exe"));
  EXPECT_EQ(Editor.LastLaunchPid, 0);
}

TEST_F(OpenTest, FailuresSayNothing) {
  Ini("PROG.TXT=" + dir_ + "/nao-existe\r\n");
  EXPECT_FALSE(OpenLinkOrFile("a.txt"));
  Editor.DefaultOpener = dir_ + "/nao-existe";
  EXPECT_FALSE(OpenLinkOrFile("a.png"));
  EXPECT_FALSE(OpenLinkOrFile(""));
  EXPECT_EQ(Heard(), "");
}

TEST_F(OpenTest, F12OpensTheWordUnderTheCursor) {
  Ini("PROG.HTM=" + dir_ + "/abrir\r\n");
  struct Case {
    const char* what;
    const char* field;
    std::vector<TestKey> moves;
    std::string opened;  // empty: a beep and nothing opened
  } cases[] = {
      {"marks around are trimmed", "veja <http://x.org/a>. sim", {Vk(VK_RIGHT, kModCtrl)}, "http://x.org/a"},
      {"on a blank the word before is taken", "ir www.a.com  fim", {Vk(VK_RIGHT, kModCtrl), Vk(VK_RIGHT, kModCtrl), Vk(VK_LEFT), Vk(VK_LEFT)}, "www.a.com"},
      {"only marks: nothing to open", "x (*-.<=>[_{\" y", {Vk(VK_RIGHT, kModCtrl)}, ""},
      {"a blank field: nothing to open", "", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<TestKey> keys = c.moves;
    keys.push_back(Vk(VK_F12));
    keys.push_back(Ch(13));
    std::string text = c.field;
    Heard();
    Editor.LastLaunchPid = 0;
    Type(keys);
    EditLineSpoken(text, 1, 5, 40, 40);
    EXPECT_EQ(text, c.field);
    if (c.opened.empty()) {
      EXPECT_EQ(Editor.LastLaunchPid, 0);
      const std::string heard = Heard();
      EXPECT_EQ(heard.substr(heard.size() - 4), "beep");
    } else {
      EXPECT_EQ(Recorded(), (std::vector<std::string>{dir_ + "/abrir", c.opened}));
    }
  }
}

}  // namespace
}  // namespace falatro::testing

// Tests of the client's settings file: the reading rules, where the file is found, and rewriting it.
#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "app_fixture.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"

namespace falatro {
namespace {

namespace fs = std::filesystem;

struct Values {
  std::string server, nick, password;
  bool operator==(const Values&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Values& v) {
  return o << "{" << v.server << "|" << v.nick << "|" << v.password << "}";
}
Values Current() { return {Client.ServerName, Client.Nickname, Client.Password}; }

TEST(SettingsLines, PrefixRules) {
  struct Case { const char* what; std::string text; Values expected; };
  const Case cases[] = {
      {"the written form", "[Falatro]\r\nServidor=irc.x\r\nNick=joao\r\nSenha=s3\r\n", {"irc.x", "joao", "s3"}},
      {"LF line ends", "Servidor=a\nNick=b\nSenha=c", {"a", "b", "c"}},
      {"names are case-sensitive", "servidor=a\r\nNICK=b\r\nsenha=c\r\n", {"", "", ""}},
      {"only the first four letters of Nick count", "Nickname=x\r\n", {"", "x", ""}},
      {"only the first eight of Servidor", "ServidorPrincipal=y\r\n", {"y", "", ""}},
      {"a value keeps everything after the first =", "Senha=a=b=c\r\n", {"", "", "a=b=c"}},
      {"a name line without = gives the whole line", "Nick\r\n", {"", "Nick", ""}},
      {"blanks and tabs around a value go", "Servidor = irc.x \r\nNick=\tana \r\nSenha= s 3\r\n",
       {"irc.x", "ana", "s 3"}},
      {"a leading blank hides the name", " Nick=ana\r\n", {"", "", ""}},
      {"a later line overrides", "Nick=a\r\nNick=b\r\n", {"", "b", ""}},
      {"empty values", "Servidor=\r\nNick=\r\nSenha=\r\n", {"", "", ""}},
      {"cp1252 bytes pass", "Senha=cora\xE7\xE3o\r\n", {"", "", "cora\xE7\xE3o"}},
      {"a CR inside a line stays", "Nick=a\rb\r\n", {"", "a\rb", ""}},
      {"empty file", "", {"", "", ""}},
  };
  for (const Case& c : cases) {
    ResetClientState();
    ApplySettingsText(c.text);
    EXPECT_EQ(Current(), c.expected) << c.what;
  }
  ResetClientState();
}

class SettingsFileTest : public apptest::AppFixture {
 protected:
  std::string Mapped(const std::string& rel) { return narrix_root_ + "/" + rel; }
  void Make(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, text);
  }
  static int Mode(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return st.st_mode & 0777;
  }
};

TEST_F(SettingsFileTest, WrittenWholeWithCrLfAndOwnerOnly) {
  Client.ServerName = "irc.exemplo";
  Client.Nickname = "joao";
  Client.Password = "segredo";
  const std::string path = Mapped("falatro.ini");
  Make(path, "velho conteudo muito mais longo do que o novo\r\n");
  chmod(path.c_str(), 0644);
  const mode_t old_mask = umask(0);
  std::string error;
  EXPECT_TRUE(WriteSettingsFile(path, &error)) << error;
  umask(old_mask);
  EXPECT_EQ(ReadFile(path), "[Falatro]\r\nServidor=irc.exemplo\r\nNick=joao\r\nSenha=segredo\r\n");
  EXPECT_EQ(Mode(path), 0600);
  EXPECT_FALSE(fs::exists(path + ".novo"));
}

TEST_F(SettingsFileTest, WriteFailures) {
  struct Case { const char* what; std::string path; };
  Make(Mapped("arquivo"), "x");
  fs::create_directories(Mapped("pasta.ini"));
  Make(Mapped("pasta.ini/dentro"), "x");
  const Case cases[] = {
      {"a folder on the way is a file", Mapped("arquivo/falatro.ini")},
      {"the path is a folder", Mapped("pasta.ini")},
      {"no path", ""},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(WriteSettingsFile(c.path, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_FALSE(fs::exists(c.path + ".novo")) << c.what;
  }
  EXPECT_TRUE(WriteSettingsFile(Mapped("nova/pasta/falatro.ini"))) << "missing folders are made";
}

TEST_F(SettingsFileTest, WhereTheFileIsFound) {
  struct Case {
    const char* what;
    std::string arqconf;              // "" leaves the key out
    std::vector<std::string> files;   // files made (relative to the root), each naming itself
    std::string expected;             // the path chosen, relative to the root
  };
  const Case cases[] = {
      {"default path", "", {"falatro.ini", "zanvel/falatro.ini"}, "falatro.ini"},
      {"fallback when the default is missing", "", {"zanvel/falatro.ini"}, "zanvel/falatro.ini"},
      {"the configured file", "c:\\conf\\meu.ini", {"conf/meu.ini", "falatro.ini"}, "conf/meu.ini"},
      {"a missing configured file falls back to the second path, not the default", "c:\\conf\\meu.ini",
       {"falatro.ini", "zanvel/falatro.ini"}, "zanvel/falatro.ini"},
      {"a leading backslash is the root too", "\\outro\\f.ini", {"outro/f.ini"}, "outro/f.ini"},
      {"the name is found without letter case", "", {"FALATRO.INI"}, "FALATRO.INI"},
  };
  for (const Case& c : cases) {
    fs::remove_all(narrix_root_);
    fs::create_directories(narrix_root_);
    WriteIni(c.arqconf.empty() ? "" : "[FALATRO]\r\nARQCONF=" + c.arqconf);
    for (const std::string& f : c.files) Make(Mapped(f), "Nick=" + f + "\r\n");
    ResetClientState();
    LoadClientSettings();
    EXPECT_EQ(Client.Nickname, c.expected) << c.what;
  }
}

TEST_F(SettingsFileTest, FirstRunAsksAndCreatesTheFallbackFile) {
  StartSpeech();
  ClrScr();
  InjectKeys("irc.exemplo\rjoao\rsegredo\r");
  LoadClientSettings();
  EXPECT_EQ(Current(), (Values{"irc.exemplo", "joao", "segredo"}));
  const std::string path = Mapped("zanvel/falatro.ini");
  EXPECT_EQ(Client.ConfigPath, path);
  EXPECT_EQ(ReadFile(path), "[Falatro]\r\nServidor=irc.exemplo\r\nNick=joao\r\nSenha=segredo\r\n");
  EXPECT_EQ(Mode(path), 0600);
  EXPECT_EQ(Row(1), "Falatro - Versao 1.4 Beta");
  EXPECT_EQ(Row(3), PromptText("FTCONFS"));
  EXPECT_EQ(Row(4), PromptText("FTSERV") + "irc.exemplo");
  EXPECT_EQ(Row(6), PromptText("FTSENHA") + "segredo") << "the password is shown as typed";
}

TEST_F(SettingsFileTest, EmptyAnswersWriteEmptyValues) {
  StartSpeech();
  Client.ConfigPath = Mapped("falatro.ini");
  Client.ServerName = "velho";
  Client.Nickname = "velho";
  Client.Password = "velho";
  InjectKeys("\r\r\r");
  ConfigureClient();
  EXPECT_EQ(Current(), (Values{"", "", ""}));
  EXPECT_EQ(ReadFile(Client.ConfigPath), "[Falatro]\r\nServidor=\r\nNick=\r\nSenha=\r\n");
}

TEST_F(SettingsFileTest, UncreatableFileKeepsTheValuesForThisRun) {
  StartSpeech();
  Make(Mapped("arquivo"), "x");
  Client.ConfigPath = Mapped("arquivo/falatro.ini");
  ClrScr();
  InjectKeys("s\rn\rp\r");
  ConfigureClient();
  EXPECT_EQ(Current(), (Values{"s", "n", "p"}));
  EXPECT_EQ(Row(5), PromptText("FTNAOC"));
}

}  // namespace
}  // namespace falatro

// Tests of the prompt catalogue: every text exactly, the fallback, and how SayPrompt writes and voices.
#include "app/prompt_catalogue.h"

#include <gtest/gtest.h>

#include <set>

#include "app_fixture.h"
#include "base/text_encoding.h"
#include "console/nxcrt.h"

namespace falatro {
namespace {

// The catalogue as a reader sees it (UTF-8 here); each cp1252 text must read back as this.
const std::pair<const char*, const char*> kExpected[] = {
    {"FTINIC", "Falatro - Versao "},
    {"FTOPCAO", "Qual sua opção? "},
    {"FTCONFS", "Configurações:"},
    {"FTNICK", "Qual o seu nick? "},
    {"FTSENHA", "Qual sua senha? "},
    {"FTEMAIL", "Qual seu e-mail? "},
    {"FTAPREG", "Apelido registrado"},
    {"FTSERV", "Qual o servidor? "},
    {"FTNAOC", "Não consegui criar o arquivo de configuração"},
    {"FTCANAL", "Qual o nome do canal?"},
    {"FTNUMIP", "Número IP desta conexão: "},
    {"FTQVELOC", "Qual a velocidade? De 1 a 5:"},
    {"FTCONECT", "Conectando..."},
    {"FTFIMC", "Saindo do canal."},
    {"FTFIM", "Confirma Fim?"},
    {"FTTCHAU", "Tchau!"},
    {"FTINICC", "Entrando no canal"},
    {"FTDIGAP", "Digite o apelido? "},
    {"FTDIGMSG", "Digite a mensagem: "},
    {"FTMSGENV", "Mensagem enviada."},
    {"FTNAOCON", "Você não está conectado a nenhum servidor"},
    {"FTPEGLIS", "Pegando lista de canais, aguarde..."},
    {"FTFOLHE", "Folheie com as setas e tecle ENTER para entrar no canal ou F1 para ler a descrição do mesmo."},
    {"FTPRICAN", "Primeiro canal"},
    {"FTULTCAN", "Último canal"},
    {"FTCAIU", "Conexão remota caiu"},
    {"FTDIGPAL", "Digite a palavra a buscar ou enter para pegar toda a lista: "},
    {"FTNCONS", "Não consegui realizar a conexão"},
    {"FTSOLET", "Soletra a digitação? "},
    {"FTNUM", "Número de canais encontrados: "},
    {"FTORDAG", "Ordenando a lista de canais, aguarde..."},
    {"FTQAPEL", "Qual o apelido a memorizar? "},
    {"FTQMEMO", "Qual memória? (de 0 a 255) "},
    {"FTAC", "C - Conectar ao servidor"},
    {"FTAJ", "J - Entra em um canal"},
    {"FTAL", "L - Obter lista de canais"},
    {"FTAM", "M - Enviar mensagem em pvt"},
    {"FTAO", "O - Configurar o programa"},
    {"FTAR", "R - Registrar apelido"},
    {"FTAESC", "ESC - Sair do programa"},
    {"FTAF9", "F9 - Ativa leitor de tela"},
    {"FTOPINV", "Opção inválida, aperte F1 para ajuda"},
    {"FTAF2", "F2 - Guarda um apelido na memória"},
    {"FTAF3", "F3 - Tira um apelido da memória"},
    {"FTAF4", "F4 - Altera a fala"},
    {"FTAF6", "F6 - Informa número IP"},
    {"FTAESC2", "ESC - Sair do canal"},
    {"FTPLIG", "Pontuação ligada"},
    {"FTPDES", "Pontuação desligada"},
};

TEST(PromptCatalogue, EveryKeyHasItsExactText) {
  ASSERT_EQ(std::size(kExpected), static_cast<size_t>(kPromptCount));
  std::set<std::string> keys;
  for (const auto& [key, utf8] : kExpected) {
    const std::string text = PromptText(key);
    EXPECT_EQ(Cp1252ToUtf8(text), utf8) << key;
    EXPECT_FALSE(IsValidUtf8(text) && text != Utf8ToCp1252(utf8)) << key << " must be cp1252, not UTF-8";
    keys.insert(key);
  }
  EXPECT_EQ(keys.size(), static_cast<size_t>(kPromptCount)) << "keys are distinct";
}

TEST(PromptCatalogue, UnlistedKeysFallBack) {
  struct Case { const char* what; const char* key; };
  const Case cases[] = {
      {"unknown key", "FTXYZ"},
      {"keys are case-sensitive", "ftopcao"},
      {"prefix of a key", "FTOP"},
      {"empty key", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PromptText(c.key), std::string("--> Mensagem inv\xE1lida: ") + c.key) << c.what;
}

class SayPromptTest : public apptest::AppFixture {};

TEST_F(SayPromptTest, WritesTheTextAndItsLineEnds) {
  struct Case { const char* what; const char* key; int count; int row_after; int col_after; };
  const Case cases[] = {
      {"no line end leaves the cursor after the text", "FTOPCAO", 0, 1, 17},
      {"one line end", "FTCAIU", 1, 2, 1},
      {"two line ends", "FTTCHAU", 2, 3, 1},
  };
  for (const Case& c : cases) {
    ClrScr();
    SayPrompt(c.key, c.count);
    std::string text = PromptText(c.key);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    EXPECT_EQ(Row(1), text) << c.what;
    EXPECT_EQ(WhereY(), c.row_after) << c.what;
    EXPECT_EQ(WhereX(), c.col_after) << c.what;
  }
}

TEST_F(SayPromptTest, NegativeCountOnlyVoices) {
  RecordPrompt("FTCAIU");
  StartSpeech();
  ClrScr();
  SayPrompt("FTCAIU", -1);
  EXPECT_EQ(Screen(), "");
  EXPECT_EQ(WhereX(), 1);
  EXPECT_EQ(PlayedPrompts(), std::vector<std::string>{"FTCAIU"});
}

TEST_F(SayPromptTest, RecordingFirstElseTheVoiceButTheSameText) {
  RecordPrompt("FTFIM");
  StartSpeech();
  ClrScr();
  SayPrompt("FTFIM", 1);
  EXPECT_EQ(PlayedPrompts(), std::vector<std::string>{"FTFIM"});
  SayPrompt("FTTCHAU", 1);
  EXPECT_TRUE(AnySound()) << "a key without a recording is said by the voice";
  EXPECT_EQ(PlayedPrompts(), std::vector<std::string>{});
  EXPECT_EQ(Row(1), "Confirma Fim?");
  EXPECT_EQ(Row(2), "Tchau!");
}

TEST_F(SayPromptTest, UnlistedKeyIsWrittenWithItsName) {
  StartSpeech();
  ClrScr();
  SayPrompt("FTXYZ", 1);
  EXPECT_EQ(Row(1), "--> Mensagem inv\xE1lida: FTXYZ");
}

}  // namespace
}  // namespace falatro

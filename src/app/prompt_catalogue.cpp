// The prompt catalogue: the fixed table of keys and cp1252 texts, and SayPrompt.
#include "app/prompt_catalogue.h"

#include "console/nxcrt.h"
#include "speech/speech.h"

namespace falatro {

const PromptEntry kPrompts[kPromptCount] = {
    {"FTINIC", "Falatro - Versao "},
    {"FTOPCAO", "Qual sua op\xE7\xE3o? "},
    {"FTCONFS", "Configura\xE7\xF5" "es:"},
    {"FTNICK", "Qual o seu nick? "},
    {"FTSENHA", "Qual sua senha? "},
    {"FTEMAIL", "Qual seu e-mail? "},
    {"FTAPREG", "Apelido registrado"},
    {"FTSERV", "Qual o servidor? "},
    {"FTNAOC", "N\xE3o consegui criar o arquivo de configura\xE7\xE3o"},
    {"FTCANAL", "Qual o nome do canal?"},
    {"FTNUMIP", "N\xFAmero IP desta conex\xE3o: "},
    {"FTQVELOC", "Qual a velocidade? De 1 a 5:"},
    {"FTCONECT", "Conectando..."},
    {"FTFIMC", "Saindo do canal."},
    {"FTFIM", "Confirma Fim?"},
    {"FTTCHAU", "Tchau!"},
    {"FTINICC", "Entrando no canal"},
    {"FTDIGAP", "Digite o apelido? "},
    {"FTDIGMSG", "Digite a mensagem: "},
    {"FTMSGENV", "Mensagem enviada."},
    {"FTNAOCON", "Voc\xEA n\xE3o est\xE1 conectado a nenhum servidor"},
    {"FTPEGLIS", "Pegando lista de canais, aguarde..."},
    {"FTFOLHE",
     "Folheie com as setas e tecle ENTER para entrar no canal ou F1 para ler a descri\xE7\xE3o do mesmo."},
    {"FTPRICAN", "Primeiro canal"},
    {"FTULTCAN", "\xDAltimo canal"},
    {"FTCAIU", "Conex\xE3o remota caiu"},
    {"FTDIGPAL", "Digite a palavra a buscar ou enter para pegar toda a lista: "},
    {"FTNCONS", "N\xE3o consegui realizar a conex\xE3o"},
    {"FTSOLET", "Soletra a digita\xE7\xE3o? "},
    {"FTNUM", "N\xFAmero de canais encontrados: "},
    {"FTORDAG", "Ordenando a lista de canais, aguarde..."},
    {"FTQAPEL", "Qual o apelido a memorizar? "},
    {"FTQMEMO", "Qual mem\xF3ria? (de 0 a 255) "},
    {"FTAC", "C - Conectar ao servidor"},
    {"FTAJ", "J - Entra em um canal"},
    {"FTAL", "L - Obter lista de canais"},
    {"FTAM", "M - Enviar mensagem em pvt"},
    {"FTAO", "O - Configurar o programa"},
    {"FTAR", "R - Registrar apelido"},
    {"FTAESC", "ESC - Sair do programa"},
    {"FTAF9", "F9 - Ativa leitor de tela"},
    {"FTOPINV", "Op\xE7\xE3o inv\xE1lida, aperte F1 para ajuda"},
    {"FTAF2", "F2 - Guarda um apelido na mem\xF3ria"},
    {"FTAF3", "F3 - Tira um apelido da mem\xF3ria"},
    {"FTAF4", "F4 - Altera a fala"},
    {"FTAF6", "F6 - Informa n\xFAmero IP"},
    {"FTAESC2", "ESC - Sair do canal"},
    {"FTPLIG", "Pontua\xE7\xE3o ligada"},
    {"FTPDES", "Pontua\xE7\xE3o desligada"},
};

std::string PromptText(std::string_view key) {
  for (const PromptEntry& e : kPrompts)
    if (key == e.key) return e.text;
  return "--> Mensagem inv\xE1lida: " + std::string(key);
}

void SayPrompt(std::string_view key, int count) {
  const std::string text = PromptText(key);
  if (count >= 0) {
    ConsoleWrite(text);
    for (int i = 0; i < count; ++i) ConsoleWriteLn();
  }
  if (PromptSoundExists(key)) {
    PlayPrompt(key);
  } else {
    SpeakText(text);
  }
}

}  // namespace falatro

// Connecting and logging in to the server, and registering the nickname with the nickname service.
#pragma once

#include <string>

namespace falatro {

/// The five login lines for the current settings, in sending order.
std::string LoginLine(int index);

/// Opens the connection to ServerName:ServerPort (closing a connection still open), sends the five
/// login lines, then shows the server's replies in light grey until the welcome is over (376, 422 or
/// the 421 reply to the last line); then LocalAddress is set and the client is logged in. A refusal
/// (433, 432, 464, 465, ERROR) is said with its reason and closes the connection; a refused password
/// is first tried once more by logging in without the PASS line (servers without a connection
/// password may refuse any). A connection that cannot be opened says "Não consegui realizar a
/// conexão"; one that drops, or stays silent for 30 s, says "Conexão remota caiu"; Esc gives up the
/// wait. On failure ServerSocket is 0.
void ConnectToServer();

/// Asks for a new password (not spoken) and an e-mail address, and registers the nickname with the
/// nickname service ("NICKSERV REGISTER password address", or the short form when the service answers
/// with a syntax message). Says "Apelido registrado" when the sends succeed. Without a connection says
/// "Você não está conectado a nenhum servidor".
void RegisterNickname();

}  // namespace falatro

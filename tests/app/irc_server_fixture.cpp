// Real IRC servers for the end-to-end tests.
#include "irc_server_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>

#include "irc_peer.h"
#include "loopback_socket.h"

extern char** environ;

namespace falatro::apptest {

using testsupport::ConnectTcp;
using testsupport::ListenTcp;
using testsupport::SendAll;

std::string FreeLoopbackAddress() {
  static int next = 2;
  const int block = static_cast<int>(getpid() % 250) + 1;
  for (int tries = 0; tries < 250; ++tries) {
    const int host = next;
    next = next >= 254 ? 2 : next + 1;
    std::string address = "127.77." + std::to_string(block) + "." + std::to_string(host);
    int fd = ListenTcp(address, kTestIrcPort);
    if (fd >= 0) {
      close(fd);
      return address;
    }
  }
  return {};
}

bool WaitUntilListening(const std::string& address, uint16_t port, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    int fd = ConnectTcp(address, port);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    poll(nullptr, 0, 20);
  }
  return false;
}

namespace {

// Ends the process started by the fixture (SIGTERM, then SIGKILL to its whole group after 3 s) and
// waits for it.
void StopProcess(pid_t* pid) {
  if (*pid <= 0) return;
  kill(*pid, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    if (waitpid(*pid, nullptr, WNOHANG) == *pid) {
      *pid = -1;
      return;
    }
    poll(nullptr, 0, 10);
  }
  kill(-*pid, SIGKILL);
  kill(*pid, SIGKILL);
  waitpid(*pid, nullptr, 0);
  *pid = -1;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// In a guardian process: the server it runs, to pass SIGTERM on to.
pid_t guarded_server = 0;
void PassTermOn(int) {
  if (guarded_server > 0) kill(guarded_server, SIGTERM);
}

// Runs args in dir with its output in log_path, without core files (InspIRCd may crash while it
// unloads its modules at SIGTERM, and raises its own soft limit up to the hard one). The process
// whose id is returned (-1 on failure) is a guardian in a process group of its own: it runs the
// server, passes SIGTERM on to it and ends with it. The guardian keeps the test's credentials, so the
// kernel sends it SIGTERM when the test process ends in any way, even without unwinding (a crash, a
// kill at a time limit); the server itself may give up root, which would clear such a signal.
pid_t SpawnDaemon(const std::string& dir, std::vector<std::string> args, const std::string& log_path) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (log < 0 || null < 0) {
    if (log >= 0) close(log);
    if (null >= 0) close(null);
    return -1;
  }
  const pid_t test_process = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec: the test process has threads.
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    setpgid(0, 0);
    sigset_t term, before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, &before);
    struct sigaction pass {};
    pass.sa_handler = PassTermOn;
    sigaction(SIGTERM, &pass, nullptr);
    // The signal is sent when the thread that forked ends: the fixtures start servers on the test's
    // main thread.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != test_process) _exit(0);  // the test process is already gone
    const pid_t server = fork();
    if (server == 0) {
      sigprocmask(SIG_SETMASK, &before, nullptr);
      if (chdir(dir.c_str()) != 0) _exit(126);
      dup2(null, 0);
      dup2(log, 1);
      dup2(log, 2);
      execve(argv[0], argv.data(), environ);
      _exit(127);
    }
    if (server < 0) _exit(126);
    guarded_server = server;
    // A SIGTERM that came meanwhile is passed on now.
    sigprocmask(SIG_SETMASK, &before, nullptr);
    int status = 0;
    while (waitpid(server, &status, 0) < 0 && errno == EINTR) {
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }
  close(log);
  close(null);
  return pid;
}

bool Alive(pid_t pid) { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

}  // namespace

bool NgircdServer::Start(const std::string& dir, const std::string& address, const std::string& password,
                         int ping_timeout) {
  NgircdOptions options;
  options.listen = address;
  options.password = password;
  options.ping_timeout = ping_timeout;
  return Start(dir, options);
}

bool NgircdServer::Start(const std::string& dir, const NgircdOptions& options) {
  Stop();
  address_ = options.listen.substr(0, options.listen.find(','));
  const std::string conf = dir + "/" + options.name + ".conf";
  log_path_ = dir + "/" + options.name + ".log";
  // Its own folders: nothing extra to include, and a place the server may write its process id to
  // after it gives up root.
  const std::string include_dir = dir + "/" + options.name + ".d";
  const std::string run_dir = dir + "/" + options.name + ".run";
  mkdir(include_dir.c_str(), 0755);
  mkdir(run_dir.c_str(), 0777);
  chmod(run_dir.c_str(), 0777);
  const int ping = std::max(5, options.ping_timeout);
  {
    std::ofstream out(conf);
    out << "[Global]\n"
        << "Name = irc.falatro.test\n"
        << "Info = " << options.info << "\n"
        << "AdminInfo1 = test\nAdminInfo2 = test\nAdminEMail = test@localhost\n"
        << "Listen = " << options.listen << "\n"
        << "Ports = " << options.port << "\n"
        << "Password = " << options.password << "\n"
        << "MotdPhrase = " << options.motd << "\n"
        << "PidFile = " << run_dir << "/ngircd.pid\n";
    if (getuid() == 0) out << "ServerUID = 65534\nServerGID = 65534\n";
    out << "[Limits]\n"
        << "PingTimeout = " << ping << "\n"
        << "PongTimeout = " << std::min(ping, 20) << "\n"
        << "MaxConnectionsIP = 0\nMaxJoins = 0\nMaxPenaltyTime = 0\nMaxListSize = 10000\nMaxNickLength = 30\n"
        << "[Options]\n"
        << "DNS = no\nIdent = no\nPAM = no\n"
        << "IncludeDir = " << include_dir << "\n";
    if (options.tls_port != 0)
      out << "[SSL]\nCertFile = " << options.cert << "\nKeyFile = " << options.key << "\nDHFile = " << options.dh
          << "\nPorts = " << options.tls_port << "\n";
  }
  pid_ = SpawnDaemon(dir, {"/usr/sbin/ngircd", "--nodaemon", "--config", conf}, log_path_);
  if (pid_ <= 0 || !WaitUntilListening(address_, options.port, 5000) ||
      (options.tls_port != 0 && !WaitUntilListening(address_, options.tls_port, 2000))) {
    Stop();
    return false;
  }
  return true;
}

bool NgircdServer::StartOnFreeAddress(const std::string& dir, const std::string& password, int ping_timeout,
                                      std::string* address) {
  for (int tries = 0; tries < 5; ++tries) {
    *address = FreeLoopbackAddress();
    if (!address->empty() && Start(dir, *address, password, ping_timeout)) return true;
  }
  return false;
}

void NgircdServer::Stop() { StopProcess(&pid_); }

std::string NgircdServer::Log() const { return FileText(log_path_); }

bool InspircdServer::Start(const std::string& dir, const std::string& address, const std::string& password,
                           int ping_seconds, bool services) {
  Stop();
  address_ = address;
  dir_ = dir + "/inspircd-" + address;
  const std::string data = dir_ + "/data", logs = dir_ + "/logs", anope = dir_ + "/anope";
  for (const std::string& d : {dir_, data, logs, anope, anope + "/data", anope + "/logs"}) mkdir(d.c_str(), 0755);
  const std::string link_password = "elo" + std::to_string(getpid()) + std::to_string(ping_seconds);
  {
    std::ofstream motd(dir_ + "/motd.txt");
    motd << "Bem-vindo ao servidor de teste\n";
  }
  const std::string client_class =
      " maxchans=\"10000\" timeout=\"60\" pingfreq=\"" + std::to_string(std::max(2, ping_seconds)) +
      "\" hardsendq=\"32M\" softsendq=\"1M\" recvq=\"64K\" threshold=\"1000\" commandrate=\"1000000\""
      " fakelag=\"no\" localmax=\"1000\" globalmax=\"1000\" limit=\"10000\" resolvehostnames=\"no\""
      " useident=\"no\"";
  {
    std::ofstream out(dir_ + "/inspircd.conf");
    out << "<server name=\"irc.falatro.test\" description=\"Falatro test server\" network=\"FalatroNet\" id=\"1FT\">\n"
        << "<admin name=\"test\" nick=\"admin\" email=\"admin@irc.falatro.test\">\n"
        << "<path configdir=\"" << dir_ << "\" datadir=\"" << data << "\" logdir=\"" << logs
        << "\" moduledir=\"/usr/lib/inspircd/modules\">\n"
        << "<pid file=\"" << dir_ << "/inspircd.pid\">\n"
        // Paths here are taken after <path>: relative ones would be read from /etc.
        << "<files motd=\"" << dir_ << "/motd.txt\">\n"
        << "<log method=\"file\" type=\"* -USERINPUT -USEROUTPUT\" level=\"default\" target=\"ircd.log\">\n"
        // No look-ups leave the machine: the system's resolver is not on loopback.
        << "<dns server=\"127.0.0.1\" timeout=\"1\">\n"
        << "<bind address=\"" << address << "\" port=\"" << kTestIrcPort << "\" type=\"clients\">\n"
        << "<bind address=\"" << address << "\" port=\"7000\" type=\"servers\">\n"
        << "<connect name=\"main\" allow=\"*\" port=\"" << kTestIrcPort << "\""
        << (password.empty() ? "" : " password=\"" + password + "\"") << client_class << ">\n"
        << "<channels users=\"10000\" opers=\"10000\">\n"
        << "<performance softlimit=\"10000\" somaxconn=\"128\" quietbursts=\"yes\">\n"
        // "o": a channel's creator gets its operator status.
        << "<options prefixquit=\"Quit: \" syntaxhints=\"no\" pingwarning=\"0\" defaultmodes=\"not\">\n"
        << "<security hideulines=\"no\" flatlinks=\"no\" hidebans=\"no\" maxtargets=\"20\">\n"
        << "<class name=\"Everything\" commands=\"*\" privs=\"*\" usermodes=\"*\" chanmodes=\"*\" snomasks=\"*\">\n"
        << "<type name=\"NetAdmin\" classes=\"Everything\">\n"
        << "<oper name=\"admin\" password=\"adminpass\" host=\"*@*\" type=\"NetAdmin\">\n"
        << "<module name=\"spanningtree\">\n"
        // The services connect from the loopback address the system picks, not from the server's own.
        << "<link name=\"services.falatro.test\" ipaddr=\"" << address
        << "\" port=\"7000\" allowmask=\"127.0.0.0/8\" sendpass=\"" << link_password << "\" recvpass=\""
        << link_password << "\" timeout=\"60\">\n"
        << "<uline server=\"services.falatro.test\" silent=\"yes\">\n"
        // The services refuse to link without these two.
        << "<module name=\"services_account\">\n<module name=\"hidechans\">\n"
        << "<module name=\"servprotect\">\n<module name=\"svshold\">\n<module name=\"chghost\">\n"
        << "<module name=\"alias\">\n"
        << "<alias text=\"NICKSERV\" replace=\"PRIVMSG $requirement :$2-\" requires=\"NickServ\" uline=\"yes\">\n"
        << "<alias text=\"NS\" replace=\"PRIVMSG $requirement :$2-\" requires=\"NickServ\" uline=\"yes\">\n"
        << "<alias text=\"IDENTIFY\" format=\"*\" replace=\"PRIVMSG $requirement :IDENTIFY $2-\" "
           "requires=\"NickServ\" uline=\"yes\">\n"
        << "<badnick nick=\"NickServ\" reason=\"Reserved for a network service\">\n";
  }
  {
    std::ofstream out(anope + "/services.conf");
    out << "define { name = \"services.host\"; value = \"services.falatro.test\" }\n"
        << "uplink { host = \"" << address << "\"; ipv6 = no; ssl = no; port = 7000; password = \""
        << link_password << "\" }\n"
        << "serverinfo { name = \"services.falatro.test\"; description = \"Falatro test services\"; id = \"42F\"; "
           "pid = \"" << anope << "/data/anope.pid\"; motd = \"services.motd\" }\n"
        << "module { name = \"inspircd3\"; use_server_side_mlock = yes; use_server_side_topiclock = yes }\n"
        << "networkinfo { networkname = \"FalatroNet\"; nicklen = 30; userlen = 10; hostlen = 64; chanlen = 60; "
           "modelistsize = 100; vhost_chars = \"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-\"; "
           "allow_undotted_vhosts = false; disallow_start_or_end = \".-\" }\n"
        // The server's own letter-case rule; a wrong one fails the link.
        << "options { casemap = \"rfc1459\"; seed = 4119; strictpasswords = no; badpasslimit = 100; "
           "badpasstimeout = 1h; updatetimeout = 1m; expiretimeout = 30m; readtimeout = 5s; warningtimeout = 4h; "
           "timeoutcheck = 3s; retrywait = 1s; hideprivilegedcommands = yes; hideregisteredcommands = yes }\n"
        << "mail { usemail = no; sendfrom = \"services@falatro.test\" }\n"
        << "log { target = \"services.log\"; logage = 2; admin = \"*\"; servers = \"*\"; users = \"connect disconnect nick\"; "
           "other = \"*\"; rawio = no; debug = no }\n"
        << "module { name = \"db_flatfile\"; database = \"anope.db\"; keepbackups = 0; fork = no }\n"
        << "module { name = \"enc_sha256\" }\n"
        << "service { nick = \"NickServ\"; user = \"services\"; host = \"services.host\"; "
           "gecos = \"Nickname Registration Service\" }\n"
        // regdelay = 0: REGISTER works at once after connecting.
        << "module { name = \"nickserv\"; client = \"NickServ\"; forceemail = no; confirmemailchanges = no; "
           "defaults = \"ns_secure ns_private hide_email hide_mask memo_signon memo_receive\"; regdelay = 0; "
           "expire = 21d; secureadmins = yes; modeonid = yes; hidenetsplitquit = no; killquick = 20s; kill = 60s; "
           "enforceruser = \"enforcer\"; enforcerhost = \"services.host\"; releasetimeout = 1m; "
           "guestnickprefix = \"Guest\"; nonicknameownership = no; passlen = 32 }\n"
        << "module { name = \"ns_register\"; registration = \"none\"; resenddelay = 90s }\n"
        << "command { service = \"NickServ\"; name = \"REGISTER\"; command = \"nickserv/register\"; }\n"
        << "module { name = \"ns_identify\"; maxlogins = 10 }\n"
        << "command { service = \"NickServ\"; name = \"IDENTIFY\"; command = \"nickserv/identify\"; }\n"
        << "module { name = \"ns_info\" }\n"
        << "command { service = \"NickServ\"; name = \"INFO\"; command = \"nickserv/info\"; }\n"
        << "module { name = \"ns_logout\" }\n"
        << "command { service = \"NickServ\"; name = \"LOGOUT\"; command = \"nickserv/logout\"; }\n"
        << "module { name = \"help\" }\n"
        << "command { service = \"NickServ\"; name = \"HELP\"; command = \"generic/help\"; }\n";
    std::ofstream motd(anope + "/services.motd");
    motd << "Falatro test services\n";
  }
  std::vector<std::string> ircd = {"/usr/sbin/inspircd", "--config", dir_ + "/inspircd.conf", "--nofork", "--nopid"};
  // It refuses to run as root without being told.
  if (getuid() == 0) ircd.push_back("--runasroot");
  ircd_pid_ = SpawnDaemon(dir_, ircd, dir_ + "/inspircd.out");
  if (ircd_pid_ <= 0 || !WaitUntilListening(address, kTestIrcPort, 15000) || !WaitUntilListening(address, 7000, 5000)) {
    Stop();
    return false;
  }
  if (!services) return true;
  services_pid_ = SpawnDaemon(anope,
                              {"/usr/sbin/anope", "--nofork", "--confdir=" + anope, "--dbdir=" + anope + "/data",
                               "--logdir=" + anope + "/logs", "--modulesdir=/usr/lib/anope",
                               "--localedir=/usr/share/anope/locale"},
                              dir_ + "/anope.out");
  if (services_pid_ <= 0) {
    Stop();
    return false;
  }
  // Ready when a client sees NickServ (the link is up and its burst done).
  IrcPeer probe;
  const std::string probe_nick = "sonda" + std::to_string(getpid() % 100000);
  if (!probe.Login(address, kTestIrcPort, probe_nick, password, 10000)) {
    Stop();
    return false;
  }
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end && Alive(services_pid_)) {
    probe.Send("ISON NickServ");
    if (probe.WaitFor(" 303 " + probe_nick + " :NickServ", 300)) {
      probe.Quit("pronto");
      return true;
    }
  }
  Stop();
  return false;
}

bool InspircdServer::StartOnFreeAddress(const std::string& dir, const std::string& password, int ping_seconds,
                                        bool services, std::string* address) {
  for (int tries = 0; tries < 5; ++tries) {
    *address = FreeLoopbackAddress();
    if (!address->empty() && Start(dir, *address, password, ping_seconds, services)) return true;
  }
  return false;
}

void InspircdServer::Stop() {
  StopProcess(&services_pid_);
  StopProcess(&ircd_pid_);
}

std::string InspircdServer::Log() const {
  return FileText(dir_ + "/inspircd.out") + FileText(dir_ + "/logs/ircd.log") + FileText(dir_ + "/anope.out") +
         FileText(dir_ + "/anope/logs/services.log");
}

RecordingRelay::~RecordingRelay() {
  stop_ = true;
  if (wake_[1] >= 0) {
    char c = 1;
    (void)!write(wake_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (Pair& p : pairs_) {
    close(p.client);
    close(p.server);
  }
  if (listener_ >= 0) close(listener_);
  if (wake_[0] >= 0) close(wake_[0]);
  if (wake_[1] >= 0) close(wake_[1]);
}

bool RecordingRelay::Start(const std::string& listen_address, const std::string& server_address) {
  server_address_ = server_address;
  listener_ = ListenTcp(listen_address, kTestIrcPort);
  if (listener_ < 0) return false;
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

bool RecordingRelay::StartOnFreeAddress(const std::string& server_address, std::string* address) {
  for (int tries = 0; tries < 5; ++tries) {
    *address = FreeLoopbackAddress();
    if (!address->empty() && Start(*address, server_address)) return true;
  }
  return false;
}

std::vector<std::string> RecordingRelay::ClientLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool RecordingRelay::WaitForClientLine(const std::string& line, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::find(lines_.begin(), lines_.end(), line) != lines_.end()) return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    poll(nullptr, 0, 5);
  }
}

void RecordingRelay::Serve() {
  while (!stop_) {
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const Pair& p : pairs_) {
      fds.push_back({p.client, POLLIN, 0});
      fds.push_back({p.server, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 200) <= 0) continue;
    if (fds[1].revents & POLLIN) {
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        ++accepted_;
        int server = ConnectTcp(server_address_, kTestIrcPort);
        if (server < 0) {
          close(client);
        } else {
          pairs_.push_back({client, server, {}});
        }
      }
    }
    std::vector<int> dead;
    for (size_t i = 2; i + 1 < fds.size(); i += 2) {
      Pair& p = pairs_[(i - 2) / 2];
      char buf[8192];
      if (fds[i].revents) {
        ssize_t n = recv(p.client, buf, sizeof buf, 0);
        if (n <= 0 || !SendAll(p.server, buf, static_cast<size_t>(n))) {
          dead.push_back(static_cast<int>((i - 2) / 2));
          continue;
        }
        p.pending.append(buf, static_cast<size_t>(n));
        size_t lf;
        std::lock_guard<std::mutex> lock(mutex_);
        while ((lf = p.pending.find('\n')) != std::string::npos) {
          std::string line = p.pending.substr(0, lf);
          p.pending.erase(0, lf + 1);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          lines_.push_back(line);
        }
      }
      if (fds[i + 1].revents) {
        ssize_t n = recv(p.server, buf, sizeof buf, 0);
        if (n <= 0 || !SendAll(p.client, buf, static_cast<size_t>(n))) dead.push_back(static_cast<int>((i - 2) / 2));
      }
    }
    std::sort(dead.begin(), dead.end());
    dead.erase(std::unique(dead.begin(), dead.end()), dead.end());
    for (auto it = dead.rbegin(); it != dead.rend(); ++it) {
      close(pairs_[*it].client);
      close(pairs_[*it].server);
      pairs_.erase(pairs_.begin() + *it);
    }
  }
}

}  // namespace falatro::apptest

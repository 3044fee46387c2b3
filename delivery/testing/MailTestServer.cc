#include "delivery/testing/MailTestServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace tarnalert {
namespace test {

namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kOpenssl = "/usr/bin/openssl";
constexpr int kStartMilliseconds = 20000;

bool ToolPresent(const char* path, const char* package, std::string* error) {
  if (::access(path, X_OK) == 0) return true;
  *error = std::string(path) + " is missing: install the Debian package " + package;
  return false;
}

// Starts `arguments` with `input` as its standard input and `output` as its
// standard output (and standard error when `withErrors`). -1 on failure.
pid_t Spawn(const std::vector<std::string>& arguments, int input, int output, bool withErrors) {
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::dup2(input, 0);
  ::dup2(output, 1);
  if (withErrors) ::dup2(output, 2);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

// Runs `arguments` and collects its standard output (and standard error
// when `withErrors`). The exit status goes into `status`. False when it
// cannot start.
bool Run(const std::vector<std::string>& arguments, std::string* output, int* status,
         bool withErrors = false) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn(arguments, null, out[1], withErrors);
  ::close(null);
  ::close(out[1]);
  if (pid < 0) {
    ::close(out[0]);
    return false;
  }
  output->clear();
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(out[0], buffer, sizeof buffer)) > 0) output->append(buffer, got);
  ::close(out[0]);
  ::waitpid(pid, status, 0);
  return true;
}

bool RunQuietly(const std::vector<std::string>& arguments, std::string* error) {
  std::string output;
  int status = 0;
  if (!Run(arguments, &output, &status, true) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "command failed: " + arguments[0] + " " + arguments[1] + " ...: " + output;
    return false;
  }
  return true;
}

}  // namespace

bool MakeTestCertificates(const std::string& directory, TestCertificates* certificates,
                          std::string* error) {
  if (!ToolPresent(kOpenssl, "openssl", error)) return false;
  const std::string d = directory + "/";
  certificates->caFile = d + "ca.pem";
  certificates->otherCaFile = d + "other-ca.pem";
  certificates->certificateFile = d + "server.pem";
  certificates->keyFile = d + "server.key";
  certificates->clientCertificateFile = d + "client.pem";
  certificates->clientKeyFile = d + "client.key";
  {
    std::ofstream(d + "client.ext") << "basicConstraints=CA:FALSE\n"
                                       "keyUsage=digitalSignature\n"
                                       "extendedKeyUsage=clientAuth\n";
  }
  {
    std::ofstream extensions(d + "server.ext");
    extensions << "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                  "basicConstraints=CA:FALSE\n"
                  "keyUsage=digitalSignature\n"
                  "extendedKeyUsage=serverAuth\n";
  }
  const std::vector<std::string> newKey = {"-newkey", "ec", "-pkeyopt",
                                           "ec_paramgen_curve:prime256v1", "-nodes"};
  auto makeCa = [&](const std::string& name) {
    std::vector<std::string> command = {kOpenssl, "req", "-x509"};
    command.insert(command.end(), newKey.begin(), newKey.end());
    command.insert(command.end(),
                   {"-keyout", d + name + ".key", "-out", d + name + ".pem", "-days", "2", "-subj",
                    "/CN=tarnalert test " + name, "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
    return RunQuietly(command, error);
  };
  // A key and a certificate signed by the CA, named `name`.
  auto makeSigned = [&](const std::string& name, const std::string& subject) {
    std::vector<std::string> request = {kOpenssl, "req"};
    request.insert(request.end(), newKey.begin(), newKey.end());
    request.insert(request.end(), {"-keyout", d + name + ".key", "-out", d + name + ".csr", "-subj",
                                   "/CN=" + subject});
    return RunQuietly(request, error) &&
           RunQuietly({kOpenssl, "x509", "-req", "-in", d + name + ".csr", "-CA",
                       certificates->caFile, "-CAkey", d + "ca.key", "-CAcreateserial", "-out",
                       d + name + ".pem", "-days", "2", "-extfile", d + name + ".ext"},
                      error);
  };
  return makeCa("ca") && makeCa("other-ca") && makeSigned("server", "127.0.0.1") &&
         makeSigned("client", "tarnalert test client");
}

const TestCertificates* SharedTestCertificates(std::string* error) {
  static std::string directory, failure;
  static TestCertificates certificates;
  static const bool made = [] {
    char pattern[] = "/tmp/tarnalert-certs-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      failure =
          std::string("cannot make a directory for the certificates: ") + std::strerror(errno);
      return false;
    }
    directory = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(directory, ignored);
    });
    return MakeTestCertificates(directory, &certificates, &failure) &&
           ::chmod(certificates.clientKeyFile.c_str(), 0600) == 0;
  }();
  *error = failure;
  return made ? &certificates : nullptr;
}

MailTestServer::~MailTestServer() { Stop(); }

bool MailTestServer::Start(const std::string& sourceDirectory, const std::string& directory,
                           const MailServerOptions& options, const TestCertificates& certificates,
                           std::string* error) {
  if (!ToolPresent(kPython, "python3", error)) return false;
  Stop();
  directory_ = directory;
  std::vector<std::string> arguments = {
      kPython, sourceDirectory + "/delivery/testdata/smtp_server.py", "--dir", directory};
  static const char* const kModes[] = {"plain", "starttls", "tls"};
  arguments.insert(arguments.end(), {"--mode", kModes[options.mode]});
  if (options.mode != MailServerOptions::kPlain) {
    arguments.insert(arguments.end(),
                     {"--cert", certificates.certificateFile, "--key", certificates.keyFile});
  }
  if (!options.user.empty()) {
    arguments.insert(arguments.end(), {"--auth", options.user + ":" + options.password});
  }
  for (const auto& refusal : options.refusals) {
    arguments.insert(arguments.end(), {"--refuse", refusal.first + "=" + refusal.second});
  }
  if (options.silentQuit) arguments.push_back("--silent-quit");

  return StartPythonServer(arguments, &pid_, &input_, &port_, error);
}

bool StartPythonServer(const std::vector<std::string>& arguments, pid_t* serverPid, int* input,
                       int* port, std::string* error) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  const pid_t pid = Spawn(arguments, in[0], out[1], false);
  ::close(in[0]);
  ::close(out[1]);
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    ::close(in[1]);
    ::close(out[0]);
    return false;
  }

  // The first line says the port, or what is missing.
  std::string line;
  struct pollfd ready = {out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && ::poll(&ready, 1, kStartMilliseconds) > 0) {
    char buffer[256];
    ssize_t got = ::read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, got);
  }
  ::close(out[0]);
  if (line.compare(0, 5, "PORT ") == 0) {
    *serverPid = pid;
    *input = in[1];
    *port = std::atoi(line.c_str() + 5);
    return true;
  }
  ::close(in[1]);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  if (line.compare(0, 8, "MISSING ") == 0) {
    *error = "a Python module is missing: install the Debian package " +
             line.substr(8, line.find('\n') - 8);
  } else {
    *error = "the test server " + arguments[1] + " did not start: " + line;
  }
  return false;
}

void StopPythonServer(pid_t* pid, int* input) {
  if (*input >= 0) ::close(*input);
  *input = -1;
  if (*pid > 0) {
    ::kill(*pid, SIGTERM);
    ::waitpid(*pid, nullptr, 0);
  }
  *pid = -1;
}

void MailTestServer::Stop() { StopPythonServer(&pid_, &input_); }

std::vector<ReceivedMail> MailTestServer::Received() const {
  std::vector<ReceivedMail> received;
  for (int n = 1;; ++n) {
    const std::string base = directory_ + "/msg-" + std::to_string(n);
    std::ifstream envelope(base + ".envelope");
    if (!envelope) break;
    ReceivedMail mail;
    mail.file = base + ".eml";
    std::string line;
    while (std::getline(envelope, line)) {
      const size_t space = line.find(' ');
      const std::string key = line.substr(0, space);
      const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
      if (key == "from") mail.sender = value;
      if (key == "rcpt") mail.recipients.push_back(value);
      if (key == "login") mail.login = value;
      if (key == "tls") mail.tls = value == "yes";
      if (key == "connection") mail.connection = std::atoi(value.c_str());
    }
    received.push_back(mail);
  }
  return received;
}

HttpsTestServer::~HttpsTestServer() { Stop(); }

bool HttpsTestServer::Start(const std::string& sourceDirectory, const std::string& logFile,
                            const TestCertificates& certificates, const std::vector<int>& codes,
                            bool requireClientCertificate, std::string* error) {
  if (!ToolPresent(kPython, "python3", error)) return false;
  Stop();
  log_ = logFile;
  std::string codeList;
  for (int code : codes) codeList += (codeList.empty() ? "" : ",") + std::to_string(code);
  std::vector<std::string> arguments = {
      kPython,   sourceDirectory + "/delivery/testdata/https_server.py",
      "--cert",  certificates.certificateFile,
      "--key",   certificates.keyFile,
      "--log",   logFile,
      "--codes", codeList};
  if (requireClientCertificate) {
    arguments.insert(arguments.end(), {"--client-ca", certificates.caFile});
  }
  return StartPythonServer(arguments, &pid_, &input_, &port_, error);
}

void HttpsTestServer::Stop() { StopPythonServer(&pid_, &input_); }

std::vector<HttpsTestServer::Request> HttpsTestServer::Requests() const {
  std::vector<Request> requests;
  std::ifstream log(log_);
  std::string line;
  while (std::getline(log, line)) {
    Request request;
    const size_t first = line.find(' ');
    const size_t second = line.find(' ', first + 1);
    if (second == std::string::npos) continue;
    request.key = line.substr(0, first);
    request.status = std::atoi(line.c_str() + first + 1);
    request.body = line.substr(second + 1);
    requests.push_back(request);
  }
  return requests;
}

bool CheckMail(const std::string& sourceDirectory, const std::string& file,
               std::vector<std::string>* facts, std::string* error) {
  if (!ToolPresent(kPython, "python3", error)) return false;
  std::string output;
  int status = 0;
  if (!Run({kPython, sourceDirectory + "/delivery/testdata/check_mail.py", file}, &output,
           &status) ||
      !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "check_mail.py failed on " + file;
    return false;
  }
  facts->clear();
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) facts->push_back(line);
  return true;
}

}  // namespace test
}  // namespace tarnalert

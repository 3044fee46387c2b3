// A real SMTP server for tests and benchmarks: delivery/testdata/
// smtp_server.py run by /usr/bin/python3 on a free port of 127.0.0.1, with
// certificates made by openssl for the run, and the independent reading of
// what it received by Python's email package (check_mail.py).
//
// A missing tool is reported as an error naming the Debian package to
// install. Objects belong to one thread; the server stops with its object.
#ifndef TARNALERT_DELIVERY_TESTING_MAILTESTSERVER_H_
#define TARNALERT_DELIVERY_TESTING_MAILTESTSERVER_H_

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace tarnalert {
namespace test {

// A throw-away CA with a server certificate for 127.0.0.1 and localhost and
// a client certificate, and a second CA that signed nothing.
struct TestCertificates {
  std::string caFile;
  std::string otherCaFile;
  std::string certificateFile;
  std::string keyFile;
  std::string clientCertificateFile;
  std::string clientKeyFile;
};

// Makes the certificates in `directory`. False with the reason in `error`.
bool MakeTestCertificates(const std::string& directory, TestCertificates* certificates,
                          std::string* error);
// The certificates of this test process: made by the first call in a
// directory of their own, removed when the process exits, the client key
// private. Null with the reason in `error` when they could not be made.
const TestCertificates* SharedTestCertificates(std::string* error);

struct MailServerOptions {
  enum Mode { kPlain, kStartTls, kImplicitTls } mode = kPlain;
  std::string user;  // with a password: every message needs a login
  std::string password;
  std::vector<std::pair<std::string, std::string>> refusals;  // address, RCPT reply
  bool silentQuit = false;  // QUIT gets no reply; the connection stays open
};

// One message as the server received it.
struct ReceivedMail {
  std::string file;                     // the .eml as received
  std::string sender;                   // MAIL FROM
  std::vector<std::string> recipients;  // RCPT TO, accepted
  std::string login;                    // the user that logged in, if any
  bool tls = false;
  int connection = 0;  // the connection it came over, from 1
};

class MailTestServer {
 public:
  MailTestServer() = default;
  ~MailTestServer();
  MailTestServer(const MailTestServer&) = delete;
  MailTestServer& operator=(const MailTestServer&) = delete;

  // Starts the server, its received mail going to `directory`. False with
  // the reason in `error`.
  bool Start(const std::string& sourceDirectory, const std::string& directory,
             const MailServerOptions& options, const TestCertificates& certificates,
             std::string* error);
  void Stop();

  int port() const { return port_; }
  // The messages received so far, in order.
  std::vector<ReceivedMail> Received() const;

 private:
  pid_t pid_ = -1;
  int input_ = -1;  // the server's standard input; closing it stops the server
  int port_ = 0;
  std::string directory_;
};

// An HTTPS server (delivery/testdata/https_server.py) that answers each POST
// with the next of the given codes, then 200, and records every request.
class HttpsTestServer {
 public:
  struct Request {
    std::string key;   // the Idempotency-Key header
    int status = 0;    // the code answered
    std::string body;  // line breaks as blanks
  };

  HttpsTestServer() = default;
  ~HttpsTestServer();
  HttpsTestServer(const HttpsTestServer&) = delete;
  HttpsTestServer& operator=(const HttpsTestServer&) = delete;

  // Starts the server, recording into `logFile`. With
  // `requireClientCertificate` a client must show a certificate of the CA.
  // False with the reason in `error`.
  bool Start(const std::string& sourceDirectory, const std::string& logFile,
             const TestCertificates& certificates, const std::vector<int>& codes,
             bool requireClientCertificate, std::string* error);
  void Stop();

  int port() const { return port_; }
  std::string url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/alerts"; }
  // The requests so far, in the order they were answered.
  std::vector<Request> Requests() const;

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int port_ = 0;
  std::string log_;
};

// Starts a test server (`arguments`: /usr/bin/python3, the script, its
// options) whose first line on standard output is "PORT n" once it listens,
// or "MISSING <Debian package>"; it must stop when its standard input
// closes. Its pid, the write end of its standard input and the port go into
// the three outputs. False with the reason in `error`.
bool StartPythonServer(const std::vector<std::string>& arguments, pid_t* pid, int* input, int* port,
                       std::string* error);
// Stops a server StartPythonServer started: closes its standard input,
// ends it and waits for it. Sets both to -1; does nothing when they are.
void StopPythonServer(pid_t* pid, int* input);

// What check_mail.py reads from `file`, one fact per line. False with the
// reason in `error` when it cannot run.
bool CheckMail(const std::string& sourceDirectory, const std::string& file,
               std::vector<std::string>* facts, std::string* error);

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_TESTING_MAILTESTSERVER_H_

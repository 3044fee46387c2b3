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

// A throw-away CA with a server certificate for 127.0.0.1 and localhost, and
// a second CA that signed nothing.
struct TestCertificates {
  std::string caFile;
  std::string otherCaFile;
  std::string certificateFile;
  std::string keyFile;
};

// Makes the certificates in `directory`. False with the reason in `error`.
bool MakeTestCertificates(const std::string& directory, TestCertificates* certificates,
                          std::string* error);

struct MailServerOptions {
  enum Mode { kPlain, kStartTls, kImplicitTls } mode = kPlain;
  std::string user;  // with a password: every message needs a login
  std::string password;
  std::vector<std::pair<std::string, std::string>> refusals;  // address, RCPT reply
};

// One message as the server received it.
struct ReceivedMail {
  std::string file;                     // the .eml as received
  std::string sender;                   // MAIL FROM
  std::vector<std::string> recipients;  // RCPT TO, accepted
  std::string login;                    // the user that logged in, if any
  bool tls = false;
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

// What check_mail.py reads from `file`, one fact per line. False with the
// reason in `error` when it cannot run.
bool CheckMail(const std::string& sourceDirectory, const std::string& file,
               std::vector<std::string>* facts, std::string* error);

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_TESTING_MAILTESTSERVER_H_

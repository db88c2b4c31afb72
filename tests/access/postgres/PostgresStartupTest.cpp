// Connecting to a server that will not keep the session settings the driver
// relies on. No real server can be made to refuse them, so a stand-in
// speaks just the start of the protocol: it takes the startup packet,
// reports its settings and is ready, as a pooler or an old server might.
#include <QZDatabaseAccess.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/TextEncoding.h"

namespace {

// One connection's worth of server on a loopback port of its own.
class StandInServer {
 public:
  // settings: the name and value pairs the server reports after login.
  explicit StandInServer(std::vector<std::pair<std::string, std::string>> settings) : settings_(std::move(settings)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on loopback";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~StandInServer() {
    shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }

  std::wstring Where() const { return L"127.0.0.1:" + std::to_wstring(port_); }
  // The startup packet's parameters as the client sent them, NULs and all.
  const std::string& startup() const { return startup_; }

 private:
  static bool ReadFully(int fd, char* data, size_t size) {
    while (size > 0) {
      const ssize_t got = read(fd, data, size);
      if (got <= 0) return false;
      data += got;
      size -= static_cast<size_t>(got);
    }
    return true;
  }
  static void AppendInt32(std::string* out, uint32_t value) {
    const uint32_t network = htonl(value);
    out->append(reinterpret_cast<const char*>(&network), 4);
  }
  static void AppendMessage(std::string* out, char type, const std::string& body) {
    out->push_back(type);
    AppendInt32(out, static_cast<uint32_t>(body.size() + 4));
    out->append(body);
  }

  void Serve() {
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    for (;;) {  // refuse SSL and GSS encryption requests until the startup packet comes
      char header[8];
      if (!ReadFully(client, header, sizeof header)) break;
      uint32_t length, code;
      std::memcpy(&length, header, 4);
      std::memcpy(&code, header + 4, 4);
      length = ntohl(length);
      code = ntohl(code);
      if (code == 80877103 || code == 80877104) {
        if (write(client, "N", 1) != 1) break;
        continue;
      }
      startup_.resize(length - 8);
      if (!ReadFully(client, startup_.data(), startup_.size())) break;
      std::string reply;
      std::string body;
      AppendInt32(&body, 0);
      AppendMessage(&reply, 'R', body);  // authentication ok
      for (const auto& [name, value] : settings_) AppendMessage(&reply, 'S', name + '\0' + value + '\0');
      body.clear();
      AppendInt32(&body, 4242);
      AppendInt32(&body, 1);
      AppendMessage(&reply, 'K', body);  // the key a cancel would need
      AppendMessage(&reply, 'Z', "I");   // ready, no transaction
      if (write(client, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) break;
      char rest[256];
      while (read(client, rest, sizeof rest) > 0) {
      }
      break;
    }
    close(client);
  }

  std::vector<std::pair<std::string, std::string>> settings_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::string startup_;
};

TEST(PostgresStartup, AServerThatKeepsStandardStringsOffIsNotUsed) {
  StandInServer server({{"server_version", "16.0"},
                        {"client_encoding", "UTF8"},
                        {"DateStyle", "ISO, YMD"},
                        {"integer_datetimes", "on"},
                        {"standard_conforming_strings", "off"}});
  CQZDatabase database;
  std::wstring message;
  std::string state;
  try {
    database.Connect(QZDB_POSTGRESQL, server.Where(), L"qz_db", L"qz_user", L"");
  } catch (CQZDBException* e) {
    message = e->GetErrorMessage();
    state = e->GetSQLState();
    e->Delete();
  }
  EXPECT_NE(message.find(L"standard_conforming_strings"), std::wstring::npos) << qz::platform::WideToUtf8(message);
  EXPECT_EQ(state, "08004");
  EXPECT_EQ(database.IsConnectted(), 0);
  // It was asked for.
  EXPECT_NE(server.startup().find("-c standard_conforming_strings=on"), std::string::npos);
}

}  // namespace

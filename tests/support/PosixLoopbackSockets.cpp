#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "support/LoopbackSockets.h"

namespace qz::testing {
namespace {

void NoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

int ListenOnLoopback(int* port) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;  // the kernel's choice
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 16) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return listener;
}

int ConnectToServer(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = found; a; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
    close(fd);
    fd = -1;
  }
  freeaddrinfo(found);
  if (fd >= 0) NoDelay(fd);
  return fd;
}

int AcceptClient(int listener) {
  const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (client >= 0) NoDelay(client);
  return client;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

RelayListener::RelayListener(const std::string& host, int port, Relay relay)
    : host_(host), server_port_(port), relay_(std::move(relay)) {
  if (pipe(wake_) != 0) return;
  listener_ = ListenOnLoopback(&port_);
  if (listener_ < 0) return;
  acceptor_ = std::thread([this] { Accept(); });
}

RelayListener::~RelayListener() {
  Stop();
  if (listener_ >= 0) close(listener_);
  for (int fd : wake_)
    if (fd >= 0) close(fd);
}

void RelayListener::Stop() {
  if (wake_[1] >= 0) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
  }
  if (acceptor_.joinable()) acceptor_.join();
}

void RelayListener::Accept() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    const int client = AcceptClient(listener_);
    if (client < 0) continue;
    const int server = ConnectToServer(host_, server_port_);
    if (server < 0) {
      close(client);
      continue;
    }
    relay_(client, server);
  }
}

}  // namespace qz::testing

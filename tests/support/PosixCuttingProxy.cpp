#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/CuttingProxy.h"

namespace qz::testing {
namespace {

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

void NoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

CuttingProxy::CuttingProxy(const std::string& host, int port) : host_(host), server_port_(port) {
  if (pipe(wake_) != 0) return;
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;  // the kernel's choice, never a guessed one
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

CuttingProxy::~CuttingProxy() {
  if (wake_[1] >= 0) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
  }
  if (acceptor_.joinable()) acceptor_.join();
  JoinFinished(true);
  if (listener_ >= 0) close(listener_);
  for (int fd : wake_)
    if (fd >= 0) close(fd);
}

void CuttingProxy::CutAt(uint64_t n, Loss loss) {
  cut_at_ = n;
  loss_ = loss;
  {
    std::lock_guard<std::mutex> hold(cut_request_mutex_);
    cut_request_.clear();
  }
  requests_ = 0;
  fired_ = false;
  armed_ = true;
}

void CuttingProxy::Disarm() { armed_ = false; }

std::string CuttingProxy::cut_request() const {
  std::lock_guard<std::mutex> hold(cut_request_mutex_);
  return cut_request_;
}

void CuttingProxy::NoteCut(const char* data, size_t size, bool more) {
  std::lock_guard<std::mutex> hold(cut_request_mutex_);
  if (!more) cut_request_.clear();
  const size_t limit = cut_request_.size() + 80;
  if (more && !cut_request_.empty()) cut_request_ += " | ";
  for (size_t i = 0; i < size && cut_request_.size() < limit; ++i) {
    const char c = data[i];
    if (c >= ' ' && c <= '~')
      cut_request_.push_back(c);
    else if (!cut_request_.empty() && cut_request_.back() != ' ')
      cut_request_.push_back(' ');
  }
}

CuttingProxy::Fate CuttingProxy::NextRequest(const char* data, size_t size) {
  if (!armed_) return Fate::kForward;
  const uint64_t n = ++requests_;
  if (cut_at_ == 0 || n != cut_at_) return Fate::kForward;
  NoteCut(data, size, false);
  fired_ = true;
  return loss_ == Loss::kRequest ? Fate::kLose : Fate::kForwardAndLoseAnswer;
}

int CuttingProxy::ConnectToServer() const {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(server_port_);
  if (getaddrinfo(host_.c_str(), service.c_str(), &hints, &found) != 0) return -1;
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

void CuttingProxy::Accept() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    NoDelay(client);
    const int server = ConnectToServer();
    if (server < 0) {
      close(client);
      continue;
    }
    JoinFinished(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard<std::mutex> hold(relays_mutex_);
    relays_.push_back({std::thread([this, client, server, done] { Forward(client, server, done.get()); }), done});
  }
}

void CuttingProxy::JoinFinished(bool all) {
  std::lock_guard<std::mutex> hold(relays_mutex_);
  for (auto relay = relays_.begin(); relay != relays_.end();) {
    if (all || *relay->done) {
      relay->thread.join();
      relay = relays_.erase(relay);
    } else {
      ++relay;
    }
  }
}

// Carries bytes both ways until either side closes, the proxy stops, or
// the cut comes.
void CuttingProxy::Forward(int client, int server, std::atomic<bool>* done) {
  std::vector<char> buffer(64 * 1024);
  bool lose_answer = false;
  for (bool open = true; open;) {
    pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[2].revents) break;
    if (fds[0].revents) {
      const ssize_t got = recv(client, buffer.data(), buffer.size(), 0);
      if (got <= 0) break;
      // A request sent while the answer to the cut one is awaited (one that
      // has no answer of its own went first) loses its answer too.
      if (lose_answer) NoteCut(buffer.data(), static_cast<size_t>(got), true);
      const Fate fate = lose_answer ? Fate::kForward : NextRequest(buffer.data(), static_cast<size_t>(got));
      if (fate == Fate::kLose) break;
      if (!SendAll(server, buffer.data(), static_cast<size_t>(got))) break;
      if (fate == Fate::kForwardAndLoseAnswer) lose_answer = true;
    }
    if (fds[1].revents) {
      const ssize_t got = recv(server, buffer.data(), buffer.size(), 0);
      if (got <= 0 || lose_answer) break;
      open = SendAll(client, buffer.data(), static_cast<size_t>(got));
    }
  }
  shutdown(client, SHUT_RDWR);
  shutdown(server, SHUT_RDWR);
  close(client);
  close(server);
  *done = true;
}

}  // namespace qz::testing

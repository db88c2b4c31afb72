#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/CuttingProxy.h"
#include "support/LoopbackSockets.h"

namespace qz::testing {

CuttingProxy::CuttingProxy(const std::string& host, int port)
    : listener_(host, port, [this](int client, int server) { StartRelay(client, server); }) {}

CuttingProxy::~CuttingProxy() {
  listener_.Stop();
  JoinFinished(true);
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

void CuttingProxy::StartRelay(int client, int server) {
  JoinFinished(false);
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard<std::mutex> hold(relays_mutex_);
  relays_.push_back({std::thread([this, client, server, done] { Forward(client, server, done.get()); }), done});
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
    pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {listener_.stopping(), POLLIN, 0}};
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

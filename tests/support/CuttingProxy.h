// A TCP proxy on loopback that cuts a connection at a chosen request, for
// fault sweeps against a database server: the library under test connects
// to the proxy, which forwards to the server, until the Nth chunk of bytes
// the client sends (counted over every connection). Then either
// - the request is lost: the chunk never reaches the server, or
// - the answer is lost: the chunk reaches the server, and the connection
//   is cut as soon as the server starts to answer;
// both sides then see the connection closed. Later connections are
// forwarded again. POSIX sockets, one thread per connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackSockets.h"

namespace qz::testing {

class CuttingProxy {
 public:
  enum class Loss { kRequest, kAnswer };

  // Listens on 127.0.0.1, on a port the kernel chooses, and forwards each
  // connection to host:port. port() is 0 when that failed.
  CuttingProxy(const std::string& host, int port);
  // Stops listening and cuts every connection.
  ~CuttingProxy();
  CuttingProxy(const CuttingProxy&) = delete;
  CuttingProxy& operator=(const CuttingProxy&) = delete;

  int port() const { return listener_.port(); }

  // Counts the client's chunks from zero and cuts at the nth (the first is
  // 1), losing what loss says; one cut only. 0 counts without cutting.
  void CutAt(uint64_t n, Loss loss);
  // Stops counting and cutting.
  void Disarm();

  uint64_t requests() const { return requests_; }
  bool fired() const { return fired_; }
  // The readable characters of the chunk cut at (a statement's text shows),
  // at most 80, and of each chunk whose answer the cut lost with it ("|"
  // between them); empty before the cut.
  std::string cut_request() const;

 private:
  // What happens to a chunk the client sent.
  enum class Fate { kForward, kLose, kForwardAndLoseAnswer };
  struct Relay {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  // Starts relaying a connection the listener accepted.
  void StartRelay(int client, int server);
  void Forward(int client, int server, std::atomic<bool>* done);
  Fate NextRequest(const char* data, size_t size);
  // Notes the text of a chunk the cut hit; more: one more, after the first.
  void NoteCut(const char* data, size_t size, bool more);
  void JoinFinished(bool all);

  std::mutex relays_mutex_;
  std::vector<Relay> relays_;

  std::atomic<bool> armed_{false};
  std::atomic<uint64_t> cut_at_{0};
  std::atomic<Loss> loss_{Loss::kRequest};
  std::atomic<uint64_t> requests_{0};
  std::atomic<bool> fired_{false};
  mutable std::mutex cut_request_mutex_;
  std::string cut_request_;
  RelayListener listener_;  // last: made when all its relays use is
};

}  // namespace qz::testing

// The OLA module: one link per OLA server, each with a thread of its own that
// owns every OLA object of the link, so that the host's thread never waits
// for a server. The host hands over board tables; the thread turns them into
// universes with the same level function the simulator's lamps use.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ola/Callback.h>
#include <ola/DmxBuffer.h>
#include <ola/client/OlaClient.h>
#include <ola/io/SelectServer.h>
#include <ola/network/TCPSocket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/levels.h"
#include "quorelctl/dmx/dmx_module.h"
#include "platform/socket_owner.h"
#include "quorelctl/dmx/ola/checked_socket.h"
#include "quorelctl/dmx/ola/ola_client_stop.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A lost or missing server is looked for again at most this often.
constexpr milliseconds kRetryInterval{1000};
// A connection whose server has not answered a request within this long is
// taken for a stuck server and dropped.
constexpr milliseconds kAnswerTimeout{1000};
constexpr milliseconds kConnectTimeout{800};
// Frames while a waveform shows: 40 a second.
constexpr milliseconds kWaveFrame{25};
// An unchanged universe is sent again this often, so that the server keeps
// counting this client as a source.
constexpr milliseconds kKeepAlive{1000};
// The longest a closing link waits to get its last change out.
constexpr milliseconds kFlushWait{250};
// The longest the thread sleeps without looking at its stop flag.
constexpr milliseconds kSlice{50};

// The time that waveforms are drawn at: whole frames (kWaveFrame), so that a
// moving universe changes at most once a frame however often the thread
// wakes (a server's answer wakes it too).
double FrameSeconds(Clock::time_point t) {
  const double frame = std::chrono::duration<double>(kWaveFrame).count();
  return std::floor(std::chrono::duration<double>(t.time_since_epoch()).count() / frame) * frame;
}

// From `t` to the start of the next frame, so a moving universe is sent as
// each frame begins.
milliseconds UntilNextFrame(Clock::time_point t) {
  const double left = FrameSeconds(t) + std::chrono::duration<double>(kWaveFrame).count() -
                      std::chrono::duration<double>(t.time_since_epoch()).count();
  return milliseconds(static_cast<int64_t>(std::ceil(left * 1000)));
}

}  // namespace

struct QuorelDmxLink {
  QuorelDmxLink(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {}

  bool Start() {
    try {
      thread_ = std::thread([this] { Run(); });
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

  void Stop() {
    stop_ = true;
    ss_.Execute(ola::NewSingleCallback(&Nothing));
    if (thread_.joinable()) thread_.join();
  }

  int WaitAnswer(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    answered_cv_.wait_for(lock, milliseconds(timeout_ms), [this] { return answered_once_ || refused_once_; });
    return answered_once_ ? 1 : 0;
  }

  // Runs after every command (hundreds a second): the thread is woken only
  // when the board's tables changed.
  void Show(int board, const QuorelDmxBoard& state) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto [it, added] = boards_.try_emplace(board, state);
      QuorelDmxBoard& held = it->second;
      if (!added && Same(held, state)) return;
      held = state;
    }
    ss_.Execute(ola::NewSingleCallback(&Nothing));
  }

  QuorelDmxStats Stats() const { return {sent_.load(), acknowledged_.load(), connects_.load()}; }

  int RefusedOwner(uint32_t* uid) const {
    const int64_t owner = refused_owner_.load();
    if (owner < 0) return 0;
    *uid = static_cast<uint32_t>(owner);
    return 1;
  }

 private:
  static void Nothing() {}

  // Field by field: the structure has padding.
  static bool Same(const QuorelDmxBoard& a, const QuorelDmxBoard& b) {
    return a.universe == b.universe && a.first_channel == b.first_channel && a.gps == b.gps &&
           std::equal(std::begin(a.banks), std::end(a.banks), std::begin(b.banks)) &&
           std::equal(std::begin(a.profile), std::end(a.profile), std::begin(b.profile));
  }

  struct Universe {
    std::vector<uint8_t> last_sent;
    Clock::time_point sent_at{};
    bool in_flight = false;
  };

  void Run() {
    // Named, so that its CPU can be told from the host's in /proc.
    pthread_setname_np(pthread_self(), "quorelctl-ola");
    while (!stop_) {
      const Clock::time_point now = Clock::now();
      if (!client_ && now >= next_try_) Connect(now);
      milliseconds wait = kSlice;
      if (client_) wait = std::min(wait, Serve(Clock::now()));
      ss_.RunOnce(ola::TimeInterval(0, static_cast<int>(std::chrono::microseconds(wait).count())));
      // Either way libola's handler of a closed connection never runs.
      if (socket_ && (socket_->refused() || socket_->closed_by_libola())) lost_ = true;
      if (lost_) Disconnect();
    }
    Flush();
    Disconnect();
  }

  // The universe keeps what it was sent last after this client has gone, so
  // the last change of a host that ends is sent, waited for a moment at most.
  void Flush() {
    const Clock::time_point deadline = Clock::now() + kFlushWait;
    while (client_ && answered_ && !lost_ && Clock::now() < deadline) {
      Serve(Clock::now());
      if (!pending_) return;
      ss_.RunOnce(ola::TimeInterval(0, 5000));
    }
  }

  // A non-blocking connect, waited for in slices so a stop is never held up.
  void Connect(Clock::time_point now) {
    next_try_ = now + kRetryInterval;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    if (inet_pton(AF_INET, host_.c_str(), &address.sin_addr) != 1) return;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
      close(fd);
      return;
    }
    const Clock::time_point deadline = now + kConnectTimeout;
    for (;;) {
      pollfd p{fd, POLLOUT, 0};
      const int ready = poll(&p, 1, static_cast<int>(kSlice.count()));
      if (ready > 0) break;
      if ((ready < 0 && errno != EINTR) || stop_ || Clock::now() >= deadline) {
        close(fd);
        return;
      }
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0 || !Trusted(fd, address)) {
      close(fd);
      return;
    }
    socket_ = std::make_unique<quorelctl::CheckedSocket>(fd);
    socket_->SetNoDelay();
    client_ = std::make_unique<ola::client::OlaClient>(socket_.get());
    client_->Setup();
    close_handler_ = ola::NewSingleCallback(this, &QuorelDmxLink::Closed);
    client_->SetCloseHandler(close_handler_);
    ss_.AddReadDescriptor(socket_.get());
    answered_ = false;
    asked_at_ = Clock::now();
    lost_ = false;
    closed_ = false;
    universes_.clear();
    client_->FetchUniverseList(ola::NewSingleCallback(this, &QuorelDmxLink::Answered));
  }

  // Before libola reads a byte of it: a server on this machine that someone
  // else started in olad's absence gets nothing of this process.
  bool Trusted(int fd, const sockaddr_in& address) {
    const std::optional<uint32_t> owner = platform::LocalServerOwner(fd);
    const bool loopback = (ntohl(address.sin_addr.s_addr) >> 24) == 127;
    bool trusted = false;
    if (owner) trusted = *owner == 0 || *owner == geteuid() || owner == platform::UserId("olad");
    else trusted = !loopback;  // on another machine: the bindings file chose it
    refused_owner_ = trusted ? -1 : owner ? int64_t{*owner} : int64_t{QUORELCTL_DMX_UNKNOWN_OWNER};
    if (!trusted) {
      // Told at once, as a server that does not answer is.
      std::lock_guard<std::mutex> lock(mutex_);
      refused_once_ = true;
      answered_cv_.notify_all();
    }
    return trusted;
  }

  void Answered(const ola::client::Result& result, const std::vector<ola::client::OlaUniverse>&) {
    // A request cancelled because the connection closed is no answer.
    if (!result.Success()) return;
    answered_ = true;
    ++connects_;
    std::lock_guard<std::mutex> lock(mutex_);
    answered_once_ = true;
    answered_cv_.notify_all();
  }

  void Closed() {
    closed_ = true;
    lost_ = true;
  }

  void Disconnect() {
    if (!client_) return;
    quorelctl::StopOlaClient(ss_, socket_, client_, close_handler_, closed_);
    universes_.clear();
    lost_ = false;
  }

  // Sends what is due; returns how long the thread may sleep.
  milliseconds Serve(Clock::time_point now) {
    if (!answered_) {
      if (now - asked_at_ > kAnswerTimeout) lost_ = true;
      return kSlice;
    }
    std::map<uint32_t, std::vector<uint8_t>> frames;
    bool waving = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const double seconds = FrameSeconds(now);
      for (const auto& [board, b] : boards_) {
        std::vector<uint8_t>& frame = frames[b.universe];
        frame.resize(std::max<size_t>(frame.size(), b.first_channel + 31u), 0);
        for (int k = 0; k < 32; ++k) {
          const bool on = (b.banks[k / 8] >> (k % 8)) & 1;
          frame[b.first_channel - 1 + k] = common::OutputLevel(on, b.profile[k], b.gps, seconds);
          waving = waving || (on && common::IsWaveform(b.profile[k]));
        }
      }
    }
    milliseconds wait = waving ? UntilNextFrame(now) : kKeepAlive;
    pending_ = false;
    for (auto& [number, frame] : frames) {
      Universe& u = universes_[number];
      pending_ = pending_ || u.in_flight || frame != u.last_sent;
      if (u.in_flight) {
        // A server that takes requests but never answers them is stuck.
        if (now - u.sent_at > kAnswerTimeout) lost_ = true;
        continue;
      }
      const bool due = frame != u.last_sent || now - u.sent_at >= kKeepAlive || u.sent_at == Clock::time_point{};
      if (!due) {
        wait = std::min(wait, std::chrono::duration_cast<milliseconds>(u.sent_at + kKeepAlive - now));
        continue;
      }
      ola::DmxBuffer buffer(frame.data(), static_cast<unsigned>(frame.size()));
      u.in_flight = true;
      u.sent_at = now;
      u.last_sent = std::move(frame);
      ++sent_;
      client_->SendDMX(number, buffer,
                       ola::client::SendDMXArgs(ola::NewSingleCallback(this, &QuorelDmxLink::Acknowledged, number)));
    }
    return std::clamp(wait, milliseconds(1), kSlice);
  }

  void Acknowledged(uint32_t number, const ola::client::Result&) {
    ++acknowledged_;
    auto it = universes_.find(number);
    if (it != universes_.end()) it->second.in_flight = false;
  }

  const std::string host_;
  const uint16_t port_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> sent_{0}, acknowledged_{0}, connects_{0};
  // The owner of the last server refused for it, -1 once one is trusted.
  std::atomic<int64_t> refused_owner_{-1};

  // Guards what the host hands over and the first answer.
  std::mutex mutex_;
  std::condition_variable answered_cv_;
  std::map<int, QuorelDmxBoard> boards_;
  bool answered_once_ = false;
  bool refused_once_ = false;  // a server was found and not trusted

  // The link's thread alone from here on (Execute() is the only call another
  // thread makes on the select server).
  ola::io::SelectServer ss_;
  std::unique_ptr<quorelctl::CheckedSocket> socket_;
  std::unique_ptr<ola::client::OlaClient> client_;
  std::map<uint32_t, Universe> universes_;
  bool answered_ = false;
  bool lost_ = false;
  bool pending_ = false;  // a universe waits for an answer or differs from what was sent
  ola::SingleUseCallback0<void>* close_handler_ = nullptr;  // ours until it has run (closed_)
  bool closed_ = false;
  Clock::time_point asked_at_{}, next_try_{};
  std::thread thread_;
};

namespace {

QuorelDmxLink* Open(const char* host, uint16_t port) {
  try {
    auto link = std::make_unique<QuorelDmxLink>(host, port);
    if (!link->Start()) return nullptr;
    return link.release();
  } catch (const std::exception&) {
    return nullptr;
  }
}

int WaitAnswer(QuorelDmxLink* link, int timeout_ms) { return link->WaitAnswer(timeout_ms); }

void Show(QuorelDmxLink* link, int board, const QuorelDmxBoard* state) {
  try {
    link->Show(board, *state);
  } catch (const std::exception&) {
    // Out of memory: this state is lost like a report a board did not take.
  }
}

void Stats(QuorelDmxLink* link, QuorelDmxStats* stats) { *stats = link->Stats(); }

int RefusedOwner(QuorelDmxLink* link, uint32_t* uid) { return link->RefusedOwner(uid); }

void Close(QuorelDmxLink* link) {
  if (link == nullptr) return;
  link->Stop();
  delete link;
}

constexpr QuorelDmxModule kModule{QUORELCTL_DMX_MODULE_ABI, Open, WaitAnswer, Show, Stats, RefusedOwner, Close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const QuorelDmxModule* quorelctl_dmx_module(void) {
  return &kModule;
}

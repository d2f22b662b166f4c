// A loopback proxy that gives every connection the round trips of the web:
// whatever one side sends reaches the other a set time later, each way, and a
// new connection's first bytes reach the server only after the TCP handshake's
// round trip on top (on loopback the connect itself is instant). A TLS
// handshake through it therefore costs its real round trips too.
//
//   bench_delay_proxy --target-port P [--delay-ms D] [--port Q] [--max-seconds S]
//
// Connections to 127.0.0.1:Q (Q = 0 lets the system choose) go on to
// 127.0.0.1:P. The first line on stdout is the port. Closes and resets are
// passed on in order after the data before them. The proxy exits by itself
// after S seconds (600 unless given).

#include "bench_args.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int targetPort = 0;
    int delayMs = 20;
    int port = 0;
    int maxSeconds = 600;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "bench_delay_proxy: %s\nusage: bench_delay_proxy --target-port P [--delay-ms D] "
                 "[--port Q] [--max-seconds S]\n",
                 why);
    std::exit(2);
}

Options ParseArgs(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto number = [&](int low, int high) {
            return corvantis::bench::NumberArgument(argc, argv, i, low, high, Usage);
        };
        if (arg == "--target-port")
            o.targetPort = number(1, 65535);
        else if (arg == "--delay-ms")
            o.delayMs = number(0, 10000);
        else if (arg == "--port")
            o.port = number(0, 65535);
        else if (arg == "--max-seconds")
            o.maxSeconds = number(1, 7 * 24 * 3600);
        else
            Usage("unknown option");
    }
    if (o.targetPort == 0)
        Usage("--target-port is missing");
    return o;
}

// What one side sent, due at the other side at a time: bytes, or its close.
struct Piece {
    Clock::time_point due;
    std::string bytes;
    bool end = false;   // the sender closed (FIN) or reset its side
    bool reset = false; // a reset: passed on as one
};

// One way of a connection.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Piece> queue;
    bool readDone = false; // the sender's close is queued
    bool ended = false;    // and passed on
};

struct Pair {
    Clock::time_point accepted;
    Direction up;   // client to server
    Direction down; // server to client
    bool closed = false;
};

void NoDelay(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Reset(int fd) {
    const linger abortive{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
}

bool SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 1000);
            continue;
        }
        return false;
    }
    return true;
}

class Proxy {
public:
    explicit Proxy(const Options& o)
        : m_options(o), m_delay(std::chrono::milliseconds(o.delayMs)) {}

    int run() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(uint16_t(m_options.port));
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_listener, 512) != 0) {
            std::perror("bench_delay_proxy: bind/listen");
            return 1;
        }
        socklen_t len = sizeof addr;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
        std::printf("%d\n", int(ntohs(addr.sin_port)));
        std::fflush(stdout);

        const auto deadline = Clock::now() + std::chrono::seconds(m_options.maxSeconds);
        while (Clock::now() < deadline) {
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
            std::vector<Direction*> owners{nullptr};
            Clock::time_point next = deadline;
            for (auto& pair : m_pairs)
                for (Direction* d : {&pair->up, &pair->down}) {
                    if (!d->readDone) {
                        fds.push_back({d->from, POLLIN, 0});
                        owners.push_back(d);
                    }
                    if (!d->queue.empty())
                        next = std::min(next, d->queue.front().due);
                }
            const auto wait = std::max<Clock::duration>(next - Clock::now(), Clock::duration(0));
            const timespec timeout{
                time_t(std::chrono::duration_cast<std::chrono::seconds>(wait).count()),
                long(std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count() %
                     1000000000)};
            if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR)
                break;
            if (fds[0].revents & POLLIN)
                accept();
            for (size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                    read(*owners[i]);
            deliver();
            m_pairs.erase(std::remove_if(m_pairs.begin(), m_pairs.end(),
                                         [](const auto& p) { return p->closed; }),
                          m_pairs.end());
        }
        for (auto& pair : m_pairs)
            close(*pair);
        ::close(m_listener);
        return 0;
    }

private:
    void accept() {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(uint16_t(m_options.targetPort));
        if (::connect(server, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            Reset(client);
            ::close(client);
            ::close(server);
            return;
        }
        for (int fd : {client, server}) {
            NoDelay(fd);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        auto pair = std::make_unique<Pair>();
        pair->accepted = Clock::now();
        pair->up.from = pair->down.to = client;
        pair->up.to = pair->down.from = server;
        m_pairs.push_back(std::move(pair));
    }

    // When what arrives now on this way reaches the other side: a delay later,
    // and a client's bytes no sooner than the handshake's round trip allows.
    Clock::time_point dueFor(const Direction& d) const {
        const auto now = Clock::now();
        for (const auto& pair : m_pairs)
            if (&pair->up == &d)
                return std::max(now, pair->accepted + 2 * m_delay) + m_delay;
        return now + m_delay;
    }

    void read(Direction& d) {
        char buffer[65536];
        const ssize_t n = ::recv(d.from, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        Piece piece;
        piece.due = dueFor(d);
        if (n > 0) {
            piece.bytes.assign(buffer, size_t(n));
        } else {
            piece.end = true;
            piece.reset = n < 0;
            d.readDone = true;
        }
        // Later pieces never overtake earlier ones.
        if (!d.queue.empty())
            piece.due = std::max(piece.due, d.queue.back().due);
        d.queue.push_back(std::move(piece));
    }

    void deliver() {
        const auto now = Clock::now();
        for (auto& pair : m_pairs) {
            for (Direction* d : {&pair->up, &pair->down})
                while (!pair->closed && !d->queue.empty() && d->queue.front().due <= now) {
                    Piece piece = std::move(d->queue.front());
                    d->queue.pop_front();
                    if (!piece.end) {
                        if (!SendAll(d->to, piece.bytes))
                            close(*pair, true);
                        continue;
                    }
                    if (piece.reset) {
                        close(*pair, true);
                        break;
                    }
                    ::shutdown(d->to, SHUT_WR);
                    d->ended = true;
                }
            if (!pair->closed && pair->up.ended && pair->down.ended)
                close(*pair);
        }
    }

    void close(Pair& pair, bool reset = false) {
        if (pair.closed)
            return;
        for (int fd : {pair.up.from, pair.up.to}) {
            if (reset)
                Reset(fd);
            ::close(fd);
        }
        pair.closed = true;
    }

    const Options m_options;
    const Clock::duration m_delay;
    int m_listener = -1;
    std::vector<std::unique_ptr<Pair>> m_pairs;
};

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    Proxy proxy(ParseArgs(argc, argv));
    return proxy.run();
}

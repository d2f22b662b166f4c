// Serves the synthetic partner site on 127.0.0.1 for the macro benchmark, each
// connection on a thread of its own. A request that asks to keep the connection
// (HTTP/1.1 without "Connection: close") gets its page and the connection stays
// for the next one, as web servers do; any other is closed after its page.
// Sessions of TLS connections are resumable. Pages are built per request.
//
//   bench_server --pages N [--links-back M] [--port P] [--max-seconds S] [--tls CERT KEY]
//   bench_server --pages N [--links-back M] --check
//
// The first line on stdout is the port (P = 0 lets the system choose). The
// server exits by itself after S seconds (600 unless given). --check crawls
// the site the way the scanner does and reports whether every page is
// reached exactly once.

#include "bench_args.h"
#include "site_crawl.h"
#include "site_generator.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using corvantis::bench::CrawlResult;
using corvantis::bench::CrawlSite;
using corvantis::bench::SiteGenerator;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int pages = 1000;
    int linksBack = 10;
    int port = 0;
    int maxSeconds = 600;
    bool check = false;
    std::string tlsCertificate; // serve over TLS with this certificate and key
    std::string tlsKey;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "bench_server: %s\nusage: bench_server --pages N [--links-back M] [--port P] "
                 "[--max-seconds S] [--check] [--tls CERT KEY]\n",
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
        if (arg == "--pages")
            o.pages = number(1, 10000000);
        else if (arg == "--links-back")
            o.linksBack = number(0, 10000000);
        else if (arg == "--port")
            o.port = number(0, 65535);
        else if (arg == "--max-seconds")
            o.maxSeconds = number(1, 7 * 24 * 3600);
        else if (arg == "--check")
            o.check = true;
        else if (arg == "--tls" && i + 2 < argc) {
            o.tlsCertificate = argv[++i];
            o.tlsKey = argv[++i];
        } else
            Usage("unknown option");
    }
    return o;
}

int Check(const SiteGenerator& site) {
    const auto started = Clock::now();
    const CrawlResult crawl = CrawlSite(site);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const int n = site.pageCount();

    std::vector<char> seen(size_t(n), 0);
    int distinct = 0;
    bool sameOrder = crawl.fetched.size() == site.crawlOrder().size();
    for (size_t i = 0; i < crawl.fetched.size(); ++i) {
        const std::string& address = crawl.fetched[i];
        const size_t slash = address.find('/');
        const int page = site.find(slash == std::string::npos ? "/" : address.substr(slash));
        if (page >= 0 && !seen[size_t(page)]) {
            seen[size_t(page)] = 1;
            ++distinct;
        }
        if (sameOrder && page != site.crawlOrder()[i])
            sameOrder = false;
    }

    size_t minBytes = SIZE_MAX, maxBytes = 0;
    int minLinks = 1 << 30, maxLinks = 0;
    for (int p = 0; p < n; ++p) {
        const std::string page = site.html(p);
        minBytes = std::min(minBytes, page.size());
        maxBytes = std::max(maxBytes, page.size());
        int links = 0;
        for (size_t at = page.find("<a href="); at != std::string::npos;
             at = page.find("<a href=", at + 1))
            ++links;
        minLinks = std::min(minLinks, links);
        maxLinks = std::max(maxLinks, links);
    }

    std::printf(
        "pages=%d fetched=%zu distinct=%d link_back_pages=%d (wanted %d) page_bytes=%zu..%zu "
        "links_per_page=%d..%d crawl_seconds=%.2f\n",
        n, crawl.fetched.size(), distinct, crawl.linkBackPages, site.linksBackCount(), minBytes,
        maxBytes, minLinks, maxLinks, seconds);
    std::string failure = crawl.problem.empty() ? site.problem() : crawl.problem;
    if (failure.empty() && (int(crawl.fetched.size()) != n || distinct != n))
        failure = "the crawl does not fetch every page exactly once";
    if (failure.empty() && crawl.linkBackPages != site.linksBackCount())
        failure = "the number of pages linking back is off";
    if (failure.empty() && !sameOrder)
        failure = "the crawl order differs from the one the site was planned with";
    if (!failure.empty()) {
        std::printf("check: FAILED: %s\n", failure.c_str());
        return 1;
    }
    std::printf("check: ok\n");
    return 0;
}

bool SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

// One connection, plain or TLS.
class Connection {
public:
    Connection(int fd, SSL_CTX* tls) : m_fd(fd) {
        // A client that stalls gets dropped instead of holding up the others.
        timeval tv{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        // As web servers do on connections they keep: the last piece of an
        // answer goes out at once, not after the client's delayed ACK.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (tls) {
            m_ssl = SSL_new(tls);
            SSL_set_fd(m_ssl, fd);
            m_ok = SSL_accept(m_ssl) == 1;
        }
    }
    ~Connection() {
        if (m_ssl) {
            if (m_ok)
                SSL_shutdown(m_ssl);
            SSL_free(m_ssl);
        }
    }
    bool ok() const { return m_ok; }
    long read(char* buf, size_t size) {
        return m_ssl ? SSL_read(m_ssl, buf, int(size)) : long(::recv(m_fd, buf, size, 0));
    }
    bool write(const std::string& data) {
        if (m_ssl)
            return SSL_write(m_ssl, data.data(), int(data.size())) == int(data.size());
        return SendAll(m_fd, data);
    }

private:
    int m_fd;
    SSL* m_ssl = nullptr;
    bool m_ok = true;
};

// Whether the request lets the connection stay open after its answer.
bool KeepsConnection(const std::string& head) {
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    const std::string line = lower.substr(0, lower.find("\r\n"));
    if (line.size() < 8 || line.compare(line.size() - 8, 8, "http/1.1") != 0)
        return false;
    return lower.find("\r\nconnection: close") == std::string::npos;
}

// Answers one request whose head is `request`; false when the connection is to close.
bool Answer(Connection& connection, const SiteGenerator& site, const std::string& request) {
    std::string target;
    const size_t sp1 = request.find(' ');
    const size_t eol = request.find("\r\n");
    if (sp1 != std::string::npos && sp1 < eol) {
        const size_t sp2 = request.find(' ', sp1 + 1);
        target =
            request.substr(sp1 + 1, (sp2 == std::string::npos || sp2 > eol ? eol : sp2) - sp1 - 1);
    }
    const int page = site.find(target);
    std::string body;
    const char* status = "200 OK";
    if (page >= 0) {
        body = site.html(page);
    } else {
        status = "404 Not Found";
        body = "<html><head><title>Not Found</title></head><body>Not Found</body></html>\n";
    }
    const bool keep = KeepsConnection(request);
    std::string response = "HTTP/1.1 ";
    response += status;
    response += "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                (keep ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n");
    response += body;
    return connection.write(response) && keep;
}

// The requests of one connection, one after another, as long as they keep it.
long Serve(Connection& connection, const SiteGenerator& site) {
    std::string buffer;
    char buf[16384];
    long answered = 0;
    for (;;) {
        size_t end = buffer.find("\r\n\r\n");
        while (end == std::string::npos) {
            if (buffer.size() > 65536)
                return answered;
            const long n = connection.read(buf, sizeof buf);
            if (n <= 0)
                return answered;
            buffer.append(buf, size_t(n));
            end = buffer.find("\r\n\r\n");
        }
        const std::string request = buffer.substr(0, end + 4);
        buffer.erase(0, end + 4);
        ++answered;
        if (!Answer(connection, site, request))
            return answered;
    }
}

SSL_CTX* TlsContext(const Options& options) {
    if (options.tlsCertificate.empty())
        return nullptr;
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (SSL_CTX_use_certificate_chain_file(ctx, options.tlsCertificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, options.tlsKey.c_str(), SSL_FILETYPE_PEM) != 1) {
        std::fprintf(stderr, "bench_server: cannot read the certificate or key\n");
        std::exit(1);
    }
    // One context for every connection, so a client may resume its session.
    SSL_CTX_set_session_id_context(ctx, reinterpret_cast<const unsigned char*>("bench"), 5);
    return ctx;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseArgs(argc, argv);
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::seconds(options.maxSeconds);
    const SiteGenerator site(options.pages, options.linksBack);
    if (options.check)
        return Check(site);
    if (!site.problem().empty()) {
        std::fprintf(stderr, "bench_server: the site cannot be crawled as planned: %s\n",
                     site.problem().c_str());
        return 1;
    }

    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* tls = TlsContext(options);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        std::perror("bench_server: socket");
        return 1;
    }
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(options.port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 512) != 0) {
        std::perror("bench_server: bind/listen");
        return 1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::printf("%d\n", int(ntohs(addr.sin_port)));
    std::fflush(stdout);

    std::atomic<long long> served{0};
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd{listener, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(std::min<long long>(left.count(), 1000)));
        if (ready <= 0)
            continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // A thread a connection: a kept one waits for its next request without
        // holding up the others. The process's exit ends any still waiting.
        std::thread([fd, tls, &site, &served] {
            {
                Connection connection(fd, tls);
                if (connection.ok())
                    served += Serve(connection, site);
            }
            ::close(fd);
        }).detach();
    }
    ::close(listener);
    std::fprintf(stderr, "bench_server: served %lld requests, time limit reached\n", served.load());
    std::fflush(stderr);
    std::_Exit(0);
}

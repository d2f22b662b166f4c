// The floor the scanner is measured against: fetches every page of the
// benchmark site in crawl order, one new connection per page, with the
// scanner's request bytes, reading until the server closes and doing nothing
// with the bytes. With --tls, each page over a new TLS connection (full
// handshake, the certificate verified against CA_FILE and the host name).
//
//   bench_baseline --pages N [--links-back M] --port P [--tls CA_FILE]

#include "fetch_options.h"
#include "site_generator.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace corvantis::bench;

namespace {

int Connect(const sockaddr_in& server) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    timeval tv{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Returns the bytes received, or -1 when the page could not be fetched.
long long Fetch(const sockaddr_in& server, const std::string& request, char* buf, size_t bufSize) {
    const int fd = Connect(server);
    if (fd < 0)
        return -1;
    long long total = -1;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        total = 0;
        for (;;) {
            const ssize_t n = ::recv(fd, buf, bufSize, 0);
            if (n < 0) {
                total = -1;
                break;
            }
            if (n == 0)
                break;
            total += n;
        }
    }
    ::close(fd);
    return total;
}

// The same over TLS.
long long FetchTls(SSL_CTX* ctx, const std::string& host, const sockaddr_in& server,
                   const std::string& request, char* buf, size_t bufSize) {
    const int fd = Connect(server);
    if (fd < 0)
        return -1;
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    SSL_set_tlsext_host_name(ssl, host.c_str());
    SSL_set1_host(ssl, host.c_str());
    long long total = -1;
    if (SSL_connect(ssl) == 1 && SSL_write(ssl, request.data(), int(request.size())) > 0) {
        total = 0;
        for (;;) {
            const int n = SSL_read(ssl, buf, int(bufSize));
            if (n > 0) {
                total += n;
                continue;
            }
            const int error = SSL_get_error(ssl, n);
            if (error != SSL_ERROR_ZERO_RETURN && error != SSL_ERROR_SYSCALL)
                total = -1;
            break;
        }
    }
    SSL_free(ssl);
    ::close(fd);
    return total;
}

} // namespace

int main(int argc, char** argv) {
    const FetchOptions options = ParseFetchOptions(argc, argv, "bench_baseline");
    const SiteGenerator site(options.pages, options.linksBack);
    if (!site.problem().empty()) {
        std::fprintf(stderr, "bench_baseline: %s\n", site.problem().c_str());
        return 1;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(uint16_t(options.port));
    const std::string host(SiteGenerator::kHost);
    static char buf[65536];
    SSL_CTX* ctx = nullptr;
    if (!options.tlsCaFile.empty()) {
        ctx = SSL_CTX_new(TLS_client_method());
        if (SSL_CTX_load_verify_locations(ctx, options.tlsCaFile.c_str(), nullptr) != 1) {
            std::fprintf(stderr, "bench_baseline: cannot read %s\n", options.tlsCaFile.c_str());
            return 1;
        }
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    }

    long long bytes = 0;
    int failed = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int page : site.crawlOrder()) {
        const std::string request =
            "GET " + site.path(page) + " HTTP/1.1\r\nHost: " + host +
            "\r\nConnection: close\r\nAccept: */*\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)\r\n\r\n";
        const long long n = ctx ? FetchTls(ctx, host, server, request, buf, sizeof buf)
                                : Fetch(server, request, buf, sizeof buf);
        if (n < 0)
            ++failed;
        else
            bytes += n;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const size_t fetched = site.crawlOrder().size();
    PrintFetchSummary(fetched, seconds, bytes, failed);
    return failed == 0 ? 0 : 1;
}

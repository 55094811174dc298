// SPDX-License-Identifier: MIT
// The check of --mqtt-cafile: a readable regular file holding PEM certificates.
#include "mqtt_cafile.h"

#include "core/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

using namespace core;

namespace watch {

namespace {

// More than any CA bundle holds (Debian's whole store is about 200 KB).
constexpr off_t largest_cafile = 16 * 1024 * 1024;

// The certificates OpenSSL reads from text, as libmosquitto's TLS set-up will read them.
int certificates_in(const std::string& text)
{
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), &BIO_free);
    if (!bio)
        return 0;
    int count = 0;
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        X509_free(certificate);
        ++count;
    }
    ERR_clear_error(); // the end of the text reads as "no start line"
    return count;
}

} // namespace

std::optional<std::string> mqtt_cafile_problem(const std::string& path)
{
    const auto cannot_read = [&path](const std::string& why) {
        return "cannot read the CA file " + path + ": " + why;
    };
    // Opened without waiting: a FIFO would otherwise hold us until a writer came.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return cannot_read(std::strerror(errno));
    struct stat status { };
    if (::fstat(fd.get(), &status) != 0)
        return cannot_read(std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        return cannot_read("not a regular file");
    if (status.st_size > largest_cafile)
        return "the CA file " + path + " is too large for certificates";
    std::string text(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return cannot_read(std::strerror(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    if (certificates_in(text) == 0)
        return "the CA file " + path + " holds no PEM certificate";
    return std::nullopt;
}

} // namespace watch

#include "PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <vector>

namespace lurvik {

namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
// Enough to make guessing slow while a password prompt still answers at once.
constexpr int kIterations = 200000;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;
// A stored count past this did not come from here, and would stall the prompt.
constexpr int kMostIterations = 10000000;

std::string hex(const unsigned char* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

int unhex(std::string_view text, std::vector<unsigned char>& out) {
    if (text.empty() || text.size() % 2 != 0)
        return 1;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (error != std::errc() || end != text.data() + i + 2)
            return 1;
        out.push_back(static_cast<unsigned char>(value));
    }
    return 0;
}

struct Parsed {
    int iterations = 0;
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};

int parse(std::string_view stored, Parsed& out) {
    std::string_view parts[4];
    for (int i = 0; i < 4; ++i) {
        size_t dollar = stored.find('$');
        if ((dollar == std::string_view::npos) != (i == 3))
            return 1;
        parts[i] = stored.substr(0, dollar);
        stored.remove_prefix(dollar == std::string_view::npos ? stored.size() : dollar + 1);
    }
    if (parts[0] != kScheme)
        return 1;
    auto [end, error] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), out.iterations);
    if (error != std::errc() || end != parts[1].data() + parts[1].size() || out.iterations < 1 ||
        out.iterations > kMostIterations)
        return 1;
    return unhex(parts[2], out.salt) != 0 || unhex(parts[3], out.hash) != 0 ? 1 : 0;
}

int derive(std::string_view password, const std::vector<unsigned char>& salt, int iterations, size_t length,
           std::vector<unsigned char>& out) {
    out.assign(length, 0);
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), iterations, EVP_sha256(),
                             static_cast<int>(length), out.data()) == 1
               ? 0
               : 1;
}

} // namespace

std::string hashPassword(std::string_view password) {
    std::vector<unsigned char> salt(kSaltBytes);
    std::vector<unsigned char> hash;
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1 ||
        derive(password, salt, kIterations, kHashBytes, hash) != 0)
        return {};
    return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" + hex(salt.data(), salt.size()) +
           "$" + hex(hash.data(), hash.size());
}

bool isPasswordHash(std::string_view stored) {
    Parsed parsed;
    return parse(stored, parsed) == 0;
}

bool passwordMatches(std::string_view stored, std::string_view password) {
    Parsed parsed;
    std::vector<unsigned char> hash;
    if (parse(stored, parsed) != 0 ||
        derive(password, parsed.salt, parsed.iterations, parsed.hash.size(), hash) != 0)
        return false;
    return CRYPTO_memcmp(hash.data(), parsed.hash.data(), hash.size()) == 0;
}

} // namespace lurvik

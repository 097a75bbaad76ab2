#include "app/web/users.h"

#include <sodium.h>

#include <stdexcept>

#include "kvad_nso/read_model/users.h"
#include "kvad_nso/read_model/values.h"

namespace nsoweb {
namespace {

constexpr std::size_t kShortestPassword = 8;

void StartSodium() {
    if (sodium_init() < 0) {
        throw std::runtime_error("the password hashing library (libsodium) could not be started");
    }
}

} // namespace

void AddUser(kvad::Connection& db, const std::string& name, const std::string& password) {
    StartSodium();
    if (password.size() < kShortestPassword) {
        throw std::runtime_error("the password must have at least 8 characters");
    }
    char hash[crypto_pwhash_STRBYTES];
    // Interactive costs: a login takes a fraction of a second and 64 MiB.
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw std::runtime_error("the password could not be hashed: the machine is out of memory");
    }
    try {
        kvad::read_model::StoreUserHash(db, name, hash);
    } catch (const kvad::read_model::Refusal& e) {
        throw std::runtime_error(e.what());
    }
}

bool VerifyUser(kvad::Connection& db, const std::string& name, const std::string& password) {
    StartSodium();
    const std::optional<std::string> hash = kvad::read_model::UserHash(db, name);
    if (!hash) {
        return false;
    }
    return crypto_pwhash_str_verify(hash->c_str(), password.data(), password.size()) == 0;
}

} // namespace nsoweb

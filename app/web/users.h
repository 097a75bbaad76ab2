#pragma once
// The clerks who may log in to the web host: names and password hashes (libsodium's
// crypto_pwhash, Argon2id) kept in the database through the read model.

#include <string>

#include "kvad_nso/connection.h"

namespace nsoweb {

/// Adds the clerk `name` or gives it a new password. Throws std::runtime_error for a blank name
/// or a password shorter than 8 characters.
void AddUser(kvad::Connection& db, const std::string& name, const std::string& password);

/// Whether `name` is a clerk whose password is `password`.
[[nodiscard]] bool VerifyUser(kvad::Connection& db, const std::string& name,
                              const std::string& password);

} // namespace nsoweb

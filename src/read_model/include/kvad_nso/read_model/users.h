#pragma once
/// The clerks who may log in to a web host: a name and the hash of a password (the host hashes;
/// no password is ever stored).

#include <optional>
#include <string>

#include "kvad_nso/connection.h"

namespace kvad::read_model {

/// Writes the hash of `name`'s password, adding the clerk when the name is new (names compare
/// without case). Throws Refusal for a blank name or one longer than 50 characters.
void StoreUserHash(Connection& db, const std::string& name, const std::string& hash);

/// The stored hash of `name`'s password; nullopt when there is no such clerk.
[[nodiscard]] std::optional<std::string> UserHash(Connection& db, const std::string& name);

} // namespace kvad::read_model

#include "rs_funct.h"

#include <uuid/uuid.h>

#include <array>

namespace kvad::host {

std::string StandInRsFunct::GetGuidWithoutConnection() {
    uuid_t id;
    ::uuid_generate(id);
    std::array<char, 37> text{};
    ::uuid_unparse_upper(id, text.data());
    return text.data();
}

} // namespace kvad::host

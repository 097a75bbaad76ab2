#include "frame/trace.h"

#include <syslog.h>
#include <uuid/uuid.h>

#include <cstdio>
#include <mutex>

namespace kvad::nso {
namespace {

struct TraceSink {
    std::mutex mutex;
    std::function<void(const std::string&)> sink;
};

TraceSink& TheSink() {
    static TraceSink sink;
    return sink;
}

} // namespace

void SetTraceSink(std::function<void(const std::string&)> sink) {
    auto& holder = TheSink();
    std::lock_guard lock(holder.mutex);
    holder.sink = std::move(sink);
}

std::string NuovoGuid() {
    uuid_t bytes;
    uuid_generate(bytes);
    // The bytes are in field order: Data1 (4 bytes), Data2 (2), Data3 (2), then Data4's 8 bytes,
    // so printing them in order gives the fields left-padded as required.
    std::string text;
    text.reserve(32);
    char pair[3];
    for (unsigned char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(byte));
        text += pair;
    }
    return text;
}

void WriteTrace(const std::string& idIstanza, std::string_view phase) {
    std::string line = "KWRX:|" + idIstanza + "|" + std::string(phase) + "|KVAD_NSO|CLSIE_NSO";
    std::function<void(const std::string&)> sink;
    {
        auto& holder = TheSink();
        std::lock_guard lock(holder.mutex);
        sink = holder.sink;
    }
    if (sink) {
        sink(line);
        return;
    }
    syslog(LOG_DEBUG, "%s", line.c_str());
}

} // namespace kvad::nso

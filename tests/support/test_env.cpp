#include "support/test_env.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "kvad_nso/host_standins.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/sqlite_database.h"

namespace kvad::test {

TestEnv::TestEnv(std::int32_t company) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvad-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    dir_ = pattern;
    host::HostConfig config;
    config.cacheDir = (dir_ / "cache").string();
    auto hostObject = host::RegisterStandIns(config);
    RegisterComponentClasses();
    connection_ = db::OpenSqlite(DbFile().string());
    db::ApplySchema(*connection_);
    object_ = std::make_unique<CLSIE_NSO>();
    object_->SetConnessione(connection_);
    object_->SetCodiceDitta(company);
    object_->SetActiveInterface(hostObject);
}

TestEnv::~TestEnv() {
    object_.reset();
    connection_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void TestEnv::Native(const std::string& sql) {
    db::ExecuteNativeScript(*connection_, sql);
}

Variant TestEnv::Scalar(const std::string& sql) {
    auto rs = connection_->Query(sql);
    if (rs->Eof()) {
        return Variant::Null();
    }
    return rs->Value(0);
}

long TestEnv::Count(const std::string& sql) {
    auto rs = connection_->Query(sql);
    long count = 0;
    while (!rs->Eof()) {
        ++count;
        rs->MoveNext();
    }
    return count;
}

std::string ReadSourceFile(const std::string& relativePath) {
    std::ifstream in(std::filesystem::path(KVAD_SOURCE_DIR) / relativePath, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + relativePath);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::filesystem::path SharedSamplesDir() {
    std::filesystem::path dir(KVAD_SHARED_SAMPLES_DIR);
    std::error_code ignored;
    return std::filesystem::is_directory(dir, ignored) ? dir : std::filesystem::path();
}

} // namespace kvad::test

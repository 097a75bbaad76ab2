#include "support/test_env.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/stand_ins.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"

namespace kvad::test {

TestEnv::TestEnv(std::int32_t company) : database_(dir_ / "test.db") {
    host::HostConfig config;
    config.cacheDir = (dir_ / "cache").string();
    auto hostObject = host::RegisterStandIns(config);
    connection_ = database_.Open();
    state_ = std::make_unique<nso::NsoState>();
    nso::CreateFrameworkObjects(*state_);
    state_->Connessione = connection_;
    state_->CodiceDitta = company;
    state_->ActiveInterface = hostObject;
}

TestEnv::~TestEnv() {
    // The instance before its connection, both before their folder goes.
    state_.reset();
    connection_.reset();
    database_.Close();
}

void TestEnv::Native(const std::string& sql) {
    RunTestSql(*connection_, sql);
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

void CopyReceived(const std::filesystem::path& from, const std::filesystem::path& to) {
    namespace fs = std::filesystem;
    fs::copy(from, to, fs::copy_options::recursive);
    const auto arrived = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now());
    for (const auto& entry : fs::recursive_directory_iterator(to)) {
        if (entry.is_regular_file()) {
            fs::last_write_time(entry.path(), arrived);
        }
    }
}

std::filesystem::path SharedSamplesDir() {
    // The environment may name another folder, or none (an empty value): how a run shows what
    // the tests do where the samples are not shipped.
    const char* chosen = std::getenv("KVAD_SHARED_SAMPLES_DIR");
    std::filesystem::path dir(chosen != nullptr ? chosen : KVAD_SHARED_SAMPLES_DIR);
    if (dir.empty()) {
        return {};
    }
    std::error_code ignored;
    return std::filesystem::is_directory(dir, ignored) ? dir : std::filesystem::path();
}

std::vector<std::filesystem::path> UblDocumentFolders() {
    const std::filesystem::path source(KVAD_SOURCE_DIR);
    std::vector<std::filesystem::path> folders{source / "tests/data/ubl",
                                               source / "examples/inbox/IT01234567890",
                                               source / "examples/warnings/IT01234567890"};
    if (auto shared = SharedSamplesDir(); !shared.empty()) {
        folders.push_back(std::move(shared));
    }
    return folders;
}

std::vector<std::filesystem::path> UblDocuments() {
    std::vector<std::filesystem::path> documents;
    for (const auto& folder : UblDocumentFolders()) {
        std::vector<std::filesystem::path> own;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().extension() == ".xml") {
                own.push_back(entry.path());
            }
        }
        std::sort(own.begin(), own.end());
        documents.insert(documents.end(), own.begin(), own.end());
    }
    return documents;
}

} // namespace kvad::test

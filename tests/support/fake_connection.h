#pragma once
// A connection that runs nothing: it records the statements sent and fails on demand, for tests
// of the component frame that need a connection's error list but no database.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"

namespace kvad::test {

class FakeConnection : public Connection {
  public:
    long Execute(std::string_view sql) override {
        statements.emplace_back(sql);
        Fail(sql);
        return 0;
    }
    std::shared_ptr<Recordset> Query(std::string_view sql) override {
        statements.emplace_back(sql);
        Fail(sql);
        ThrowObjectNotSet();
    }
    std::shared_ptr<Recordset> OpenRecordset(std::string_view sql) override { return Query(sql); }
    int BeginTrans() override { return ++level; }
    void CommitTrans() override { --level; }
    void RollbackTrans() override { --level; }
    std::vector<ProviderError>& Errors() override { return errors; }
    bool IsOpen() const override { return open; }

    /// Every statement fails with these provider errors when the list is not empty.
    std::vector<ProviderError> failWith;
    std::vector<ProviderError> errors;
    std::vector<std::string> statements;
    int level = 0;
    bool open = true;

  private:
    void Fail(std::string_view sql) {
        if (failWith.empty()) {
            return;
        }
        errors = failWith;
        throw DbError(failWith.front().description, failWith.front().sqlState, std::string(sql));
    }
};

} // namespace kvad::test

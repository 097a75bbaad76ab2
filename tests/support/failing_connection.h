#pragma once
// A connection that passes every call on to a real one, records the statements sent and makes
// the Nth statement (Execute, Query or OpenRecordset) fail as a database error would: the
// provider's error list gets the entry and DbError is thrown, nothing of it reaches the database.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"

namespace kvad::test {

class FailingConnection : public Connection {
  public:
    /// `failAt` counts from 1; 0 never fails.
    explicit FailingConnection(std::shared_ptr<Connection> inner, long failAt = 0)
        : inner_(std::move(inner)), failAt_(failAt) {}

    long Execute(std::string_view sql) override {
        Count(sql);
        return inner_->Execute(sql);
    }
    std::shared_ptr<Recordset> Query(std::string_view sql) override {
        Count(sql);
        return inner_->Query(sql);
    }
    std::shared_ptr<Recordset> OpenRecordset(std::string_view sql) override {
        Count(sql);
        return inner_->OpenRecordset(sql);
    }
    int BeginTrans() override { return inner_->BeginTrans(); }
    void CommitTrans() override { inner_->CommitTrans(); }
    void RollbackTrans() override { inner_->RollbackTrans(); }
    std::vector<ProviderError>& Errors() override { return inner_->Errors(); }
    bool IsOpen() const override { return inner_->IsOpen(); }

    /// Every statement sent so far, the failed one included.
    [[nodiscard]] const std::vector<std::string>& Statements() const { return statements_; }
    /// Whether the statement to fail has been reached.
    [[nodiscard]] bool Failed() const { return failAt_ > 0 && Sent() >= failAt_; }
    [[nodiscard]] long Sent() const { return static_cast<long>(statements_.size()); }

  private:
    void Count(std::string_view sql) {
        statements_.emplace_back(sql);
        if (Sent() == failAt_) {
            const ProviderError error{"Injected failure of statement " + std::to_string(failAt_),
                                      "KVAD_NSO.Test", "HY000", 0};
            inner_->Errors() = {error};
            throw DbError(error.description, error.sqlState, std::string(sql), error.source);
        }
    }

    std::shared_ptr<Connection> inner_;
    long failAt_;
    std::vector<std::string> statements_;
};

} // namespace kvad::test

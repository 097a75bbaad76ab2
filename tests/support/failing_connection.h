#pragma once
// A connection that passes every statement to a real one and fails the Nth on demand, as a
// database that breaks under the component would (a disk error, a lost lock): statements sent,
// queries, recordsets opened, rows written through a recordset, and the transaction calls all
// count.

#include <memory>
#include <string>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"

namespace kvad::test {

class FailingConnection;

/// Passes everything to a real recordset; Update is a statement of its connection.
class FailingRecordset final : public Recordset {
  public:
    FailingRecordset(std::shared_ptr<Recordset> inner, FailingConnection& owner)
        : inner_(std::move(inner)), owner_(owner) {}

    bool IsOpen() const override { return inner_->IsOpen(); }
    void Close() override { inner_->Close(); }
    long RecordCount() const override { return inner_->RecordCount(); }
    long AbsolutePosition() const override { return inner_->AbsolutePosition(); }
    bool Bof() const override { return inner_->Bof(); }
    bool Eof() const override { return inner_->Eof(); }
    void MoveFirst() override { inner_->MoveFirst(); }
    void MoveNext() override { inner_->MoveNext(); }
    void MovePrevious() override { inner_->MovePrevious(); }
    void MoveLast() override { inner_->MoveLast(); }
    int FieldCount() const override { return inner_->FieldCount(); }
    std::string FieldName(int index) const override { return inner_->FieldName(index); }
    bool HasField(std::string_view name) const override { return inner_->HasField(name); }
    Variant Value(std::string_view name) const override { return inner_->Value(name); }
    Variant Value(int index) const override { return inner_->Value(index); }
    void SetValue(std::string_view name, const Variant& value) override {
        inner_->SetValue(name, value);
    }
    void AddNew() override { inner_->AddNew(); }
    inline void Update() override;
    void CancelUpdate() override { inner_->CancelUpdate(); }
    void SetFilter(std::string_view filter) override { inner_->SetFilter(filter); }
    std::string Filter() const override { return inner_->Filter(); }
    void SetSort(std::string_view sort) override { inner_->SetSort(sort); }
    std::string Sort() const override { return inner_->Sort(); }
    std::shared_ptr<Recordset> Clone() override {
        return std::make_shared<FailingRecordset>(inner_->Clone(), owner_);
    }
    void Requery() override { inner_->Requery(); }
    void SetProperty(std::string_view name, const Variant& value) override {
        inner_->SetProperty(name, value);
    }
    Variant Property(std::string_view name) const override { return inner_->Property(name); }

  private:
    std::shared_ptr<Recordset> inner_;
    FailingConnection& owner_;
};

class FailingConnection final : public Connection {
  public:
    explicit FailingConnection(std::shared_ptr<Connection> inner) : inner_(std::move(inner)) {}

    /// The statement number that fails (1 is the first after the last Reset); 0: none.
    int failAt = 0;
    /// Statements counted since the last Reset.
    int statements = 0;
    /// What each counted statement was, for messages.
    std::vector<std::string> log;

    void Reset(int failAtStatement) {
        failAt = failAtStatement;
        statements = 0;
        log.clear();
    }

    /// Counts one statement; throws a disk I/O error when it is the one to fail.
    void Count(std::string_view what) {
        ++statements;
        log.emplace_back(what);
        if (statements != failAt) {
            return;
        }
        inner_->Errors().assign(1, ProviderError{"disk I/O error", "KVAD_NSO.SQLite", "HY000", 10});
        throw DbError("disk I/O error", "HY000", std::string(what));
    }

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
        return std::make_shared<FailingRecordset>(inner_->OpenRecordset(sql), *this);
    }
    int BeginTrans() override {
        Count("BEGIN TRANSACTION");
        return inner_->BeginTrans();
    }
    void CommitTrans() override {
        Count("COMMIT TRANSACTION");
        inner_->CommitTrans();
    }
    void RollbackTrans() override {
        Count("ROLLBACK TRANSACTION");
        inner_->RollbackTrans();
    }
    std::vector<ProviderError>& Errors() override { return inner_->Errors(); }
    bool IsOpen() const override { return inner_->IsOpen(); }

  private:
    std::shared_ptr<Connection> inner_;
};

void FailingRecordset::Update() {
    owner_.Count("Update");
    inner_->Update();
}

} // namespace kvad::test

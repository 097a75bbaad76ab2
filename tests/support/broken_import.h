#pragma once
// An ERP import object whose run fails as a call (a VB error), and that tells how many were
// made, how many are alive and whether the last one is attached to a connection.

#include <cstdint>
#include <memory>
#include <string>

#include "kvad_nso/errors.h"
#include "kvad_nso/host.h"

namespace kvad::test {

class BrokenImport final : public DocumentImport {
  public:
    static inline int made = 0;
    static inline int alive = 0;
    static inline bool attached = false;

    BrokenImport() {
        ++made;
        ++alive;
    }
    BrokenImport(const BrokenImport&) = delete;
    BrokenImport& operator=(const BrokenImport&) = delete;
    BrokenImport(BrokenImport&&) = delete;
    BrokenImport& operator=(BrokenImport&&) = delete;
    ~BrokenImport() override { --alive; }

    std::int32_t OutcomeCode() override { return 0; }
    std::string OutcomeText() override { return ""; }
    void SetConnection(std::shared_ptr<Connection> connection) override {
        attached = connection != nullptr;
    }
    void SetHost(std::shared_ptr<HostApplication> /*host*/) override {}
    void SetOption(const Variant& /*option*/) override {}
    void SetLayout(const Variant& /*layout*/) override {}
    void Run() override { throw VbError(vberr::kInvalidArgument, "layout engine stopped"); }
    void SetFilter(const std::string& /*filter*/) override {}
};

} // namespace kvad::test

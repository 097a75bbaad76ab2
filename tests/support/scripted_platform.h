#pragma once
// A scriptable document platform behind the web-service contract, for the tests of the retrieval
// and the preview: what it lists, what each download and conversion returns, how it fails, and
// the calls it received.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "kvad_nso/com.h"
#include "kvad_nso/nso_ws.h"

namespace kvad::test {

/// What the platform does: what it lists, what each download and conversion returns, and how it
/// fails; and what it was asked.
struct Script {
    struct Entry {
        std::string hub, num, date, endpoint, content;
    };
    std::vector<Entry> listed;
    bool nothingCollection = false;
    std::string loginError;
    std::string listError;
    std::string undeliverable; ///< the hub id whose download fails with "non trovato"
    std::string convertError;  ///< what a conversion to PDF reports
    bool convertThrows = false;
    Variant::Bytes pdf{'%', 'P', 'D', 'F', '-', '1'};

    /// "login", "list COMPANY", "download HUB", "convert XML", "logout", in the order received.
    std::vector<std::string> calls;
    std::string username;
    std::string startDate;
};

inline Script& TheScript() {
    static Script script;
    return script;
}

class FakeDocument : public NsoDocument {
  public:
    FakeDocument() = default;
    explicit FakeDocument(Script::Entry e) : entry(std::move(e)) {}
    Variant HubId() const override { return entry.hub; }
    Variant FileDocNum() const override { return entry.num; }
    Variant FileDocData() const override { return entry.date; }
    Variant EndPointId() const override { return entry.endpoint; }
    std::string Content() const override { return entry.content; }
    Script::Entry entry;
};

class FakeCollection : public NsoCollection {
  public:
    long RecordCount() const override { return static_cast<long>(docs.size()); }
    std::shared_ptr<NsoDocument> Item(int index) const override { return docs.at(index); }
    std::vector<std::shared_ptr<NsoDocument>> Items() const override { return docs; }
    std::vector<std::shared_ptr<NsoDocument>> docs;
};

class FakeService : public NsoService {
  public:
    void SetUsername(const std::string& v) override { TheScript().username = v; }
    void SetPassword(const std::string&) override {}
    void SetConfigXML(const std::string&) override {}
    void Login(const std::string&, Variant&, std::string& error) override {
        TheScript().calls.emplace_back("login");
        error = TheScript().loginError;
    }
    void ListOrders(const std::string& company, const std::string& start,
                    std::shared_ptr<NsoCollection>& collection, std::string& error) override {
        auto& s = TheScript();
        s.calls.push_back("list " + company);
        s.startDate = start;
        error = s.listError;
        if (s.nothingCollection) {
            collection.reset();
            return;
        }
        auto list = std::make_shared<FakeCollection>();
        for (const auto& e : s.listed) {
            list->docs.push_back(std::make_shared<FakeDocument>(e));
        }
        collection = list;
    }
    void DownloadOrders(const Variant& hub, std::shared_ptr<NsoCollection>& collection,
                        std::string& error) override {
        TheScript().calls.push_back("download " + hub.Text());
        for (const auto& e : TheScript().listed) {
            if (e.hub == hub.Text() && e.hub != TheScript().undeliverable) {
                auto list = std::make_shared<FakeCollection>();
                list->docs.push_back(std::make_shared<FakeDocument>(e));
                collection = list;
                return;
            }
        }
        error = "non trovato";
    }
    void TrasformOrder2PDF(const std::string& xml, Variant& pdf, std::string& error) override {
        TheScript().calls.push_back("convert " + xml);
        if (TheScript().convertThrows) {
            throw std::runtime_error("service crashed");
        }
        error = TheScript().convertError;
        if (error.empty()) {
            pdf = TheScript().pdf;
        }
    }
    void Terminate() override { TheScript().calls.emplace_back("logout"); }
};

class FakeAccount : public NsoAccount {
  public:
    void SetCodiceDitta(std::int32_t) override {}
    void SetConnessione(std::shared_ptr<Connection>) override {}
    std::string Username() override { return "utente"; }
    std::string Password() override { return "segreta"; }
    std::string ConfigXML() override { return "<NsoConfig/>"; }
};

/// Registers the scripted platform's ProgIDs and clears the script.
inline void RegisterScriptedPlatform() {
    TheScript() = Script{};
    RegisterClass(progid::kNsoService, [] { return std::make_shared<FakeService>(); });
    RegisterClass(progid::kNsoDocument, [] { return std::make_shared<FakeDocument>(); });
    RegisterClass(progid::kNsoCollection, [] { return std::make_shared<FakeCollection>(); });
    RegisterClass(progid::kNsoAccount, [] { return std::make_shared<FakeAccount>(); });
}

} // namespace kvad::test

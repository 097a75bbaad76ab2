#pragma once
// Chains of registered example orders with the demo master data, and ERP orders written
// directly, for the tests of the processing driver and the result recordsets.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/master_data.h"
#include "host/stand_ins.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
#include "support/log_entries.h"
#include "support/test_env.h"
#include "workspace/ordini.h"
#include "workspace/recupera_ordini.h"

namespace kvad::nso::test {

using kvad::test::Q;

/// An example order as the platform delivers it (ORD-2024-0002: an untaxed header allowance of
/// 20, which becomes the cash discount, and a taxed one) with `lines` order lines, the four lines
/// of ORD-2024-0001 over and over (the second with a line allowance).
inline std::string GeneratedOrderXml(int lines) {
    const std::string frame =
        kvad::test::ReadSourceFile("examples/inbox/IT01234567890/ORD-2024-0002.xml");
    const std::string model =
        kvad::test::ReadSourceFile("examples/inbox/IT01234567890/ORD-2024-0001.xml");
    const std::string open = "<cac:OrderLine>";
    const std::string close = "</cac:OrderLine>";
    std::vector<std::string> blocks;
    for (std::size_t at = model.find(open); at != std::string::npos; at = model.find(open, at)) {
        const std::size_t end = model.find(close, at) + close.size();
        blocks.push_back(model.substr(at, end - at));
        at = end;
    }
    std::string xml = frame.substr(0, frame.find(open));
    for (int n = 0; n < lines; ++n) {
        xml += blocks[static_cast<std::size_t>(n) % blocks.size()] + "\n";
    }
    return xml + "</Order>\n";
}

/// What decoding and verification left of one order, as text that two databases share exactly
/// when they hold the same: its staged lines (those decoding adds too), decoded header and lines
/// and log entries, every column but the row keys, staged lines named by their place.
inline std::string DecodedState(Connection& db, std::int32_t order) {
    const std::string id = std::to_string(order);
    std::map<std::string, std::string> place;
    {
        auto rs = db.Query("SELECT IE94_ID FROM IE94_NSOCORPOXML WHERE IE94_ID_IE91 = " + id +
                           " ORDER BY IE94_ID");
        for (int n = 1; !rs->Eof(); rs->MoveNext(), ++n) {
            place[rs->Value(0).Text()] = "line" + std::to_string(n);
        }
    }
    const auto rows = [&](const std::string& sql, const std::string& key) {
        std::string text;
        auto rs = db.Query(sql);
        for (; !rs->Eof(); rs->MoveNext()) {
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const std::string field = rs->FieldName(i);
                if (field == key) {
                    continue;
                }
                const Variant value = rs->Value(i);
                std::string shown = value.IsNull() ? "null" : value.Text();
                if (field.ends_with("_ID_IE94") && place.contains(shown)) {
                    shown = place[shown];
                }
                text += field + "=" + shown + "|";
            }
            text += "\n";
        }
        return text;
    };
    const std::string headers =
        db.Query("SELECT COUNT(*) FROM IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = " + id)
            ->Value(0)
            .Text();
    return "[staged headers] " + headers + "\n[staged lines]\n" +
           rows("SELECT * FROM IE94_NSOCORPOXML WHERE IE94_ID_IE91 = " + id + " ORDER BY IE94_ID",
                "IE94_ID") +
           "[header]\n" +
           rows("SELECT * FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + id, "IE93_ID") +
           "[lines]\n" +
           rows("SELECT * FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + id +
                    " ORDER BY IE95_DO30_PROGRIGA, IE95_ID",
                "IE95_ID") +
           "[log]\n" +
           rows("SELECT * FROM IE98_NSO_LOGERRORS WHERE IE98_ID_IE91 = " + id + " ORDER BY IE98_ID",
                "IE98_ID");
}

/// An instance of the component of its own on a database file, wired as the nso host wires it.
class Instance {
  public:
    explicit Instance(const std::string& file, int busyTimeoutMs = 5000) {
        host::HostConfig config;
        config.cacheDir = file + ".cache";
        state_.ActiveInterface = host::RegisterStandIns(config);
        CreateFrameworkObjects(state_);
        db::OpenOptions options;
        options.busyTimeoutMs = busyTimeoutMs;
        connection_ = db::OpenSqlite(file, options);
        state_.Connessione = connection_;
        state_.CodiceDitta = 1;
        state_.Param_CodiceDocumento = "OCL";
    }

    /// Processes every chain, as `nso process --all` does.
    void ProcessAll() {
        LeggiOrdini(state_, kaOrdiniTutti);
        if (state_.Stato == kaOK) {
            SetSelezione(state_, kaTutti);
        }
        if (state_.Stato == kaOK) {
            RecuperaOrdini(state_);
        }
    }

    [[nodiscard]] NsoState& S() { return state_; }
    [[nodiscard]] Connection& Db() { return *connection_; }

  private:
    std::shared_ptr<Connection> connection_;
    NsoState state_;
};

class ProcessingTest : public ::testing::Test {
  protected:
    ProcessingTest() {
        (void)host::LoadDemoMasterData(env.Db(), 1);
        env.S().Param_CodiceDocumento = "OCL";
    }

    /// Registers an example order (file under examples/inbox/IT01234567890) as number `number`
    /// of `date` (yyyy-mm-dd); `operation` 1 revises, 2 cancels the document `replaces` (an id).
    std::int32_t Register(const std::string& file, const std::string& number,
                          const std::string& date, int operation = 0, std::int32_t replaces = 0,
                          const std::string& xml = "") {
        const std::string text =
            xml.empty() ? kvad::test::ReadSourceFile("examples/inbox/IT01234567890/" + file) : xml;
        std::string reference = "NULL, NULL, NULL";
        if (replaces != 0) {
            const std::string of =
                " FROM IE91_NSOFILES WHERE IE91_ID = " + std::to_string(replaces);
            reference = "(SELECT IE91_IDORD" + of + "), (SELECT IE91_ISSUEDATE" + of +
                        "), (SELECT IE91_ENDPOINTID" + of + ")";
        }
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
                   "IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, IE91_RIF_IDORD, "
                   "IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID) VALUES (1, " +
                   Q(number) + ", " + Q(date + " 00:00:00") + ", 'UF7HQ2', " +
                   std::to_string(operation) + ", " + Q(text) + ", " + reference + ")");
        return env.Scalar("SELECT MAX(IE91_ID) FROM IE91_NSOFILES").ToLong();
    }

    /// An ERP order made from document `id` (linked to it and carrying its NSO identification),
    /// with one line delivered or not.
    void ErpOrder(std::int32_t id, bool delivered) {
        const std::string numreg = std::to_string(500 + id);
        const std::string guid = Q("GUID-" + numreg);
        env.Native("INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, "
                   "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC) VALUES (1, " +
                   numreg + ", " + guid + ", 'OCL', 'A', " + numreg +
                   ", '2024-03-20 00:00:00');"
                   "INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, "
                   "DO31_PROGRIGA, DO31_QTA1CONS) VALUES (1, " +
                   numreg + ", 1, " + (delivered ? "3" : "0") +
                   ");"
                   "INSERT INTO DO12_DOCTESTARIF (DO12_DITTA_CG18, DO12_NUMREG_CO99, "
                   "DO12_FEIDDOC, DO12_FEDATADOC, DO12_FEIDSOGGETTO) SELECT 1, " +
                   numreg +
                   ", IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID FROM IE91_NSOFILES WHERE "
                   "IE91_ID = " +
                   std::to_string(id) +
                   ";"
                   "UPDATE IE91_NSOFILES SET IE91_GUID_DO11 = " +
                   guid + " WHERE IE91_ID = " + std::to_string(id));
    }

    /// Rebuilds the working table and selects the chains headed by `mains` through RstOrdini,
    /// as a host's list does (a blocked chain too).
    void Select(std::initializer_list<std::int32_t> mains) {
        LeggiOrdini(env.S(), kaOrdiniTutti);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        auto rows = env.S().RstOrdini->Clone();
        for (const std::int32_t id : mains) {
            rows->SetFilter("IE91_ID = " + std::to_string(id) + " AND LIVELLO = 0");
            ASSERT_FALSE(rows->Eof()) << "no chain headed by " << id;
            rows->SetValue("TMP_IMG_SEL", 1);
            rows->Update();
        }
    }

    /// Selects the chains headed by `mains` and processes them, which must end well.
    void Process(std::initializer_list<std::int32_t> mains) {
        Select(mains);
        RecuperaOrdini(env.S());
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }

    /// TMP_ELABORA and TMP_FLGNONPIUEV of each document, as RstOrdini shows them.
    std::map<std::int32_t, std::pair<int, int>> Codes() {
        std::map<std::int32_t, std::pair<int, int>> codes;
        auto rows = env.S().RstOrdini->Clone();
        for (; !rows->Eof(); rows->MoveNext()) {
            codes[rows->Value("IE91_ID").ToLong()] = {rows->Value("TMP_ELABORA").ToLong(),
                                                      rows->Value("TMP_FLGNONPIUEV").ToLong()};
        }
        return codes;
    }

    /// The order's decoded header id (its place in the decoding order), 0 when not decoded.
    std::int32_t Decoded(std::int32_t id) {
        const Variant row = env.Scalar("SELECT IE93_ID FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " +
                                       std::to_string(id));
        return row.IsNull() ? 0 : row.ToLong();
    }

    bool Staged(std::int32_t id) {
        return env.Count("SELECT 1 FROM IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = " +
                         std::to_string(id)) > 0;
    }

    /// IE93_STATUS of an order's decoded header.
    int Status(std::int32_t id) {
        return env
            .Scalar("SELECT IE93_STATUS FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " +
                    std::to_string(id))
            .ToLong();
    }

    /// The order's log entries as "code/context", in the order written.
    std::string Log(std::int32_t id) {
        std::string out;
        for (const auto& entry : kvad::test::ReadLogOf(env.Db(), id)) {
            out += (out.empty() ? "" : " ") + std::to_string(entry.code) + "/" +
                   std::to_string(entry.context);
        }
        return out;
    }

    kvad::test::TestEnv env;
};

} // namespace kvad::nso::test

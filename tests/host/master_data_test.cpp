#include "host/master_data.h"

#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "csv_reader.h"
#include "host_test_util.h"
#include "kvad_nso/recordset.h"
#include "support/test_env.h"

namespace kvad::host {
namespace {

using testing::HasSubstr;
using namespace std::string_literals;

TEST(Csv, RecordsKnowTheLineTheyStartOn) {
    const auto records = ReadCsv("\xEF\xBB\xBF"
                                 "a,b\r\n"
                                 "\r\n"
                                 "\"x, y\",\"he said \"\"no\"\"\"\n"
                                 "  spaced  ,\"two\nlines\"\n"
                                 "last,1");
    ASSERT_EQ(records.size(), 4U);
    EXPECT_EQ(records[0].fields, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(records[1].line, 3U) << "the blank line is skipped but counted";
    EXPECT_EQ(records[1].fields, (std::vector<std::string>{"x, y", "he said \"no\""}));
    EXPECT_EQ(records[2].fields, (std::vector<std::string>{"spaced", "two\nlines"}));
    EXPECT_EQ(records[2].line, 4U);
    EXPECT_EQ(records[3].line, 6U);

    const auto semicolons = ReadCsv("item;rate\nS;22,5\n");
    EXPECT_EQ(semicolons[1].fields, (std::vector<std::string>{"S", "22,5"}));

    // An unclosed quote, a stray quote.
    for (const auto& bad : {std::pair{"a,b\n1,2\n3,\"open\n", 3U}, {"a,b\n1,x\"y\n", 2U}}) {
        if (const auto e = kvad::test::ThrownBy<CsvError>([&] { (void)ReadCsv(bad.first); })) {
            EXPECT_EQ(e->Line(), bad.second) << bad.first;
        }
    }
}

class MasterDataTest : public ::testing::Test {
  protected:
    std::size_t Load(const std::string& kind, const std::string& csv) {
        return LoadMasterData(env.Db(), 1, kind, csv, kind + ".csv");
    }

    // Every row of the master tables, to show that a refused file changed nothing.
    std::string Snapshot() {
        std::string out;
        for (const char* table :
             {"CG16_ANAGRAFICA", "CG44_CLIFOR", "MG19_CLIFORVA", "CG1M_UFFICIOPA",
              "MG22_CLIFORDEST", "MG66_ANAGRART", "MG73_ARTCLIFOR", "MG87_ARTDESC",
              "CG28_TABCODIVA", "CG08_TABVALUTE", "MG3G_DOCDITTA"}) {
            auto rs = env.Db().Query(std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3");
            for (; !rs->Eof(); rs->MoveNext()) {
                out += table;
                for (int i = 0; i < rs->FieldCount(); ++i) {
                    out += "|" + rs->Value(i).Text();
                }
                out += "\n";
            }
        }
        return out;
    }

    test::TestEnv env;
};

TEST_F(MasterDataTest, DemoSetLoadsEveryKindAndListsBack) {
    const auto loaded = LoadDemoMasterData(env.Db(), 1);
    ASSERT_EQ(loaded.size(), MasterKinds().size());
    EXPECT_EQ(loaded.front().first, "vat-codes.csv");
    const std::string before = Snapshot();
    // Loading the same files again updates rows in place: nothing changes.
    (void)LoadDemoMasterData(env.Db(), 1);
    EXPECT_EQ(Snapshot(), before);

    const MasterListing customers = ListMasterData(env.Db(), 1, "customers", "metauro");
    ASSERT_EQ(customers.rows.size(), 2U);
    EXPECT_EQ(customers.columns.at(3), "vat_number");
    EXPECT_EQ(customers.rows[0].at(3), "02903456123");
    EXPECT_EQ(customers.rows[1].at(5), "0") << "the second is flagged not valid";
    const MasterListing offices = ListMasterData(env.Db(), 1, "offices", "UFK2D8");
    EXPECT_EQ(offices.rows.size(), 2U) << "one office, two customers";
    EXPECT_TRUE(ListMasterData(env.Db(), 2, "items", "").rows.empty()) << "another company";
}

TEST_F(MasterDataTest, RowsAreAddedOrUpdatedByKey) {
    EXPECT_EQ(Load("customers", "customer,name,vat_number,dismissed\n"
                                "7,Ospedale,IT03456780547,31/12/2030\n"),
              1U);
    EXPECT_EQ(env.Scalar("SELECT CG16_PARTIVA FROM CG16_ANAGRAFICA").Text(), "03456780547");
    EXPECT_EQ(env.Scalar("SELECT MG19_DATADISMIS FROM MG19_CLIFORVA").ToDate(),
              (DateTime{2030, 12, 31}));
    EXPECT_EQ(env.Scalar("SELECT CG16_FLGANAGVAL FROM CG16_ANAGRAFICA").ToLong(), 1);
    // A file with fewer columns changes only those.
    Load("customers", "customer,name\n7,Ospedale Maggiore\n");
    EXPECT_EQ(env.Count("SELECT * FROM CG16_ANAGRAFICA"), 1);
    EXPECT_EQ(env.Scalar("SELECT CG16_RAGSOC FROM CG16_ANAGRAFICA").Text(), "Ospedale Maggiore");
    EXPECT_EQ(env.Scalar("SELECT CG16_PARTIVA FROM CG16_ANAGRAFICA").Text(), "03456780547");

    Load("items", "item;description;standard_id\nA-1;Garza;8000000000001\n");
    Load("item-descriptions", "item,description\nA-1,\"Garza sterile 10x10, conf. 100\"\n");
    EXPECT_EQ(env.Scalar("SELECT MG87_OPZIONE_MG5E FROM MG87_ARTDESC").Text(), "")
        << "no option column: the empty option";
    Load("vat-codes", "code,rate\nS,\"22,5\"\n");
    EXPECT_EQ(env.Scalar("SELECT CG28_ALIQUOTA FROM CG28_TABCODIVA").ToDecimal(),
              *Decimal::Parse("22.5"));
}

TEST_F(MasterDataTest, ABadRowRefusesTheWholeFileNamingLineAndColumn) {
    (void)LoadDemoMasterData(env.Db(), 1);
    const std::string before = Snapshot();
    struct Case {
        const char* kind;
        std::string csv;
        std::size_t line;
        std::string column;
        std::string reason;
    };
    const Case cases[] = {
        {"customers", "customer,name,colour\n5000,Nuovo,blue\n", 1, "colour", "unknown column"},
        {"destinations", "destination,name\nX1,Magazzino\n", 1, "customer",
         "the key column is missing"},
        {"items", "item,description\nNEW-1,Nuovo\n,Senza codice\n", 3, "item",
         "the key is missing"},
        {"customers", "customer,vat_number\n5000,00412345670\n5001,IT0345678054\n", 3, "vat_number",
         "is not a VAT number"},
        {"customers", "customer,fiscal_code\n5000,RSSMRA80A01H501X\n", 2, "fiscal_code",
         "is not a fiscal code"},
        {"customers", "customer,name,dismissed\n5000,Nuovo,31/02/2024\n", 2, "dismissed",
         "is not a date"},
        {"items", "item,description\nNEW-1,Uno\nNEW-2,Due\nnew-1,Tre\n", 4, "item",
         "the same key as line 2"},
        {"destinations", "customer,destination,name\n1001,NEW,Nuovo\n4242,X,Ignoto\n", 3,
         "customer", "unknown customer 4242"},
        {"customer-items", "customer,customer_code,item\n1003,C-1,AFP-DM-56031\n1003,C-2,NOPE\n", 3,
         "item", "unknown item NOPE"},
        {"currencies", "code,iso\n009,EURO\n", 2, "iso", "is not an ISO currency code"},
        {"offices", "office,customer\nUFNEW1,1001,extra\n", 2, "", "3 fields where the header"},
        {"items", "item,description\n\"NEW-1,Nuovo\n", 2, "item", "quoted field is not closed"},
        {"vat-codes", "code,rate\nS,22\nR,1e999\n", 3, "rate",
         "'1e999' is not a number (digits, with . or , before the decimals)"},
        {"vat-codes", "code,rate\nS,123456789012345678901234567890\n", 2, "rate",
         "'123456789012345678901234567890' has more digits than a number can hold (28)"},
        {"vat-codes", "code\n" + std::string(60, 'x') + "\n", 2, "code",
         "'" + std::string(40, 'x') + "...' is longer than 10 characters"},
        {"currencies", "code,iso\n009,\"E\tR\"\n", 2, "iso",
         "'E0x09R' is not an ISO currency code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.csv);
        if (const auto e = kvad::test::ThrownBy<MasterDataError>([&] { Load(c.kind, c.csv); })) {
            EXPECT_EQ(e->File(), std::string(c.kind) + ".csv");
            EXPECT_EQ(e->Line(), c.line) << e->what();
            EXPECT_EQ(e->Column(), c.column) << e->what();
            EXPECT_THAT(e->what(), HasSubstr(c.reason));
        }
        EXPECT_EQ(Snapshot(), before) << "nothing was loaded";
    }
    EXPECT_THROW(Load("suppliers", "code\n1\n"), std::invalid_argument);
}

/// UTF-16 bytes of the text, with the byte-order mark of the byte order.
std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t c : text) {
        const auto high = static_cast<char>(c >> 8U);
        const auto low = static_cast<char>(c & 0xFFU);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// A file's bytes are UTF-8 (a byte-order mark allowed), or converted from the encoding a
// byte-order mark or the caller names; anything else is refused where it stands, its bytes
// named, never shown.
TEST_F(MasterDataTest, CsvEncodingsAreConvertedOrRefusedAtTheirLineAndCharacter) {
    const std::string text = "Citt\xC3\xA0 \xE2\x80\x93 l'\xE2\x82\xAC";
    const std::string utf8 = "item,description\nA-1," + text + "\n";
    const std::u16string utf16 = u"item,description\nA-1,Citt\u00E0 \u2013 l'\u20AC\n";
    struct Accepted {
        const char* what;
        std::string bytes;
        std::string encoding;
        std::string description;
    };
    const Accepted accepted[] = {
        {"UTF-8", utf8, "", text},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + utf8, "", text},
        {"UTF-16LE with a byte-order mark", Utf16(utf16, false), "", text},
        {"UTF-16BE with a byte-order mark", Utf16(utf16, true), "", text},
        {"ISO-8859-1 named", "item,description\nA-1,Citt\xE0 d'Italia\n", "ISO-8859-1",
         "Citt\xC3\xA0 d'Italia"},
        {"UTF-16LE named, with its mark", Utf16(u"item\nA-1\n", false), "UTF-16LE", ""},
    };
    for (const Accepted& c : accepted) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LoadMasterData(env.Db(), 1, "items", c.bytes, "items.csv", c.encoding), 1U);
        EXPECT_EQ(
            env.Scalar("SELECT MG66_DESCART FROM MG66_ANAGRART WHERE MG66_CODART = 'A-1'").Text(),
            c.description);
        env.Native("DELETE FROM MG66_ANAGRART");
    }

    struct Refused {
        const char* what;
        std::string bytes;
        std::string encoding;
        std::size_t line;
        std::size_t character;
        std::string reason;
    };
    const Refused refused[] = {
        {"Latin-1 not named", "item,description\nA-1,Garza\nA-2,Citt\xE0\n", "", 3, 9,
         "the byte 0xE0 after \"A-2,Citt\" is not UTF-8 text: save the file as UTF-8, or name "
         "its encoding with --encoding"},
        {"NUL", "item,description\nA-1,Gar\0za\n"s, "", 2, 8,
         "a NUL byte (0x00) after \"A-1,Gar\" is not text"},
        {"UTF-16 without its mark", "i\0t\0e\0m\0\n\0"s, "", 1, 2, "a NUL byte (0x00) after \"i\""},
        {"UTF-16 cut short", Utf16(u"item\nA", false) + "B", "", 2, 2,
         "the last bytes after \"A\" are not a whole character of UTF-16LE"},
        {"not valid in the encoding named", "item\n\x81", "windows-1252", 2, 1,
         "the byte 0x81 at the start of the line is not windows-1252 text: check the encoding "
         "named with --encoding"},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.what);
        if (const auto e = kvad::test::ThrownBy<MasterDataError>([&] {
                (void)LoadMasterData(env.Db(), 1, "items", c.bytes, "items.csv", c.encoding);
            })) {
            EXPECT_EQ(e->Line(), c.line) << e->what();
            EXPECT_EQ(e->Character(), c.character) << e->what();
            EXPECT_THAT(e->what(),
                        HasSubstr("items.csv, line " + std::to_string(c.line) + ", character " +
                                  std::to_string(c.character) + ": " + c.reason));
        }
        EXPECT_EQ(env.Count("SELECT * FROM MG66_ANAGRART"), 0);
    }
}

// Refusals of a whole file come before any of it is read.
TEST_F(MasterDataTest, AFileTooLargeMissingOrInAnUnknownEncodingIsRefusedBeforeItIsRead) {
    hosttest::TempDir dir;
    const std::filesystem::path large = dir.Path() / "items.csv";
    std::ofstream(large) << "item\nA-1\n";
    // Sparse: reading it would take minutes and every byte of memory.
    std::filesystem::resize_file(large, std::uintmax_t{64} << 30U);
    const std::filesystem::path small = dir.Path() / "small.csv";
    std::ofstream(small) << "item\nA-1\n";
    struct Case {
        std::filesystem::path file;
        std::string encoding;
        std::string reason;
    };
    const Case cases[] = {
        {large, "",
         ": the file has 68719476736 bytes, more than the 16 MiB a file of master "
         "data may have"},
        {dir.Path() / "missing.csv", "", ": the file does not exist"},
        {dir.Path(), "", ": this is not a file"},
        {small, "x-nessuna", ": the encoding \"x-nessuna\" is not known (`iconv -l` lists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string());
        if (const auto e = kvad::test::ThrownBy<MasterDataError>([&] {
                (void)LoadMasterDataFile(env.Db(), 1, "items", c.file.string(), c.encoding);
            })) {
            EXPECT_EQ(e->Line(), 0U);
            EXPECT_THAT(e->what(), HasSubstr(c.file.string() + c.reason));
        }
    }
    EXPECT_EQ(LoadMasterDataFile(env.Db(), 1, "items", small.string()), 1U);
}

// The option reaches the loader, and a refusal is told in one line with the file, line and
// character.
TEST(NsoMasterLoad, TakesTheEncodingAndRefusesNamingLineAndCharacter) {
    hosttest::TempDir dir;
    const std::string db = "--db " + (dir.Path() / "nso.db").string() + " ";
    const std::string file = (dir.Path() / "items.csv").string();
    std::ofstream(file) << "item;description\nA-1;Citt\xE0\n";
    ASSERT_EQ(hosttest::RunNso(db + "init").exitCode, 0);

    const auto refused = hosttest::RunNso(db + "master load items " + file);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.output, "nso: " + file +
                                  ", line 2, character 9: the byte 0xE0 after \"A-1;Citt\" is not "
                                  "UTF-8 text: save the file as UTF-8, or name its encoding with "
                                  "--encoding (for example ISO-8859-1 or UTF-16LE)\n");
    const auto loaded = hosttest::RunNso(db + "master load items " + file + " --encoding latin1");
    EXPECT_EQ(loaded.exitCode, 0) << loaded.output;
    EXPECT_THAT(hosttest::RunNso(db + "master list items").output, HasSubstr("Citt\xC3\xA0"));
}

} // namespace
} // namespace kvad::host

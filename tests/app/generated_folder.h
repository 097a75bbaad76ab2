#pragma once
// A folder in which the built nso runs on a generated inbox of orders that all come out of
// processing ready, with the master data that decodes them loaded as a user loads it and the
// company configured; a test then spoils what it needs.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "generator/generated_inbox.h"
#include "nso_folder.h"

namespace kvad::test {

class GeneratedFolderTest : public NsoFolderTest {
  protected:
    /// `orders` orders of two to three lines from three buyers, no revisions or cancellations.
    void MakeGenerated(const std::string& label, int orders) {
        NewFolder(label);
        plan.documents = orders;
        plan.revisionPercent = 0;
        plan.cancellationPercent = 0;
        plan.minLines = 2;
        plan.maxLines = 3;
        plan.buyers = 3;
        (void)generator::WriteInbox(dir / "inbox", plan);
        Ok("init");
        for (const auto& file : generator::WriteMasterData(dir / "master", plan)) {
            Ok("master load " + file.stem().string() + " '" + file.string() + "'");
        }
        Ok("config set --document OCL --layout NSO --from 01/01/2024");
    }

    /// The file of generated document `n` (from 1).
    [[nodiscard]] std::filesystem::path Document(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "ord-%06d.xml", n);
        return dir / "inbox" / ("IT" + plan.companyVat) / name;
    }

    /// Replaces the first `from` in generated document `n` by `to`, keeping its modification
    /// time (the inbox lists the documents by it).
    void Spoil(int n, const std::string& from, const std::string& to) {
        const std::filesystem::path file = Document(n);
        const auto received = std::filesystem::last_write_time(file);
        std::stringstream text;
        text << std::ifstream(file).rdbuf();
        std::string xml = text.str();
        const std::size_t at = xml.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        xml.replace(at, from.size(), to);
        std::ofstream(file, std::ios::trunc) << xml;
        std::filesystem::last_write_time(file, received);
    }

    /// Adds a file that is not XML to the inbox, received with the generated documents.
    void AddGarbage(const std::string& name) {
        const std::filesystem::path file = dir / "inbox" / ("IT" + plan.companyVat) / name;
        std::ofstream(file) << "this is not XML";
        std::filesystem::last_write_time(file, std::filesystem::last_write_time(Document(1)));
    }

    generator::InboxPlan plan;
};

} // namespace kvad::test

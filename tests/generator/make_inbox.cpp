// Writes a generated inbox and the master data that decodes it, for scripts that run the nso
// command on many documents (scripts/pg_copy_compare.sh):
//   make_inbox FOLDER DOCUMENTS [SEED]
// makes FOLDER/inbox/IT01234567890/*.xml and FOLDER/master/*.csv, and prints the master-data
// files in the order `nso master load` must take them, one "KIND FILE" a line.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "generator/generated_inbox.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: make_inbox FOLDER DOCUMENTS [SEED]\n");
        return 2;
    }
    try {
        const std::filesystem::path folder(argv[1]);
        kvad::generator::InboxPlan plan;
        plan.documents = std::stoi(argv[2]);
        plan.seed = argc == 4 ? static_cast<std::uint32_t>(std::stoul(argv[3])) : 1U;
        plan.revisionPercent = 10;
        plan.cancellationPercent = 5;
        plan.buyers = 50;
        if (plan.documents < 1) {
            std::fprintf(stderr, "make_inbox: DOCUMENTS must be at least 1\n");
            return 2;
        }
        const kvad::generator::InboxSummary summary =
            kvad::generator::WriteInbox(folder / "inbox", plan);
        for (const std::filesystem::path& file :
             kvad::generator::WriteMasterData(folder / "master", plan)) {
            std::printf("%s %s\n", file.stem().c_str(), file.c_str());
        }
        std::fprintf(stderr,
                     "make_inbox: %d documents (%d orders, %d revisions, %d cancellations, %ld "
                     "lines)\n",
                     summary.documents, summary.orders, summary.revisions, summary.cancellations,
                     summary.lines);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_inbox: %s\n", error.what());
        return 1;
    }
    return 0;
}
